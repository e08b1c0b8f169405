// Fixtures for data preparation and the neighbour search: an in-memory data source, a small-table
// builder for the objects data preparation works on, and a brute-force neighbour scan.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boundary/stop_control.h"
#include "data/knn_data_preparation.h"
#include "host/vel_interfaces.h"
#include "host/vel_record.h"
#include "host/vel_variables.h"
#include "settings/knn_settings.h"

namespace knn_test {

// Delivers its records in order, counting what it was asked; it can refuse a Rewind (NextRecord
// then answers null), stop a pass early or call a hook before each record.
class MemoryDataSource : public IVelDataSource {
 public:
  MemoryDataSource() = default;
  explicit MemoryDataSource(const std::vector<std::vector<double>>& rows) {
    for (const auto& row : rows) AddRecord(row);
  }

  void AddRecord(std::vector<double> values) { records_.emplace_back(std::move(values)); }
  void SetRewindResult(bool ok) { rewindsAllowed = ok ? -1 : 0; }
  void SetBeforeRecord(std::function<void(size_t)> hook) {
    beforeRecord = [hook](int i) { hook(static_cast<size_t>(i)); };
  }
  int RewindCalls() const { return rewindCalls; }

  bool Rewind() override;
  const VelCommon::Record* NextRecord() override;

  int rewindsAllowed = -1;  // Rewind calls after this many answer false (-1: none)
  int stopAfter = -1;       // records per pass before NextRecord answers null (-1: all)
  std::function<void(int)> beforeRecord;  // called with the 0-based position
  int rewindCalls = 0, delivered = 0;

 private:
  std::vector<VelCommon::Record> records_;
  int next_ = 0;
  bool rewound_ = true;
};

// An interrupt check that answers yes from its n-th question on (1 = the first question).
class CountingInterruptCheck : public IVelInterruptCheck {
 public:
  explicit CountingInterruptCheck(int yesFrom) : yesFrom_(yesFrom) {}
  bool IsInterrupted() override { return ++questions_ >= yesFrom_; }
  int Questions() const { return questions_; }

 private:
  int yesFrom_, questions_ = 0;
};

// A small table of variables and records plus everything data preparation needs (not copyable).
class SearchTable {
 public:
  // Declared in record order; each returns the new variable's column.
  int AddContinuous(const std::string& name, double min = -1.0, double max = 1.0);
  int AddCategorical(const std::string& name, int categoryCount);
  // Range [0, 1e9]; also sets CaseIDVariable.
  int AddCaseId(const std::string& name);
  // Not checked against the variables, so tests can give records of the wrong size.
  void AddRow(std::vector<double> values) { source_.AddRecord(std::move(values)); }

  KNNSettings& Settings() { return *settings_; }
  VelMTD::VelVarList& Variables() { return variables_; }
  MemoryDataSource& Source() { return source_; }
  KNNStopControl& Stop() { return stop_; }
  void SetHostVariables(VelMTD::VelVarList* host) { hostVariables_ = host; }

  // A new KNNDataPreparation, after filling the settings a test left empty: TotalVarNum,
  // usedVariables (all) and AllFeatures (all but the special variables and the responses).
  KNNDataPreparation& CreateData();
  // The same, then Prepare over the rows.
  VelCommon::VelStatus Prepare() {
    VelCommon::VelStatus status;
    return CreateData().Prepare(status, source_);
  }
  KNNDataPreparation& Data() { return *data_; }

 private:
  VelMTD::VelVarList variables_;
  std::unique_ptr<KNNSettings> settings_ = std::make_unique<KNNSettings>();
  KNNStopControl stop_;
  MemoryDataSource source_;
  VelMTD::VelVarList* hostVariables_ = nullptr;
  std::unique_ptr<KNNDataPreparation> data_;
};

struct BruteNeighbor {
  double distance;  // square root taken for the Euclidean metric
  int caseIndex;
};

// Reference scan over data.caseRows, independent of the tree: continuous w*d^2 or w*|d|,
// categorical mismatch 2w; cases of the given fold left out (foldColumn or fold -1: none), the
// query's own case left out unless includeSelf (distance 0 and equal case ID); sorted by
// distance then case index.
std::vector<BruteNeighbor> BruteForceScan(const KNNDataPreparation& data,
                                          const std::vector<int>& features,
                                          const std::vector<double>& weights, bool euclidean,
                                          const double* query, int foldColumn, int fold,
                                          int caseIdColumn, bool includeSelf);

}  // namespace knn_test
