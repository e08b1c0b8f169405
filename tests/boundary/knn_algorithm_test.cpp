#include "boundary/knn_algorithm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "boundary/knn_warning.h"
#include "host/vel_display.h"
#include "knn/progress_report.h"
#include "support/boundary_data_source.h"
#include "support/boundary_settings_doc.h"

namespace {

using knntest::SettingsDoc;
using knntest::VectorDataSource;
using VelCommon::Record;
using VelCommon::VelStatus;

std::unique_ptr<KNNAlgorithm> MakeAlgorithm(const SettingsDoc& doc) {
  std::istringstream in(doc.Xml());
  return std::make_unique<KNNAlgorithm>(in, nullptr);
}

// Records for SettingsDoc::Minimal(): id, focal, x1, x2, c1 (code), y (code).
std::vector<Record> MinimalRecords(int count) {
  std::vector<Record> records;
  for (int i = 0; i < count; ++i) {
    records.emplace_back(std::vector<double>{
        static_cast<double>(i + 1), 0.0, static_cast<double>(i % 10), (i * 7) % 10 + 0.5,
        static_cast<double>(i % 3), static_cast<double>(i % 2)});
  }
  return records;
}

class CountingCheck : public IVelInterruptCheck {
 public:
  explicit CountingCheck(bool answer) : answer_(answer) {}
  bool IsInterrupted() override {
    ++calls;
    return answer_;
  }
  int calls = 0;

 private:
  bool answer_;
};

class RecordingListener : public IVelProgressListener {
 public:
  void Notify(ProgressReport* report) override {
    stages.push_back(report->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> stages;
};

TEST(KNNAlgorithmConstruction, TakesTheReadersOutcome) {
  KNNWarning::Instance().Add(VelStatus(200070, true));  // left over from an earlier run
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  EXPECT_TRUE(algorithm->GetStatus().IsOK());
  EXPECT_TRUE(algorithm->GetWarnings()->empty());
  ASSERT_NE(algorithm->GetVarList(), nullptr);
  EXPECT_EQ(algorithm->GetVarList()->GetVarAt(5)->GetName(), "y");
  ASSERT_NE(algorithm->GetSettings(), nullptr);
  EXPECT_EQ(algorithm->GetSettings()->TotalVarNum, 6);
  EXPECT_FALSE(algorithm->IsBuilt());
  EXPECT_TRUE(std::regex_match(algorithm->GetVersion(), std::regex(R"(\d+\.\d+\.\d+)")));
}

TEST(KNNAlgorithmConstruction, RejectedSettingsAreNotAdopted) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Param("DistMetric", "Manhattan");
  auto algorithm = MakeAlgorithm(doc);
  EXPECT_EQ(algorithm->GetStatus(), VelStatus(200012, false));
  EXPECT_EQ(algorithm->GetVarList(), nullptr);
  EXPECT_EQ(algorithm->GetSettings(), nullptr);
  // Hooks on a rejected algorithm are harmless.
  RecordingListener listener;
  algorithm->SetProgressListener(&listener);
  std::ostringstream out;
  algorithm->Display(out);
  EXPECT_NE(out.str().find("KNNAlgorithm display end"), std::string::npos);
}

TEST(KNNAlgorithmHooks, NullHooksKeepTheEarlierOnes) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  CountingCheck check(false);
  algorithm->SetInterruptCheck(&check);
  algorithm->SetInterruptCheck(nullptr);
  EXPECT_EQ(algorithm->GetStopControl().interruptCheck, &check);

  KNNSettings& settings = *algorithm->GetSettings();
  RecordingListener first;
  algorithm->SetProgressListener(&first);
  ASSERT_NE(settings.reporter, nullptr);
  EXPECT_EQ(settings.progressListener, &first);
  KNNReporter* reporter = settings.reporter;
  reporter->SetValues("cases", 30000, 1.0);

  algorithm->SetProgressListener(nullptr);
  EXPECT_EQ(settings.progressListener, &first);
  EXPECT_EQ(settings.reporter, reporter);
  EXPECT_EQ(settings.reporter->DiscreteMeasure("cases"), 30000);

  RecordingListener second;
  algorithm->SetProgressListener(&second);
  EXPECT_EQ(settings.progressListener, &second);
  ASSERT_NE(settings.reporter, nullptr);
  EXPECT_EQ(settings.reporter->DiscreteMeasure("cases"), -1);  // a fresh reporter
}

TEST(KNNAlgorithmBeforeBuild, ScoringAndWritingNeedABuild) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  Record record(MinimalRecords(1)[0]);
  std::vector<std::vector<double>> results;
  EXPECT_EQ(algorithm->ScoreRecord(&record, nullptr, &results), VelStatus(6, false));
  std::ostringstream out;
  EXPECT_EQ(algorithm->WritePMML(out, nullptr), VelStatus(6, false));
  EXPECT_TRUE(out.str().empty() && results.empty());
  // Neither call touches the algorithm's own status.
  EXPECT_TRUE(algorithm->GetStatus().IsOK());
}

TEST(KNNAlgorithmBuild, FailingRewindIsKeptWithoutAskingAgain) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  VectorDataSource source(MinimalRecords(12));
  source.SetRewindable(false);
  EXPECT_EQ(algorithm->Build(source), VelStatus(200001, false));
  source.SetRewindable(true);
  EXPECT_EQ(algorithm->Build(source), VelStatus(200001, false));
  EXPECT_FALSE(algorithm->IsBuilt());
  EXPECT_EQ(source.rewindCalls, 1);
  EXPECT_EQ(source.nextRecordCalls, 0);
  EXPECT_EQ(algorithm->GetStatus(), VelStatus(200001, false));
}

