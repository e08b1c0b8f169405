#include <algorithm>
#include <string_view>

#include "host/vel_missing.h"
#include "knn/progress_report.h"

namespace {

struct StageEntry {
  std::string_view name;
  int code;
};

// Counter i belongs to kStages[i]; the code is what "ReportStage" answers for that stage.
constexpr StageEntry kStages[KNNReporter::kStageCount] = {
    {"cases", 0},         {"modelSelection", 1}, {"kselection", 4},      {"kandFeatselection", 6},
    {"featSelection", 5}, {"featImportance", 7}, {"featWeight", 8},      {"buildModel", 2},
    {"scoreTraining", 3}, {"writePMML", 11},     {"writeOrigToDisk", 9}, {"compDisSaveToDisk", 10},
};

// Position of the stage's counter, or -1 for a name outside the table (exact match only).
int StageIndex(const std::string& name) {
  for (int i = 0; i < KNNReporter::kStageCount; ++i) {
    if (kStages[i].name == name) return i;
  }
  return -1;
}

// The span a 32-bit tick counter can wrap by once.
constexpr double kClockWrap = 2147483647.0;

}  // namespace

ProgressReport::ProgressReport() = default;
ProgressReport::ProgressReport(const ProgressReport&) = default;
ProgressReport::~ProgressReport() = default;
ProgressReport& ProgressReport::operator=(const ProgressReport&) = default;

KNNReporter::KNNReporter() : startTime_(0.0), currentTime_(0.0), stage_(-1) {
  std::fill(std::begin(counters_), std::end(counters_), -1);
}

KNNReporter::KNNReporter(const KNNReporter&) = default;
KNNReporter::KNNReporter(KNNReporter&&) noexcept = default;
KNNReporter::~KNNReporter() = default;
KNNReporter& KNNReporter::operator=(const KNNReporter&) = default;
KNNReporter& KNNReporter::operator=(KNNReporter&&) noexcept = default;

int KNNReporter::DiscreteMeasure(const std::string& name) {
  if (name == "ReportStage") return stage_;
  const int index = StageIndex(name);
  return index < 0 ? -1 : counters_[index];
}

double KNNReporter::ScaleMeasure(const std::string& name) {
  if (name != "elapsedTime") return VelMV::gMissingValue;
  const double current = currentTime_ >= startTime_ ? currentTime_ : currentTime_ + kClockWrap;
  return (current - startTime_) / 1000.0;
}

void KNNReporter::SetStartTime(double time) {
  startTime_ = time;
}

void KNNReporter::SetValues(const std::string& name, int value, double time) {
  const int index = StageIndex(name);
  if (index >= 0) {
    counters_[index] = value;
    stage_ = kStages[index].code;
  }
  currentTime_ = time;
}

void KNNReporter::Reset() {
  std::fill(std::begin(counters_), std::end(counters_), -1);
  startTime_ = 0.0;
  currentTime_ = 0.0;
}
