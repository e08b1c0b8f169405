#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/vel_missing.h"
#include "knn/progress_report.h"

namespace {

struct Stage {
  const char* name;
  int code;
};

// Every stage the reporter knows, with the code "ReportStage" answers after it.
const std::vector<Stage> kStages = {
    {"cases", 0},         {"modelSelection", 1}, {"kselection", 4},      {"kandFeatselection", 6},
    {"featSelection", 5}, {"featImportance", 7}, {"featWeight", 8},      {"buildModel", 2},
    {"scoreTraining", 3}, {"writePMML", 11},     {"writeOrigToDisk", 9}, {"compDisSaveToDisk", 10},
};

TEST(KNNReporterStages, EachStageSetsItsCounterAndCode) {
  for (size_t i = 0; i < kStages.size(); ++i) {
    SCOPED_TRACE(kStages[i].name);
    KNNReporter reporter;
    for (const Stage& stage : kStages) EXPECT_EQ(reporter.DiscreteMeasure(stage.name), -1);
    EXPECT_EQ(reporter.ScaleMeasure("elapsedTime"), 0.0);
    reporter.SetValues(kStages[i].name, 40 + static_cast<int>(i), 10.0);
    EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), kStages[i].code);
    for (size_t j = 0; j < kStages.size(); ++j) {
      EXPECT_EQ(reporter.DiscreteMeasure(kStages[j].name), i == j ? 40 + static_cast<int>(i) : -1)
          << kStages[j].name;
    }
  }
}

TEST(KNNReporterStages, CountersAccumulateUntilReset) {
  KNNReporter reporter;
  reporter.SetStartTime(100.0);
  reporter.SetValues("cases", 30000, 200.0);
  reporter.SetValues("cases", 60000, 300.0);
  reporter.SetValues("kselection", 1, 400.0);
  EXPECT_EQ(reporter.DiscreteMeasure("cases"), 60000);
  EXPECT_EQ(reporter.DiscreteMeasure("kselection"), 1);
  EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), 4);

  reporter.Reset();
  EXPECT_EQ(reporter.DiscreteMeasure("cases"), -1);
  EXPECT_EQ(reporter.DiscreteMeasure("kselection"), -1);
  EXPECT_EQ(reporter.ScaleMeasure("elapsedTime"), 0.0);
  // The latest stage is not part of a phase's counters.
  EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), 4);
}

TEST(KNNReporterStages, NamesMatchExactlyAndUnknownStagesOnlyMoveTheClock) {
  KNNReporter reporter;
  reporter.SetStartTime(1000.0);
  reporter.SetValues("featWeight", 1, 1500.0);
  reporter.SetValues("Cases", 99, 4000.0);
  EXPECT_EQ(reporter.DiscreteMeasure("ReportStage"), 8);
  EXPECT_EQ(reporter.DiscreteMeasure("featWeight"), 1);
  EXPECT_DOUBLE_EQ(reporter.ScaleMeasure("elapsedTime"), 3.0);
  for (const char* name : {"cases", "FeatWeight", "featWeight ", "feat", "elapsedTime"}) {
    EXPECT_EQ(reporter.DiscreteMeasure(name), -1) << name;
  }
  for (const char* name : {"ElapsedTime", "elapsedtime", "featWeight"}) {
    EXPECT_EQ(reporter.ScaleMeasure(name), VelMV::gMissingValue) << name;
  }
}

TEST(KNNReporterTime, ElapsedSecondsOfThePhaseThroughTheReportInterface) {
  KNNReporter reporter;
  reporter.SetStartTime(1000.0);
  reporter.SetValues("buildModel", 1, 3500.0);
  ProgressReport& report = reporter;
  EXPECT_EQ(report.DiscreteMeasure("ReportStage"), 2);
  EXPECT_DOUBLE_EQ(report.ScaleMeasure("elapsedTime"), 2.5);
}

TEST(KNNReporterTime, ClockWrapStillGivesAPositiveSpan) {
  KNNReporter reporter;
  reporter.SetStartTime(2147483000.0);
  reporter.SetValues("cases", 30000, 500.0);
  EXPECT_NEAR(reporter.ScaleMeasure("elapsedTime"), 1.147, 1e-9);
  EXPECT_EQ(reporter.DiscreteMeasure("cases"), 30000);

  // Equal readings are no wrap.
  KNNReporter same;
  same.SetStartTime(700.0);
  same.SetValues("cases", 1, 700.0);
  EXPECT_EQ(same.ScaleMeasure("elapsedTime"), 0.0);
}

TEST(KNNReporterCopies, CopiesAndMovesCarryEveryField) {
  KNNReporter original;
  original.SetStartTime(250.0);
  original.SetValues("featSelection", 1, 1250.0);
  original.SetValues("cases", 7, 2250.0);
  KNNReporter copied(original), assigned;
  assigned = original;
  KNNReporter moved(std::move(copied));
  original.Reset();  // a copy is independent of its source
  for (KNNReporter* r : {&assigned, &moved}) {
    EXPECT_EQ(r->DiscreteMeasure("ReportStage"), 0);
    EXPECT_EQ(r->DiscreteMeasure("featSelection"), 1);
    EXPECT_EQ(r->DiscreteMeasure("cases"), 7);
    EXPECT_DOUBLE_EQ(r->ScaleMeasure("elapsedTime"), 2.0);
  }
}

}  // namespace