TEST(KNNAlgorithmBuild, ExceptionsFromTheSourceBecomeStatuses) {
  for (const bool outOfMemory : {false, true}) {
    auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
    VectorDataSource source(MinimalRecords(12));
    source.SetBeforeRecord([&](size_t i) {
      if (outOfMemory) throw std::bad_alloc();
      if (i == 3) throw std::runtime_error("disk gone");
    });
    EXPECT_EQ(algorithm->Build(source), VelStatus(3, false)) << outOfMemory;
    EXPECT_FALSE(algorithm->IsBuilt());
  }
}

TEST(KNNAlgorithmBuild, InterruptBeforeBuildStopsTheDataPass) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  algorithm->Interrupt();
  VectorDataSource source(MinimalRecords(12));
  EXPECT_EQ(algorithm->Build(source), VelStatus(1, false));
  EXPECT_FALSE(algorithm->IsBuilt());
  // One Rewind as the check, one to read; the pass stops after the first record.
  EXPECT_EQ(source.rewindCalls, 2);
  EXPECT_LE(source.nextRecordCalls, 2);
}

TEST(KNNAlgorithmBuild, InterruptCheckAnsweringYesStopsTheBuild) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  CountingCheck check(true);
  algorithm->SetInterruptCheck(&check);
  VectorDataSource source(MinimalRecords(12));
  EXPECT_EQ(algorithm->Build(source), VelStatus(1, false));
  EXPECT_EQ(check.calls, 1);
  // The answer is kept as the stop flag.
  EXPECT_TRUE(algorithm->GetStopControl().stopRequested.load());
}

TEST(KNNAlgorithmBuild, InterruptFromAnotherThreadDuringTheDataPass) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  VectorDataSource source(MinimalRecords(400));
  source.SetBeforeRecord([&](size_t i) {
    if (i == 50) {
      std::thread host([&] { algorithm->Interrupt(); });
      host.join();
    }
  });
  EXPECT_EQ(algorithm->Build(source), VelStatus(1, false));
  EXPECT_LT(source.nextRecordCalls, 60);
}

TEST(KNNAlgorithmBuild, SuccessfulBuildScoresAndDisplays) {
  KNNWarning::Instance().Clear();
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 9);  // warning 200068
  auto algorithm = MakeAlgorithm(doc);
  ASSERT_EQ(algorithm->GetStatus(), VelStatus(200068, true));
  RecordingListener listener;
  algorithm->SetProgressListener(&listener);

  VectorDataSource source(MinimalRecords(24));
  const VelStatus status = algorithm->Build(source);
  ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
  EXPECT_TRUE(algorithm->IsBuilt());
  EXPECT_EQ(algorithm->GetStatus(), status);
  // The build started a fresh warning list: the reading's warning is gone.
  EXPECT_EQ(std::ranges::count(*algorithm->GetWarnings(), VelStatus(200068, true)), 0);
  EXPECT_FALSE(listener.stages.empty());

  Record record(MinimalRecords(30)[27]);
  std::vector<std::vector<double>> results;
  EXPECT_TRUE(algorithm->ScoreRecord(&record, nullptr, &results).IsOK());
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(algorithm->ScoreRecord(nullptr, nullptr, &results).GetErrorCode(), 200049);

  std::ostringstream out;
  std::ostream* before = VelComponentDisplay::GetOutStream();
  algorithm->Display(out);
  EXPECT_EQ(VelComponentDisplay::GetOutStream(), before);
  const std::string text = out.str();
  size_t position = 0;
  for (const char* marker :
       {"KNNAlgorithm display start", "KNNModel display start", "KNNAlgorithm display end"}) {
    const size_t found = text.find(marker, position);
    ASSERT_NE(found, std::string::npos) << marker;
    position = found;
  }
}

TEST(KNNAlgorithmBuild, LoweredKIsReportedAsWarning) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Param("SpecifiedK", 8);
  auto algorithm = MakeAlgorithm(doc);
  VectorDataSource source(MinimalRecords(5));
  const VelStatus status = algorithm->Build(source);
  ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
  EXPECT_EQ(algorithm->GetSettings()->SpecifiedK, 4);
  EXPECT_EQ(*algorithm->GetWarnings(), std::vector<VelStatus>{VelStatus(200070, true)});
}

TEST(KNNAlgorithmBuild, FailedBuildStaysFailed) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  VectorDataSource single(MinimalRecords(1));
  EXPECT_EQ(algorithm->Build(single), VelStatus(200058, false));
  VectorDataSource good(MinimalRecords(20));
  EXPECT_EQ(algorithm->Build(good), VelStatus(200058, false));
  EXPECT_EQ(good.rewindCalls, 0);
  Record record(MinimalRecords(1)[0]);
  std::vector<std::vector<double>> results;
  EXPECT_EQ(algorithm->ScoreRecord(&record, nullptr, &results).GetErrorCode(), 6);
}

TEST(KNNAlgorithmBuild, RebuildReplacesTheModel) {
  auto algorithm = MakeAlgorithm(SettingsDoc::Minimal());
  VectorDataSource first(MinimalRecords(12));
  ASSERT_FALSE(algorithm->Build(first).IsError());
  VectorDataSource second(MinimalRecords(20));
  ASSERT_FALSE(algorithm->Build(second).IsError());
  EXPECT_EQ(algorithm->GetDataPreparation()->caseCount, 20);
  EXPECT_EQ(second.rewindCalls, 2);
}

}  // namespace
