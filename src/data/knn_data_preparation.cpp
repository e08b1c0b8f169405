#include "data/knn_data_preparation.h"

#include <algorithm>
#include <new>

#include "boundary/knn_validate_input.h"
#include "boundary/progress.h"
#include "boundary/status_codes.h"
#include "host/vel_display.h"

namespace {

// "cases" is reported after every this many records read, dropped ones included.
constexpr int kCasesReportInterval = 30000;

// The pass gathers the cases in blocks and joins them into the one store at the end. A
// single vector grown by doubling would hold the old and the new copy at once at every
// growth step, up to twice the final store resident; joining blocks into an exactly
// reserved store (whose pages are touched only as they are filled) while each block is
// freed after its copy keeps the peak at the store plus one block.
constexpr size_t kFirstBlockRows = 1024;
constexpr size_t kMaxBlockValues = size_t{1} << 19;  // 4 MB of doubles

class CaseBlocks {
 public:
  explicit CaseBlocks(int rowWidth) : rowWidth_(rowWidth > 0 ? static_cast<size_t>(rowWidth) : 1) {}

  // The block the next case is appended to, with room for a whole row, so that appending
  // never reallocates.
  std::vector<double>& ForNextCase() {
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < rowWidth_) {
      // Blocks grow with the data read so far, so small stores stay in one or two blocks.
      const size_t rows = std::max(kFirstBlockRows, std::min(stored_, kMaxBlockValues) / rowWidth_);
      blocks_.emplace_back();
      blocks_.back().reserve(std::max(rows, size_t{1}) * rowWidth_);
    }
    return blocks_.back();
  }
  void Appended() { stored_ += rowWidth_; }

  // Moves everything appended into store, which must be empty.
  void JoinInto(std::vector<double>& store) {
    if (blocks_.size() == 1) {
      store = std::move(blocks_.front());
    } else if (!blocks_.empty()) {
      size_t total = 0;
      for (const std::vector<double>& block : blocks_) total += block.size();
      store.reserve(total);
      for (std::vector<double>& block : blocks_) {
        store.insert(store.end(), block.begin(), block.end());
        std::vector<double>().swap(block);
      }
    }
    blocks_.clear();
  }

 private:
  size_t rowWidth_;
  size_t stored_ = 0;
  std::vector<std::vector<double>> blocks_;
};

}  // namespace

KNNDataPreparation::KNNDataPreparation(KNNSettings* settingsIn, VelMTD::VelVarList* variableListIn,
                                       KNNStopControl* stopControlIn,
                                       VelMTD::VelVarList* hostVariablesIn)
    : settings(settingsIn),
      variableList(variableListIn),
      stopControl(stopControlIn),
      rowWidth(settingsIn->TotalVarNum),
      hostVariables(hostVariablesIn) {}

KNNDataPreparation::~KNNDataPreparation() {
  for (IKNNVariable* variable : variables) delete variable;
}

void KNNDataPreparation::CreateVariables() {
  const int count = variableList->Size();
  variables.reserve(static_cast<size_t>(count));
  variableKinds.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const bool continuous = variableList->GetVarAt(i)->GetMeasureKind() == VelMTD::kContinuous;
    if (continuous) {
      variables.push_back(new KNNContVariable(settings, variableList, i));
    } else {
      variables.push_back(new KNNCatVariable(settings, variableList, i));
    }
    variableKinds.emplace_back(i, continuous ? 1 : 0);
  }
}

bool KNNDataPreparation::MarkUsedVariables(const std::vector<int>& indices) {
  for (IKNNVariable* variable : variables) variable->SetUsed(false);
  for (int index : indices) {
    if (index < 0 || index >= static_cast<int>(variables.size())) return false;
    variables[static_cast<size_t>(index)]->SetUsed(true);
  }
  return true;
}

