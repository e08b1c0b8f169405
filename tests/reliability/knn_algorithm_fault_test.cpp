// Faults around a build and a write: a stop requested at every point where the component
// asks, by its answer or from another thread, data sources that refuse to rewind or run dry, and
// values at the edge of double. Each must end in its status with nothing half-done left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <thread>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

using reltest::BuildCase;
using reltest::FaultyDataSource;

bool StopFlagSet(IVelAlgorithm& algorithm) {
  return dynamic_cast<KNNAlgorithm&>(algorithm).GetStopControl().stopRequested.load();
}

// Answers the component's questions, counting them while armed, and stops the operation at
// question stopOn (0: never): by answering yes (and yes from then on), or, fromThread, by
// having another thread call Interrupt while that question waits and then answering no, so
// that the stop must come through the flag alone.
class StopAt : public IVelInterruptCheck {
 public:
  StopAt(IVelAlgorithm& algorithm, long stopOn, bool fromThread)
      : stopOn_(stopOn), fromThread_(fromThread) {
    if (!fromThread) return;
    other_ = std::thread([this, &algorithm] {
      while (!reached_) std::this_thread::yield();
      algorithm.Interrupt();
      interrupted_ = true;
    });
  }
  ~StopAt() override {
    reached_ = true;  // in case the question never came
    if (other_.joinable()) other_.join();
  }
  bool IsInterrupted() override {
    if (!armed) return false;
    if (++calls < stopOn_ || stopOn_ == 0) return false;
    if (!fromThread_) return true;
    if (calls == stopOn_) {
      reached_ = true;
      while (!interrupted_) std::this_thread::yield();
    }
    return false;
  }
  bool armed = false;
  long calls = 0;

 private:
  long stopOn_;
  bool fromThread_;
  std::atomic<bool> reached_{false};
  std::atomic<bool> interrupted_{false};
  std::thread other_;
};

struct Outcome {
  long code, calls;
  bool stopFlag, built;
  int delivered;
  long rebuilt = 0, rewritten = 0;  // a stopped build: a second build, a document
  std::string document;
};

// A build of c, then, when write, a document write; the check is armed for the operation
// under test only.
Outcome RunStopped(const BuildCase& c, bool write, long stopOn, bool fromThread) {
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  StopAt check(*algorithm, stopOn, fromThread);
  algorithm->SetInterruptCheck(&check);
  check.armed = !write;
  FaultyDataSource source(c.rows);
  Outcome o;
  o.code = algorithm->Build(source).GetErrorCode();
  check.armed = true;
  std::ostringstream out;
  if (write && o.code == 0) o.code = algorithm->WritePMML(out, nullptr).GetErrorCode();
  o.calls = check.calls;
  o.stopFlag = StopFlagSet(*algorithm);
  o.built = algorithm->IsBuilt();
  o.delivered = source.delivered;
  if (!write && o.code != 0) {
    o.rebuilt = algorithm->Build(source).GetErrorCode();
    o.rewritten = algorithm->WritePMML(out, nullptr).GetErrorCode();
  }
  o.document = out.str();
  return o;
}

// A stop at every question (every N from the first to the last) of a complete build, and of
// a document write from a built model, answered by the check or sent from another thread:
// the operation ends with its stop status at the next question, the flag stays set, nothing
// is written, no file appears. A stopped build leaves no model and stays stopped; a stopped
// write leaves the model as it was.
TEST(InterruptSweep, StopAtEveryQuestionEndsCleanly) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  for (const bool write : {false, true}) {
    for (const bool vfold : {false, true}) {
      SCOPED_TRACE(std::string(write ? "write" : "build") + (vfold ? ", vfold" : ", selection"));
      const BuildCase c = vfold ? reltest::CrossValidationCase("") : reltest::SelectionCase("");
      const Outcome clean = RunStopped(c, write, 0, false);
      ASSERT_EQ(clean.code, 0);
      if (write) {
        ASSERT_TRUE(knntest::UntoleratedIssues(clean.document).empty());
      }
      const long questions = clean.calls;
      ASSERT_GT(questions, static_cast<long>(c.rows.size())) << "it asks beyond the data";
      for (long n = 1; n <= questions; ++n) {
        for (const bool fromThread : {false, true}) {
          SCOPED_TRACE("stop at question " + std::to_string(n) + " of " +
                       std::to_string(questions) + (fromThread ? " from another thread" : ""));
          const Outcome o = RunStopped(c, write, n, fromThread);
          if (fromThread && n == questions && o.code == 0) {
            // The flag is read at the next question, and the last one has none: the operation
            // may complete, and then completely.
            EXPECT_EQ(o.document, clean.document);
            continue;
          }
          // A stop inside the scoring pass of a write is reported as the scoring tables' failure.
          EXPECT_TRUE(o.code == KNNStatus::kInterrupted ||
                      (write && o.code == KNNStatus::kScoringTablesFailed))
              << o.code;
          EXPECT_EQ(o.calls, n) << "the component went on asking after the stop";
          EXPECT_TRUE(o.stopFlag);
          EXPECT_EQ(o.built, write);
          if (!write) {
            EXPECT_EQ(o.rebuilt, KNNStatus::kInterrupted);
            EXPECT_EQ(o.rewritten, KNNStatus::kNotBuilt);
            if (n < static_cast<long>(c.rows.size())) {
              EXPECT_LE(o.delivered, n + 2) << "the data pass read on after the stop";
            }
          }
          EXPECT_TRUE(o.document.empty());
          EXPECT_TRUE(scratch.Entries().empty());
          if (HasFailure()) return;  // one failing N tells the story
        }
      }
    }
  }
}

