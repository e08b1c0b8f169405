// Faults around a build: a stop requested at every single point where the component asks,
// a stop from another thread, and data sources that refuse to rewind or run dry. Each must
// end in its status with nothing half-done left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <ostream>
#include <sstream>
#include <thread>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

using reltest::ArmedInterruptCheck;
using reltest::BuildCase;
using reltest::FaultyDataSource;

bool StopFlagSet(IVelAlgorithm& algorithm) {
  return dynamic_cast<KNNAlgorithm&>(algorithm).GetStopControl().stopRequested.load();
}

// How often a full build of c asks the interrupt check.
long QuestionsOfABuild(const BuildCase& c) {
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  if (algorithm == nullptr) return -1;
  ArmedInterruptCheck counter;
  algorithm->SetInterruptCheck(&counter);
  FaultyDataSource source(c.rows);
  if (!algorithm->Build(source).IsOK()) return -1;
  return counter.Calls();
}

class BuildInterruptSweep : public ::testing::TestWithParam<const char*> {
 protected:
  BuildCase Case() const {
    return std::string(GetParam()) == "selection"
               ? reltest::SelectionCase(scratch.Path() + "/")
               : reltest::CrossValidationCase(scratch.Path() + "/");
  }
  reltest::ScratchFolder scratch;
};

// Every N from the first question to the last of a complete build: the build stops with 1,
// the flag stays set, nothing is built or written, no file appears.
TEST_P(BuildInterruptSweep, StopAtEveryQuestionEndsTheBuildCleanly) {
  const BuildCase c = Case();
  const long questions = QuestionsOfABuild(c);
  ASSERT_GT(questions, static_cast<long>(c.rows.size())) << "the build asks beyond the data pass";
  RecordProperty("questions", std::to_string(questions));
  for (long n = 1; n <= questions; ++n) {
    SCOPED_TRACE("yes on question " + std::to_string(n) + " of " + std::to_string(questions));
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    ArmedInterruptCheck check(n);
    algorithm->SetInterruptCheck(&check);
    FaultyDataSource source(c.rows);
    const VelCommon::VelStatus status = algorithm->Build(source);
    EXPECT_EQ(status.GetErrorCode(), KNNStatus::kInterrupted);
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(check.Calls(), n) << "the component went on asking after the yes";
    EXPECT_TRUE(StopFlagSet(*algorithm));
    EXPECT_FALSE(algorithm->IsBuilt());
    // A stopped algorithm stays stopped: no second build, no document.
    EXPECT_EQ(algorithm->Build(source).GetErrorCode(), KNNStatus::kInterrupted);
    std::ostringstream out;
    EXPECT_EQ(algorithm->WritePMML(out, nullptr).GetErrorCode(), KNNStatus::kNotBuilt);
    EXPECT_TRUE(out.str().empty());
    EXPECT_TRUE(scratch.Entries().empty());
    if (HasFailure()) break;  // one failing N tells the story
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, BuildInterruptSweep, ::testing::Values("selection", "vfold"));

// ---------------------------------------------------------------------------------------
// Interrupt from another thread

// The data pass waits at a chosen record until the other thread's Interrupt has returned, so
// the stop lands while the build runs, not before or after it.
TEST(InterruptFromAnotherThread, StopsTheDataPass) {
  const BuildCase c = reltest::SelectionCase("", 400);
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  std::atomic<bool> reached{false};
  std::atomic<bool> interrupted{false};
  FaultyDataSource source(c.rows);
  source.beforeRecord = [&](int index) {
    if (index != 100) return;
    reached = true;
    while (!interrupted) std::this_thread::yield();
  };
  std::thread other([&] {
    while (!reached) std::this_thread::yield();
    algorithm->Interrupt();
    interrupted = true;
  });
  const VelCommon::VelStatus status = algorithm->Build(source);
  other.join();
  EXPECT_EQ(status.GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_LE(source.delivered, 102) << "the data pass read on after the stop";
  EXPECT_FALSE(algorithm->IsBuilt());
}

// An interrupt check that, at its blockOn-th question, waits until another thread has
// called Interrupt and then answers no: the stop must come through the flag alone.
class BlockingCheck : public IVelInterruptCheck {
 public:
  explicit BlockingCheck(long blockOn) : blockOn_(blockOn) {}
  bool IsInterrupted() override {
    if (++calls == blockOn_) {
      reached = true;
      while (!interrupted) std::this_thread::yield();
    }
    return false;
  }
  void Release() {
    reached = true;
    interrupted = true;
  }
  std::atomic<long> calls{0};
  std::atomic<bool> reached{false};
  std::atomic<bool> interrupted{false};

 private:
  long blockOn_;
};

void InterruptWhenReached(IVelAlgorithm& algorithm, BlockingCheck& check) {
  while (!check.reached) std::this_thread::yield();
  algorithm.Interrupt();
  check.interrupted = true;
}

// The stop lands in the middle of K and feature selection (the data pass asks 60 times).
TEST(InterruptFromAnotherThread, StopsModelSelection) {
  const BuildCase c = reltest::SelectionCase("", 60);
  const long questions = QuestionsOfABuild(c);
  ASSERT_GT(questions, 200);
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  BlockingCheck check(200);
  algorithm->SetInterruptCheck(&check);
  std::thread other([&] { InterruptWhenReached(*algorithm, check); });
  FaultyDataSource source(c.rows);
  const VelCommon::VelStatus status = algorithm->Build(source);
  check.Release();  // in case the question never came
  other.join();
  EXPECT_EQ(status.GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(check.calls, 200) << "the flag was not read at the next question";
  EXPECT_FALSE(algorithm->IsBuilt());
}

// The same while a document is written, at each of a spread of questions of the write.
TEST(InterruptFromAnotherThread, StopsTheDocumentWrite) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const BuildCase c = reltest::SelectionCase("", 30);
  for (long blockOn : {1L, 10L, 31L, 45L}) {
    SCOPED_TRACE("blocked at question " + std::to_string(blockOn));
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    ASSERT_TRUE(algorithm->Build(source).IsOK());
    BlockingCheck check(blockOn);
    algorithm->SetInterruptCheck(&check);
    std::thread other([&] { InterruptWhenReached(*algorithm, check); });
    std::ostringstream out;
    const VelCommon::VelStatus status = algorithm->WritePMML(out, nullptr);
    check.Release();
    other.join();
    EXPECT_TRUE(status.GetErrorCode() == KNNStatus::kInterrupted ||
                status.GetErrorCode() == KNNStatus::kScoringTablesFailed)
        << status.GetErrorCode();
    EXPECT_EQ(check.calls, blockOn);
    EXPECT_TRUE(out.str().empty());
    EXPECT_TRUE(scratch.Entries().empty());
  }
}

// Interrupt hammered from another thread while builds run: whatever the timing, a build ends
// OK or stopped, and once the flag is seen it stays.
TEST(InterruptFromAnotherThread, RacingInterruptNeverCorruptsTheOutcome) {
  const BuildCase c = reltest::SelectionCase("", 40);
  for (int delayMicros : {0, 50, 200, 1000, 5000}) {
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(delayMicros));
      algorithm->Interrupt();
    });
    const VelCommon::VelStatus status = algorithm->Build(source);
    other.join();
    EXPECT_TRUE(status.IsOK() || status.GetErrorCode() == KNNStatus::kInterrupted)
        << status.GetErrorCode();
    EXPECT_EQ(algorithm->IsBuilt(), status.IsOK());
    EXPECT_TRUE(StopFlagSet(*algorithm));
  }
}