VelCommon::VelStatus KNNDataPreparation::Prepare(VelCommon::VelStatus& out,
                                                 IVelDataSource& source) {
  try {
    CreateVariables();
    MarkUsedVariables(settings->usedVariables);
    status = ReadCases(source);
    if (!status.IsError()) {
      caseRows.resize(static_cast<size_t>(caseCount));
      for (int i = 0; i < caseCount; ++i) {
        caseRows[static_cast<size_t>(i)] = caseStore.data() + static_cast<ptrdiff_t>(i) * rowWidth;
      }
    }
  } catch (const std::bad_alloc&) {
    status = KNNStatus::Error(KNNStatus::kOutOfMemory);
  }
  if (!status.IsError()) {
    KNNValidateInput validate(settings, variableList, this);
    validate.Validate(status);
  }
  if (!status.IsError()) {
    // A validation warning lives on in the warning list only.
    status = VelCommon::VelStatus();
    if (hostVariables != nullptr) {
      VelMTD::IVelVariable* label = variableList->GetVarAt(settings->CaseLabelVariable);
      if (label == nullptr) {
        status = KNNStatus::Error(KNNStatus::kUnknownCaseLabelVar);
      } else {
        const int hostIndex = hostVariables->FindVariable(label->GetName());
        if (hostIndex < 0) {
          status = KNNStatus::Error(KNNStatus::kHostLacksCaseLabel);
        } else {
          auto* target = dynamic_cast<VelMTD::VelCatVar*>(label);
          const auto* from =
              dynamic_cast<const VelMTD::VelCatVar*>(hostVariables->GetVarAt(hostIndex));
          if (target != nullptr && from != nullptr) *target = *from;
        }
      }
    }
  }
  out = status;
  return status;
}

VelCommon::VelStatus KNNDataPreparation::ReadCases(IVelDataSource& source) {
  VelCommon::VelStatus result;
  if (!source.Rewind()) return KNNStatus::Error(KNNStatus::kNoData);
  KNNProgress::StartPhase(*settings);

  const VelCommon::Record* record = source.NextRecord();
  if (record != nullptr && record->Size() != settings->TotalVarNum) {
    return KNNStatus::Error(KNNStatus::kNoData);
  }
  const bool reporting = settings->progressListener != nullptr && settings->reporter != nullptr;
  int sinceReport = 0;
  caseCount = 0;
  caseStore.clear();
  CaseBlocks blocks(rowWidth);
  try {
    for (; record != nullptr; record = source.NextRecord()) {
      bool missing = false;
      for (IKNNVariable* variable : variables) {
        if (variable->IsMissing(*record)) {
          missing = true;
          break;
        }
      }
      if (!missing) {
        std::vector<double>& block = blocks.ForNextCase();
        for (IKNNVariable* variable : variables) {
          variable->AppendValue(result, *record, block);
          if (!result.IsOK()) break;
        }
        blocks.Appended();
        ++caseCount;
      }
      if (result.IsOK() && stopControl != nullptr && stopControl->ShouldStop()) {
        result = KNNStatus::Error(KNNStatus::kInterrupted);
      }
      if (!result.IsOK()) break;
      if (reporting && ++sinceReport == kCasesReportInterval) {
        KNNProgress::Report(*settings, "cases", caseCount);
        sinceReport = 0;
      }
    }
  } catch (const std::bad_alloc&) {
    result = KNNStatus::Error(KNNStatus::kOutOfMemory);
  }
  // Joined on failure too: a partly filled store stays readable until the object goes.
  blocks.JoinInto(caseStore);
  if (!result.IsOK()) return result;
  if (caseCount == 0) return KNNStatus::Error(KNNStatus::kNoData);
  return result;
}

void KNNDataPreparation::Display() {
  VelComponentDisplay::DisplayText("KNNDataPreparation display start");
  VelComponentDisplay::DisplayText("original data");
  VelComponentDisplay::DisplayI("Number of valid cases is: ", caseCount);
  VelComponentDisplay::DisplayI("Number of original feature is: ", rowWidth);
  for (int i = 0; i < caseCount && i < static_cast<int>(caseRows.size()); ++i) {
    VelComponentDisplay::DisplayDV("case: ", caseRows[static_cast<size_t>(i)], rowWidth, false);
  }
  VelComponentDisplay::DisplayText("KNNDataPreparation display end");
}
