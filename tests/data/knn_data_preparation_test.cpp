#include "data/knn_data_preparation.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_warning.h"
#include "host/vel_display.h"
#include "host/vel_missing.h"
#include "knn/progress_report.h"
#include "support/search_fixtures.h"

namespace {

using knn_test::SearchTable;
constexpr double kMissing = VelMV::gMissingValue;

// Records the "cases" counter at every notification.
class CasesListener : public IVelProgressListener {
 public:
  void Notify(ProgressReport* report) override {
    reported.push_back(report->DiscreteMeasure("cases"));
    stages.push_back(report->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> reported;
  std::vector<int> stages;
};

// id, x in [0, 10] (predictor), c with 3 categories (predictor), u unused continuous.
class DataPreparationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    id_ = table_.AddCaseId("id");
    x_ = table_.AddContinuous("x", 0.0, 10.0);
    c_ = table_.AddCategorical("c", 3);
    u_ = table_.AddContinuous("u", 0.0, 1.0);
    table_.Settings().usedVariables = {id_, x_, c_};
    table_.Settings().AllFeatures = {x_, c_};
    table_.Settings().SpecifiedK = 1;
  }

  SearchTable table_;
  int id_ = 0, x_ = 0, c_ = 0, u_ = 0;
};

TEST_F(DataPreparationTest, DropsRecordsWithMissingUsedValues) {
  table_.AddRow({1, 0.0, 0, 0.5});
  table_.AddRow({2, kMissing, 1, 0.5});   // missing predictor: dropped
  table_.AddRow({3, 10.0, 2, kMissing});  // missing only in the unused variable: kept
  table_.AddRow({4, 5.0, -1.0, 0.5});     // missing category: dropped
  table_.AddRow({5, 5.0, 3.0, 0.5});      // category out of range: dropped
  table_.AddRow({6, 2.5, 1, 0.25});
  ASSERT_TRUE(table_.Prepare().IsOK());
  const KNNDataPreparation& data = table_.Data();
  EXPECT_EQ(data.caseCount, 3);
  EXPECT_EQ(data.rowWidth, 4);
  const std::vector<double> expected = {1, -1.0, 0, 0.5,       // record 1
                                        3, 1.0,  2, kMissing,  // record 3, u stored raw
                                        6, -0.5, 1, 0.25};     // record 6
  EXPECT_EQ(data.caseStore, expected);
  ASSERT_EQ(data.caseRows.size(), 3U);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(data.caseRows[static_cast<size_t>(i)], data.caseStore.data() + 4 * i);
  }
  EXPECT_EQ(data.variableKinds, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {2, 0}, {3, 1}}));
  EXPECT_EQ(*data.variables[static_cast<size_t>(c_)]->GetCategoryCounts(),
            (std::vector<unsigned>{1, 1, 1}));
  EXPECT_EQ(table_.Source().RewindCalls(), 1);
}

TEST_F(DataPreparationTest, FailuresOfTheDataPass) {
  struct Scenario {
    const char* name;
    std::vector<std::vector<double>> rows;
    bool rewindFails;
    long code;
  };
  const Scenario scenarios[] = {
      {"no_records", {}, false, 200001},
      {"cannot_rewind", {{1, 1, 0, 0}, {2, 2, 1, 0}}, true, 200001},
      {"first_record_too_long", {{1, 1, 0, 0, 9}, {2, 2, 1, 0}}, false, 200001},
      {"first_record_too_short", {{1, 1, 0}, {2, 2, 1, 0}}, false, 200001},
      {"all_dropped", {{1, kMissing, 0, 0}, {2, 2, -1, 0}}, false, 200001},
      {"one_case", {{1, 1, 0, 0}, {2, kMissing, 1, 0}}, false, 200058},
      {"constant_predictor", {{1, 1, 0, 0}, {2, 1, 1, 0}}, false, 200035},
  };
  for (const Scenario& s : scenarios) {
    SearchTable table;
    table.AddCaseId("id");
    table.AddContinuous("x", 0.0, 10.0);
    table.AddCategorical("c", 3);
    table.AddContinuous("u", 0.0, 1.0);
    table.Settings().usedVariables = {0, 1, 2};
    table.Settings().AllFeatures = {1, 2};
    for (const auto& row : s.rows) table.AddRow(row);
    table.Source().SetRewindResult(!s.rewindFails);
    const VelCommon::VelStatus status = table.Prepare();
    EXPECT_TRUE(status.IsError()) << s.name;
    EXPECT_EQ(status.GetErrorCode(), s.code) << s.name;
    EXPECT_EQ(table.Data().GetStatus(), status) << s.name;
    if (std::string(s.name).rfind("first_record", 0) == 0) {
      EXPECT_TRUE(table.Data().caseStore.empty()) << s.name;
    }
  }
}

