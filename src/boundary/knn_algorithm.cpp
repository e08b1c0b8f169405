#include "boundary/knn_algorithm.h"

#include "boundary/knn_version.h"
#include "boundary/knn_warning.h"
#include "boundary/status_codes.h"
#include "data/knn_data_preparation.h"
#include "host/vel_display.h"
#include "knn/progress_report.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_writer.h"

namespace {

using VelCommon::VelStatus;

// Nothing may escape to the host: std::bad_alloc and every other exception become the
// exception status 3.
template <class Operation>
VelStatus Guarded(Operation&& operation) {
  try {
    return operation();
  } catch (...) {
    return KNNStatus::Error(KNNStatus::kOutOfMemory);
  }
}

// Restores the display stream that was current before a Display call.
class DisplayStreamScope {
 public:
  explicit DisplayStreamScope(std::ostream& out) : previous_(VelComponentDisplay::GetOutStream()) {
    VelComponentDisplay::SetOutStream(&out);
  }
  ~DisplayStreamScope() { VelComponentDisplay::SetOutStream(previous_); }
  DisplayStreamScope(const DisplayStreamScope&) = delete;
  DisplayStreamScope& operator=(const DisplayStreamScope&) = delete;

 private:
  std::ostream* previous_;
};

}  // namespace

KNNAlgorithm::KNNAlgorithm(std::istream& settingsDocument, VelMTD::VelVarList* hostVariables)
    : hostVariables_(hostVariables) {
  KNNWarning::Instance().Clear();
  status_ = reader_.Read(settingsDocument);
  // Rejected settings stay with the reader; the algorithm never uses them.
  if (!status_.IsError()) {
    settings_ = reader_.GetSettings();
    variableList_ = reader_.GetVariables();
  }
}

KNNAlgorithm::~KNNAlgorithm() {
  dataPreparation_.reset();
  model_.reset();
  // The reader member then deletes the settings (with its reporter) and the variable list.
}

VelStatus KNNAlgorithm::Build(IVelDataSource& source) {
  status_ = Guarded([&] { return RunBuild(source); });
  return status_;
}

VelStatus KNNAlgorithm::RunBuild(IVelDataSource& source) {
  // A failed build (or failed settings) stays failed.
  VelStatus status = status_;
  KNNWarning::Instance().Clear();
  if (!status.IsError() && !source.Rewind()) status = KNNStatus::Error(KNNStatus::kNoData);
  if (!status.IsError()) {
    // The previous model reads the previous data, so it goes with it; a build that fails
    // from here on leaves nothing to score with.
    model_.reset();
    dataPreparation_.reset();
    built_ = false;
    dataPreparation_ = std::make_unique<KNNDataPreparation>(settings_, variableList_, &stopControl_,
                                                            hostVariables_);
    VelStatus prepared;
    status = dataPreparation_->Prepare(prepared, source);
  }
  if (!status.IsError()) {
    model_ =
        std::make_unique<KNNModel>(settings_, variableList_, &stopControl_, dataPreparation_.get());
    status = model_->Build();
  }
  if (!status.IsError()) built_ = true;
  return status;
}

bool KNNAlgorithm::IsBuilt() const {
  return built_;
}

VelStatus KNNAlgorithm::ScoreRecord(const VelCommon::Record* record, void* /*unused*/,
                                    std::vector<std::vector<double>>* results) {
  return Guarded([&] {
    if (!built_ || model_ == nullptr) return KNNStatus::Error(KNNStatus::kNotBuilt);
    if (record == nullptr || results == nullptr) {
      return KNNStatus::Error(KNNStatus::kBadScoreRecord);
    }
    return model_->ScoreRecord(*record, *results);
  });
}

VelStatus KNNAlgorithm::WritePMML(std::ostream& out, const PMMLExportOptions* options) {
  return Guarded([&] {
    if (!built_ || model_ == nullptr) return KNNStatus::Error(KNNStatus::kNotBuilt);
    return KNNWritePMML(*settings_, *variableList_, *model_, *dataPreparation_, stopControl_, out,
                        options);
  });
}

VelStatus KNNAlgorithm::GetStatus() const {
  return status_;
}

void KNNAlgorithm::SetProgressListener(IVelProgressListener* listener) {
  if (settings_ == nullptr || listener == nullptr) return;
  try {
    settings_->progressListener = listener;
    delete settings_->reporter;
    settings_->reporter = nullptr;
    settings_->reporter = new KNNReporter();
  } catch (...) {
    // Without a reporter the stages simply go unreported.
    settings_->reporter = nullptr;
  }
}

void KNNAlgorithm::SetInterruptCheck(IVelInterruptCheck* check) {
  if (check != nullptr) stopControl_.interruptCheck = check;
}

void KNNAlgorithm::Interrupt() {
  stopControl_.stopRequested.store(true, std::memory_order_relaxed);
}

std::string KNNAlgorithm::GetVersion() const {
  try {
    return KNNVersionString();
  } catch (...) {
    return std::string();
  }
}

const std::vector<VelStatus>* KNNAlgorithm::GetWarnings() const {
  return &KNNWarning::Instance().List();
}

void KNNAlgorithm::Display(std::ostream& out) {
  try {
    DisplayStreamScope scope(out);
    VelComponentDisplay::DisplayText("KNNAlgorithm display start", 1);
    if (settings_ != nullptr) settings_->Display();
    if (dataPreparation_ != nullptr) dataPreparation_->Display();
    if (model_ != nullptr) model_->Display();
    VelComponentDisplay::DisplayText("KNNAlgorithm display end", 1);
  } catch (...) {
    // A diagnostic dump that cannot be completed is simply cut short.
  }
}

VelMTD::VelVarList* KNNAlgorithm::GetVarList() {
  return variableList_;
}

VelMTD::VelVarList* KNNAlgorithm::GetVarList() const {
  return variableList_;
}