// A source that refuses its first or its second Rewind ends the build with 200001 (the data
// pass's own tests have the other data faults), and the failure sticks: a later build does not
// touch the source again and nothing can be scored. A source that stops early but leaves
// enough cases builds from exactly those.
TEST(DataSourceFault, RefusedRewindSticksAndAnEarlyEndBuildsFromWhatCame) {
  const BuildCase c = reltest::SelectionCase("");
  for (const int allowed : {0, 1}) {
    SCOPED_TRACE(std::to_string(allowed) + " rewinds allowed");
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    source.rewindsAllowed = allowed;
    EXPECT_EQ(algorithm->Build(source).GetErrorCode(), KNNStatus::kNoData);
    EXPECT_EQ(source.rewindCalls, allowed + 1);
    EXPECT_FALSE(algorithm->IsBuilt());
    EXPECT_EQ(algorithm->Build(source).GetErrorCode(), KNNStatus::kNoData);
    EXPECT_EQ(source.rewindCalls, allowed + 1);
    std::vector<std::vector<double>> results;
    VelCommon::Record record(c.rows.back());
    EXPECT_EQ(algorithm->ScoreRecord(&record, nullptr, &results).GetErrorCode(),
              KNNStatus::kNotBuilt);
  }
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  FaultyDataSource source(c.rows);
  source.stopAfter = 8;
  ASSERT_TRUE(algorithm->Build(source).IsOK());
  EXPECT_EQ(dynamic_cast<KNNAlgorithm&>(*algorithm).GetDataPreparation()->caseCount, 8);
}

// Values at the edge of double: rescaling over a range of 2e308 and squared differences of
// 1e308 overflow. The component must answer with a status (no neighbour 200064, no squared
// error 200059 and their selection forms, 200063 while writing), never with a NaN or infinity
// in its results or its document, and never crash.
TEST(ExtremeValues, AnswerWithAStatusNeverANonFiniteValue) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const double big = 1e308;
  const double xs[] = {big, -big, big, -big, 0.0, 1e307, -1e307, big};
  std::vector<std::vector<double>> rows;  // id, focal, x1, x2, c1, y, z, fold
  for (int i = 0; i < 8; ++i) {
    rows.push_back({double(i + 1), 0.0, xs[i], double(i % 5), double(i % 3), double(i % 2),
                    i % 2 == 0 ? big : -big, double(i % 2)});
  }
  for (const bool rescale : {true, false}) {
    SCOPED_TRACE(rescale ? "rescaled" : "unscaled");
    knntest::SettingsDoc doc;
    doc.Continuous("id", 1.0, 100.0)
        .Categorical("focal", {"0", "1"}, /*numeric=*/true)
        .Continuous("x1", -big, big)
        .Continuous("x2", 0.0, 10.0)
        .Categorical("c1", {"a", "b", "c"})
        .Categorical("y", {"yes", "no"})
        .Continuous("z", -big, big)
        .Categorical("fold", {"0", "1"}, /*numeric=*/true)
        .Targets({"y", "z"})
        .Inputs({"x1", "x2", "c1"})
        .Param("CaseIDVar", "id")
        .Param("FocalVar", "focal")
        .Flag("RescaleMethod", rescale)
        .Flag("IsAutoKSelection", true)
        .Param("MinK", 1)
        .Param("MaxK", 2)
        .Param("VFoldVar", "fold")
        .Param("VFoldValue", 2)
        .Param("TempFileDir", "");
    auto algorithm = reltest::CreateAlgorithm(doc.Xml());
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(rows);
    const long built = algorithm->Build(source).GetErrorCode();
    if (built != 0) {
      EXPECT_TRUE(built == KNNStatus::kNoNeighbor || built == KNNStatus::kSquaredErrorFailed ||
                  built == KNNStatus::kKSelectionError || built == KNNStatus::kConstantPredictor)
          << built;
      continue;
    }
    std::ostringstream out;
    const long written = algorithm->WritePMML(out, nullptr).GetErrorCode();
    EXPECT_TRUE(written == 0 || (written == KNNStatus::kScoringTablesFailed && out.str().empty()))
        << written;
    for (const char* bad : {"\"inf\"", "\"-inf\"", "\"nan\"", "\"-nan\"", ">inf<", ">nan<"}) {
      EXPECT_EQ(out.str().find(bad), std::string::npos) << bad;
    }
    EXPECT_TRUE(scratch.Entries().empty());
    for (const auto& row : rows) {
      VelCommon::Record record(row);
      std::vector<std::vector<double>> results;
      const long scored = algorithm->ScoreRecord(&record, nullptr, &results).GetErrorCode();
      if (scored != 0) {
        EXPECT_TRUE(scored == KNNStatus::kNoNeighbor || scored == KNNStatus::kBadScoreRecord)
            << scored;
        continue;
      }
      for (const auto& perTarget : results) {
        for (double value : perTarget) EXPECT_TRUE(std::isfinite(value)) << value;
      }
    }
  }
}

}  // namespace