// A store large enough to be gathered in many blocks: every value lands in the right row
// and column, the rows are one contiguous stretch, and no growth slack is left behind.
TEST_F(DataPreparationTest, LargeStoreIsExactAndContiguous) {
  const int records = 70000;
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < records; ++i) {
    const double x = (i * 7919) % 10001 / 1000.0;  // 0 .. 10
    const bool dropped = i % 13 == 5;
    table_.AddRow({double(i + 1), dropped ? kMissing : x, double(i % 3), i % 4 * 0.25});
    if (!dropped)
      rows.push_back({double(i + 1), 2.0 * x / 10.0 - 1.0, double(i % 3), i % 4 * 0.25});
  }
  ASSERT_TRUE(table_.Prepare().IsOK());
  const KNNDataPreparation& data = table_.Data();
  ASSERT_EQ(data.caseCount, static_cast<int>(rows.size()));
  ASSERT_EQ(data.caseStore.size(), rows.size() * 4);
  EXPECT_EQ(data.caseStore.capacity(), data.caseStore.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(data.caseRows[i], data.caseStore.data() + 4 * i);
    for (size_t j = 0; j < 4; ++j) {
      ASSERT_EQ(data.caseRows[i][j], rows[i][j]) << "case " << i << ", column " << j;
    }
  }
}

TEST_F(DataPreparationTest, StopRequestEndsThePassAfterTheFirstRecord) {
  for (int i = 0; i < 5; ++i) table_.AddRow({i + 1.0, double(i), double(i % 3), 0.0});
  table_.Stop().stopRequested = true;
  VelCommon::VelStatus status = table_.Prepare();
  EXPECT_EQ(status.GetErrorCode(), 1);
  EXPECT_EQ(table_.Source().RecordsDelivered(), 1);

  // The host's interrupt check answering yes at its third question: three records read,
  // and the answer is kept in the stop flag.
  SearchTable second;
  second.AddCaseId("id");
  second.AddContinuous("x", 0.0, 10.0);
  for (int i = 0; i < 5; ++i) second.AddRow({i + 1.0, double(i)});
  knn_test::CountingInterruptCheck check(3);
  second.Stop().interruptCheck = &check;
  status = second.Prepare();
  EXPECT_EQ(status.GetErrorCode(), 1);
  EXPECT_EQ(second.Source().RecordsDelivered(), 3);
  EXPECT_TRUE(second.Stop().stopRequested.load());
}

TEST_F(DataPreparationTest, ReportsCasesEvery30000RecordsRead) {
  for (int i = 0; i < 65000; ++i) {
    // Every tenth record is dropped; the count of records read still includes it.
    table_.AddRow({i + 1.0, i % 10 == 9 ? kMissing : double(i % 11), double(i % 3), 0.0});
  }
  CasesListener listener;
  table_.Settings().progressListener = &listener;
  table_.Settings().reporter = new KNNReporter();
  ASSERT_TRUE(table_.Prepare().IsOK());
  EXPECT_EQ(table_.Data().caseCount, 58500);
  // Cases stored after 30000 and 60000 records read.
  EXPECT_EQ(listener.reported, (std::vector<int>{27000, 54000}));
  EXPECT_EQ(listener.stages, (std::vector<int>{0, 0}));
}

