// Test fixtures for data preparation and the neighbour search: an in-memory data source and a
// small-table builder that produces the VelVarList, KNNSettings and KNNDataPreparation the
// component works on.
//
// Typical use:
//
//   knn_test::SearchTable table;
//   int id = table.AddCaseId("id");                // continuous, becomes CaseIDVariable
//   int x = table.AddContinuous("x", 0.0, 10.0);    // declared range, rescaled to [-1, 1]
//   int c = table.AddCategorical("colour", 3);      // codes 0, 1, 2
//   table.AddRow({1, 2.5, 0});
//   table.AddRow({2, 7.5, 2});
//   ASSERT_TRUE(table.Prepare().IsOK());            // fresh KNNDataPreparation over the rows
//   KNNKdTree tree(table.Data());
//   tree.Build({x, c}, -1, nullptr);
//
// Settings left at their defaults are filled by Prepare (see there); anything a test sets on
// Settings() before Prepare is kept. Prepare may be called again after changing rows or
// settings; it destroys the previous data preparation first.
#pragma once

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

// Delivers a fixed list of records, in order, and counts what it was asked.
class MemoryDataSource : public IVelDataSource {
 public:
  MemoryDataSource() = default;
  explicit MemoryDataSource(const std::vector<std::vector<double>>& rows);

  void AddRecord(std::vector<double> values);
  void ClearRecords();
  // Makes Rewind answer false (a source that cannot deliver records).
  void SetRewindResult(bool ok) { rewindOk_ = ok; }

  bool Rewind() override;
  const VelCommon::Record* NextRecord() override;

  int RewindCalls() const { return rewindCalls_; }
  // Records handed out since construction (all passes).
  int RecordsDelivered() const { return delivered_; }
  int Size() const { return static_cast<int>(records_.size()); }

 private:
  std::vector<VelCommon::Record> records_;
  size_t next_ = 0;
  bool rewindOk_ = true;
  int rewindCalls_ = 0;
  int delivered_ = 0;
};

// An interrupt check that answers yes from its n-th question on (1 = the first question).
class CountingInterruptCheck : public IVelInterruptCheck {
 public:
  explicit CountingInterruptCheck(int yesFrom) : yesFrom_(yesFrom) {}
  bool IsInterrupted() override { return ++questions_ >= yesFrom_; }
  int Questions() const { return questions_; }

 private:
  int yesFrom_;
  int questions_ = 0;
};

// A small table of variables and records plus everything data preparation needs.
// Not copyable or movable: the objects it owns point at each other.
class SearchTable {
 public:
  SearchTable();
  ~SearchTable();
  SearchTable(const SearchTable&) = delete;
  SearchTable& operator=(const SearchTable&) = delete;

  // Declare variables in record order; each returns the new variable's index (its column).
  int AddContinuous(const std::string& name, double min = -1.0, double max = 1.0);
  int AddCategorical(const std::string& name, int categoryCount);
  // A continuous case-identifier variable (range [0, 1e9]); also sets CaseIDVariable.
  int AddCaseId(const std::string& name);

  // Appends one record, one value per declared variable (not checked, so tests can give
  // records of the wrong size).
  void AddRow(std::vector<double> values) { source_.AddRecord(std::move(values)); }

  KNNSettings& Settings() { return *settings_; }
  VelMTD::VelVarList& Variables() { return variables_; }
  MemoryDataSource& Source() { return source_; }
  KNNStopControl& Stop() { return stop_; }
  // Optional host variable list handed to data preparation (null by default).
  void SetHostVariables(VelMTD::VelVarList* host) { hostVariables_ = host; }

  // Fills settings a test left empty, then creates a new KNNDataPreparation and runs
  // Prepare over the rows. Defaults: TotalVarNum = number of variables (when 0);
  // usedVariables = every variable (when empty); AllFeatures = every variable except the
  // case ID, case label, v-fold and focal variables and the responses (when empty).
  VelCommon::VelStatus Prepare();
  // Creates the KNNDataPreparation (with the defaults above) without running Prepare.
  KNNDataPreparation& CreateData();
  // The data preparation of the last Prepare/CreateData.
  KNNDataPreparation& Data() { return *data_; }

  // Feature list of every variable that is neither the case ID nor a special variable.
  std::vector<int> DefaultFeatures() const;

 private:
  void FillDefaults();

  VelMTD::VelVarList variables_;
  std::unique_ptr<KNNSettings> settings_;
  KNNStopControl stop_;
  MemoryDataSource source_;
  VelMTD::VelVarList* hostVariables_ = nullptr;
  std::unique_ptr<KNNDataPreparation> data_;
};

// One neighbour of a brute-force scan.
struct BruteNeighbor {
  double distance;  // reported distance (square root taken for the Euclidean metric)
  int caseIndex;
};

// Reference K-nearest scan over data.caseRows, independent of the tree: the distance of the
// component's metrics (continuous w*d^2 or w*|d|, categorical mismatch 2w), cases of the given
// fold left out (foldColumn -1 or fold -1: none), the query's own case left out when
// includeSelf is false (distance 0 and equal case ID), sorted by distance then case index.
// Returns every indexed case, not only K; callers compare the first K.
std::vector<BruteNeighbor> BruteForceScan(const KNNDataPreparation& data,
                                          const std::vector<int>& features,
                                          const std::vector<double>& weights, bool euclidean,
                                          const double* query, int foldColumn, int fold,
                                          int caseIdColumn, bool includeSelf);

}  // namespace knn_test