// ---------------------------------------------------------------------------------------
// Data sources that misbehave

struct SourceFault {
  const char* name;
  int rewindsAllowed;
  int stopAfter;
  long expected;
  int expectedRewinds;
};

void PrintTo(const SourceFault& fault, std::ostream* os) {
  *os << fault.name;
}

class DataSourceFaultTest : public ::testing::TestWithParam<SourceFault> {};

TEST_P(DataSourceFaultTest, EndsInItsStatus) {
  const SourceFault& fault = GetParam();
  const BuildCase c = reltest::SelectionCase("");
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  FaultyDataSource source(c.rows);
  source.rewindsAllowed = fault.rewindsAllowed;
  source.stopAfter = fault.stopAfter;
  const VelCommon::VelStatus status = algorithm->Build(source);
  EXPECT_EQ(status.GetErrorCode(), fault.expected);
  EXPECT_TRUE(status.IsError());
  EXPECT_FALSE(algorithm->IsBuilt());
  EXPECT_EQ(source.rewindCalls, fault.expectedRewinds);
  // The failure sticks: a later build does not touch the source again.
  EXPECT_EQ(algorithm->Build(source).GetErrorCode(), fault.expected);
  EXPECT_EQ(source.rewindCalls, fault.expectedRewinds);
  std::vector<std::vector<double>> results;
  VelCommon::Record record(c.rows.front());
  EXPECT_EQ(algorithm->ScoreRecord(&record, nullptr, &results).GetErrorCode(),
            KNNStatus::kNotBuilt);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DataSourceFaultTest,
    ::testing::Values(SourceFault{"RewindRefused", 0, -1, KNNStatus::kNoData, 1},
                      SourceFault{"SecondRewindRefused", 1, -1, KNNStatus::kNoData, 2},
                      SourceFault{"NoRecord", -1, 0, KNNStatus::kNoData, 2},
                      SourceFault{"OneRecord", -1, 1, KNNStatus::kSingleCase, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// A source that stops early but leaves enough cases still builds, from exactly those cases.
TEST(DataSourceStopsEarly, BuildsFromTheRecordsItDelivered) {
  const BuildCase c = reltest::SelectionCase("");
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  FaultyDataSource source(c.rows);
  source.stopAfter = 8;
  ASSERT_TRUE(algorithm->Build(source).IsOK());
  EXPECT_EQ(dynamic_cast<KNNAlgorithm&>(*algorithm).GetDataPreparation()->caseCount, 8);
}

// A first record one value short is refused before anything is stored.
TEST(DataSourceWrongWidth, FirstRecordOfTheWrongWidthIsRefused) {
  BuildCase c = reltest::SelectionCase("");
  c.rows.front().pop_back();
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  FaultyDataSource source(c.rows);
  EXPECT_EQ(algorithm->Build(source).GetErrorCode(), KNNStatus::kNoData);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------------------
// Values at the edge of double: rescaling over a range of 2e308 and squared differences of
// 1e308 overflow. The component must answer with a status (no neighbour 200064, no squared
// error 200059 and their selection forms, 200063 while writing), never a NaN or infinity in
// its results or its document, and never a crash.

struct ExtremeCase {
  const char* name;
  bool rescale;
  bool kSelection;
};

void PrintTo(const ExtremeCase& e, std::ostream* os) {
  *os << e.name;
}

class ExtremeValuesTest : public ::testing::TestWithParam<ExtremeCase> {};

bool IsOverflowStatus(long code) {
  return code == KNNStatus::kNoNeighbor || code == KNNStatus::kSquaredErrorFailed ||
         code == KNNStatus::kKSelectionError || code == KNNStatus::kFeatureSelectionError ||
         code == KNNStatus::kKAndFeatureSelectionError || code == KNNStatus::kConstantPredictor;
}

TEST_P(ExtremeValuesTest, AnswersWithAStatusNeverANonFiniteValue) {
  const ExtremeCase& e = GetParam();
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  knntest::SettingsDoc doc;
  doc.Continuous("id", 1.0, 100.0)
      .Categorical("focal", {"0", "1"}, /*numeric=*/true)
      .Continuous("x1", -1e308, 1e308)
      .Continuous("x2", 0.0, 10.0)
      .Categorical("c1", {"a", "b", "c"})
      .Categorical("y", {"yes", "no"})
      .Continuous("z", -1e308, 1e308)
      .Categorical("fold", {"0", "1"}, /*numeric=*/true)
      .Targets({"y", "z"})
      .Inputs({"x1", "x2", "c1"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal")
      .Flag("RescaleMethod", e.rescale)
      .Param("TempFileDir", "");
  if (e.kSelection) {
    doc.Flag("IsAutoKSelection", true).Param("MinK", 1).Param("MaxK", 2);
    doc.Param("VFoldVar", "fold").Param("VFoldValue", 2);
  } else {
    doc.Param("SpecifiedK", 2);
  }
  const double big = 1e308;
  std::vector<std::vector<double>> rows;
  const double xs[] = {big, -big, big, -big, 0.0, 1e307, -1e307, big};
  for (int i = 0; i < 8; ++i) {
    // id, focal, x1, x2, c1, y, z, fold
    rows.push_back({double(i + 1), 0.0, xs[i], double(i % 5), double(i % 3), double(i % 2),
                    i % 2 == 0 ? big : -big, double(i % 2)});
  }
  auto algorithm = reltest::CreateAlgorithm(doc.Xml());
  ASSERT_NE(algorithm, nullptr);
  FaultyDataSource source(rows);
  const VelCommon::VelStatus built = algorithm->Build(source);
  if (built.IsError()) {
    EXPECT_TRUE(IsOverflowStatus(built.GetErrorCode())) << built.GetErrorCode();
    return;
  }
  std::ostringstream out;
  const VelCommon::VelStatus written = algorithm->WritePMML(out, nullptr);
  if (written.IsError()) {
    EXPECT_EQ(written.GetErrorCode(), KNNStatus::kScoringTablesFailed);
    EXPECT_TRUE(out.str().empty());
  } else {
    for (const char* bad : {"\"inf\"", "\"-inf\"", "\"nan\"", "\"-nan\"", ">inf<", ">nan<"}) {
      EXPECT_EQ(out.str().find(bad), std::string::npos) << bad;
    }
  }
  EXPECT_TRUE(scratch.Entries().empty());
  for (const auto& row : rows) {
    VelCommon::Record record(row);
    std::vector<std::vector<double>> results;
    const VelCommon::VelStatus scored = algorithm->ScoreRecord(&record, nullptr, &results);
    if (scored.IsError()) {
      EXPECT_TRUE(scored.GetErrorCode() == KNNStatus::kNoNeighbor ||
                  scored.GetErrorCode() == KNNStatus::kBadScoreRecord)
          << scored.GetErrorCode();
      continue;
    }
    for (const auto& perTarget : results) {
      for (double value : perTarget) EXPECT_TRUE(std::isfinite(value)) << value;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Values, ExtremeValuesTest,
                         ::testing::Values(ExtremeCase{"Rescaled", true, false},
                                           ExtremeCase{"Unscaled", false, false},
                                           ExtremeCase{"RescaledKSelection", true, true},
                                           ExtremeCase{"UnscaledKSelection", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