TEST_F(DataPreparationTest, ValidationWarningIsNotKeptInTheStatus) {
  table_.Settings().SpecifiedK = 3;
  table_.AddRow({1, 1.0, 0, 0});
  table_.AddRow({2, 2.0, 1, 0});
  KNNWarning::Instance().Clear();
  const VelCommon::VelStatus status = table_.Prepare();
  EXPECT_TRUE(status.IsOK());
  EXPECT_EQ(table_.Settings().SpecifiedK, 1);
  ASSERT_EQ(KNNWarning::Instance().List().size(), 1U);
  EXPECT_EQ(KNNWarning::Instance().List()[0].GetErrorCode(), 200070);
  KNNWarning::Instance().Clear();
}

TEST_F(DataPreparationTest, MarkUsedVariables) {
  table_.AddRow({1, 1.0, 0, kMissing});
  table_.AddRow({2, 2.0, 1, 0.5});
  ASSERT_TRUE(table_.Prepare().IsOK());
  KNNDataPreparation& data = table_.Data();
  const VelCommon::Record record(std::vector<double>{1, 1.0, 0, kMissing});
  EXPECT_FALSE(data.variables[static_cast<size_t>(u_)]->IsMissing(record));
  EXPECT_TRUE(data.MarkUsedVariables({u_}));
  EXPECT_TRUE(data.variables[static_cast<size_t>(u_)]->IsMissing(record));
  // Everything else is no longer used.
  const VelCommon::Record noX(std::vector<double>{1, kMissing, 0, 0.5});
  EXPECT_FALSE(data.variables[static_cast<size_t>(x_)]->IsMissing(noX));
  // An index out of range ends the marking: x (before it) is used, c (after it) is not.
  EXPECT_FALSE(data.MarkUsedVariables({x_, 4, c_}));
  EXPECT_TRUE(data.variables[static_cast<size_t>(x_)]->IsMissing(noX));
  const VelCommon::Record noC(std::vector<double>{1, 1.0, -1.0, 0.5});
  EXPECT_FALSE(data.variables[static_cast<size_t>(c_)]->IsMissing(noC));
}

TEST_F(DataPreparationTest, HostVariableListAndCaseLabel) {
  const int label = table_.AddCategorical("label", 2);
  table_.Settings().TotalVarNum = 5;
  table_.AddRow({1, 1.0, 0, 0, 0});
  table_.AddRow({2, 2.0, 1, 0, 1});

  VelMTD::VelVarList host;
  table_.SetHostVariables(&host);
  // No case label variable set.
  EXPECT_EQ(table_.Prepare().GetErrorCode(), 200054);
  // The host list has no variable of that name.
  table_.Settings().CaseLabelVariable = label;
  EXPECT_EQ(table_.Prepare().GetErrorCode(), 200065);
  // Present: its categories replace the list's.
  VelMTD::VelCategories categories;
  categories.Add("north", 0, nullptr);
  categories.Add("south", 0, nullptr);
  categories.Add("west", 0, nullptr);
  host.Add(std::make_unique<VelMTD::VelCatVar>("label", false, categories));
  EXPECT_TRUE(table_.Prepare().IsOK());
  const VelMTD::IVelVariable* ours = table_.Variables().GetVarAt(label);
  EXPECT_EQ(ours->GetCategoryCount(), 3);
  EXPECT_EQ(ours->CategoryLabel(2), "west");
  EXPECT_EQ(ours->GetName(), "label");
}

TEST_F(DataPreparationTest, DisplayShowsEveryStoredCase) {
  table_.AddRow({1, 0.0, 0, 0.5});
  table_.AddRow({2, 10.0, 2, 0.5});
  ASSERT_TRUE(table_.Prepare().IsOK());
  std::ostringstream out;
  VelComponentDisplay::SetOutStream(&out);
  table_.Data().Display();
  VelComponentDisplay::SetOutStream(nullptr);
  const std::string text = out.str();
  EXPECT_EQ(text.find("KNNDataPreparation display start"), 0U);
  EXPECT_NE(text.find("original data"), std::string::npos);
  EXPECT_NE(text.find("Number of valid cases is: : 2"), std::string::npos);
  EXPECT_NE(text.find("Number of original feature is: : 4"), std::string::npos);
  EXPECT_NE(text.find("case: : 1 -1 0 0.5"), std::string::npos);
  EXPECT_NE(text.find("case: : 2 1 2 0.5"), std::string::npos);
  EXPECT_NE(text.find("KNNDataPreparation display end"), std::string::npos);
}

}  // namespace
