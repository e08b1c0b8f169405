#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "host/vel_missing.h"
#include "knn/progress_report.h"

namespace {

TEST(KNNReporter, StagesSetTheirCounterAndCodeAndTheClockWraps) {
  // clang-format off
  const std::vector<std::pair<const char*, int>> stages = {  // name, "ReportStage" after it
      {"cases", 0}, {"modelSelection", 1}, {"kselection", 4}, {"kandFeatselection", 6},
      {"featSelection", 5}, {"featImportance", 7}, {"featWeight", 8}, {"buildModel", 2},
      {"scoreTraining", 3}, {"writePMML", 11}, {"writeOrigToDisk", 9}, {"compDisSaveToDisk", 10}};
  // clang-format on
  for (size_t i = 0; i < stages.size(); ++i) {
    KNNReporter reporter;
    reporter.SetValues(stages[i].first, 40, 10.0);
    EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), stages[i].second) << stages[i].first;
    for (size_t j = 0; j < stages.size(); ++j) {
      EXPECT_EQ(reporter.DiscreteMeasure(stages[j].first), i == j ? 40 : -1) << stages[i].first;
    }
  }
  // Names are exact: an unknown stage only moves the clock. The elapsed time survives the
  // clock wrapping; Reset clears counters and time, not the stage.
  KNNReporter reporter;
  reporter.SetStartTime(2147483000.0);
  reporter.SetValues("featWeight", 1, 100.0);
  reporter.SetValues("Cases", 99, 500.0);
  EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), 8);
  EXPECT_EQ(reporter.DiscreteMeasure("cases"), -1);
  EXPECT_NEAR(reporter.ScaleMeasure("elapsedTime"), 1.147, 1e-9);
  EXPECT_EQ(reporter.ScaleMeasure("elapsedtime"), VelMV::gMissingValue);
  reporter.Reset();
  EXPECT_EQ(reporter.DiscreteMeasure("featWeight"), -1);
  EXPECT_EQ(reporter.ScaleMeasure("elapsedTime"), 0.0);
  EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), 8);
}

}  // namespace
