#include "data/knn_data_preparation.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/vel_missing.h"
#include "knn/progress_report.h"
#include "support/search_fixtures.h"

namespace {

using knn_test::SearchTable;
constexpr double kMissing = VelMV::gMissingValue;

// Records the "cases" counter and the stage at every notification.
struct CasesListener : IVelProgressListener {
  void Notify(ProgressReport* r) override {
    reported.push_back(r->DiscreteMeasure("cases"));
    stages.push_back(r->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> reported, stages;
};

// Columns: id, x in [0, 10] (predictor), c with 3 codes (predictor), u unused continuous.
class DataPreparationTest : public ::testing::Test {
 protected:
  void SetUp() override { Declare(table_); }
  static void Declare(SearchTable& table) {
    table.AddCaseId("id");
    table.AddContinuous("x", 0.0, 10.0);
    table.AddCategorical("c", 3);
    table.AddContinuous("u", 0.0, 1.0);
    table.Settings().usedVariables = {0, 1, 2};
    table.Settings().AllFeatures = {1, 2};
    table.Settings().SpecifiedK = 1;
  }
  SearchTable table_;
};

TEST_F(DataPreparationTest, StatusOfAFailedDataPass) {
  const struct {
    std::vector<std::vector<double>> rows;
    bool rewinds;
    long code;
  } scenarios[] = {{{}, true, 200001},                                    // no records
                   {{{1, 1, 0, 0}, {2, 2, 1, 0}}, false, 200001},         // cannot rewind
                   {{{1, 1, 0, 0, 9}, {2, 2, 1, 0}}, true, 200001},       // first too long
                   {{{1, 1, 0}, {2, 2, 1, 0}}, true, 200001},             // first too short
                   {{{1, kMissing, 0, 0}, {2, 2, -1, 0}}, true, 200001},  // all dropped
                   {{{1, 1, 0, 0}, {2, kMissing, 1, 0}}, true, 200058}};  // one case left
  for (const auto& s : scenarios) {
    SCOPED_TRACE(::testing::Message() << "code " << s.code << ", rows " << s.rows.size());
    SearchTable table;
    Declare(table);
    for (const auto& row : s.rows) table.AddRow(row);
    table.Source().SetRewindResult(s.rewinds);
    const VelCommon::VelStatus status = table.Prepare();
    EXPECT_EQ(status.GetErrorCode(), s.code);
    EXPECT_EQ(table.Data().GetStatus(), status);
    // A first record of the wrong size leaves nothing stored.
    EXPECT_TRUE(s.rows.empty() || s.rows[0].size() == 4 || table.Data().caseStore.empty());
  }
}

// Many blocks of records. Dropped: a missing predictor, code -1 or out of range; the unused
// variable's missing value is kept raw. Rows are one contiguous stretch without slack, and
// the number of cases stored is reported after every 30000 records read.
TEST_F(DataPreparationTest, StoresValidRecordsExactlyAndReportsProgress) {
  std::vector<double> expected;
  std::vector<int> reports;
  std::vector<unsigned> counts(3);
  for (int i = 0; i < 70000; ++i) {
    const double x = i % 13 == 5 ? kMissing : (i * 7919) % 10001 / 1000.0;  // 0 .. 10
    const double c = i % 17 == 3 ? -1.0 : i % 19 == 4 ? 3.0 : i % 3;
    const double u = i % 11 == 2 ? kMissing : i % 4 * 0.25;
    table_.AddRow({i + 1.0, x, c, u});
    if (x != kMissing && c >= 0 && c < 3) {
      expected.insert(expected.end(), {i + 1.0, 2.0 * x / 10.0 - 1.0, c, u});
      ++counts[static_cast<size_t>(c)];
    }
    if ((i + 1) % 30000 == 0) reports.push_back(static_cast<int>(expected.size() / 4));
  }
  CasesListener listener;
  table_.Settings().progressListener = &listener;
  table_.Settings().reporter = new KNNReporter();
  ASSERT_TRUE(table_.Prepare().IsOK());
  const KNNDataPreparation& data = table_.Data();
  ASSERT_EQ(data.caseCount * 4, static_cast<int>(expected.size()));
  EXPECT_TRUE(data.caseStore == expected) << "values differ";
  EXPECT_EQ(data.caseStore.capacity(), data.caseStore.size());
  for (int i = 0; i < data.caseCount; ++i) {
    ASSERT_EQ(data.caseRows[static_cast<size_t>(i)], data.caseStore.data() + 4 * i);
  }
  EXPECT_EQ(data.variableKinds, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {2, 0}, {3, 1}}));
  EXPECT_EQ(*data.variables[2]->GetCategoryCounts(), counts);
  EXPECT_EQ(table_.Source().RewindCalls(), 1);
  EXPECT_EQ(listener.reported, reports);
  EXPECT_EQ(listener.stages, (std::vector<int>{0, 0}));
}

TEST_F(DataPreparationTest, CaseLabelTakesTheHostCategories) {
  const int label = table_.AddCategorical("label", 2);
  table_.Settings().TotalVarNum = 5;
  table_.AddRow({1, 1.0, 0, 0, 0});
  table_.AddRow({2, 2.0, 1, 0, 1});
  VelMTD::VelVarList host;
  table_.SetHostVariables(&host);
  EXPECT_EQ(table_.Prepare().GetErrorCode(), 200054);  // no case label variable set
  table_.Settings().CaseLabelVariable = label;
  EXPECT_EQ(table_.Prepare().GetErrorCode(), 200065);  // not in the host list
  VelMTD::VelCategories categories;
  for (const char* name : {"north", "south", "west"}) categories.Add(name, 0, nullptr);
  host.Add(std::make_unique<VelMTD::VelCatVar>("label", false, categories));
  EXPECT_TRUE(table_.Prepare().IsOK());
  EXPECT_EQ(table_.Variables().GetVarAt(label)->GetCategoryCount(), 3);
  EXPECT_EQ(table_.Variables().GetVarAt(label)->CategoryLabel(2), "west");
}

}  // namespace
