// Faults around a build and a write: a stop requested at every point where the component
// asks, by its answer or from another thread, data sources that refuse to rewind or run dry,
// temporary files that stop growing at any size and a temporary folder that cannot hold files.
// Each must end in its status with nothing half-done left behind: the document is all or
// nothing, and no temporary file outlives the write. Then defects found in scoring records.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
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

// Answers the component's questions, counting them while armed, and stops the operation at
// question stopOn (0: never): by answering yes (and yes from then on), or, fromThread, by
// having another thread call Interrupt while that question waits and then answering no, so
// that the stop must come through the flag alone.
struct StopAt : IVelInterruptCheck {
  StopAt(IVelAlgorithm& algorithm, long stopOn, bool fromThread)
      : algorithm(algorithm), stopOn(stopOn), fromThread(fromThread) {}
  bool IsInterrupted() override {
    if (!armed || (++calls < stopOn || stopOn == 0)) return false;
    if (fromThread && calls == stopOn) std::thread([this] { algorithm.Interrupt(); }).join();
    return !fromThread;
  }
  IVelAlgorithm& algorithm;
  long stopOn;
  bool fromThread, armed = false;
  long calls = 0;
};

struct Outcome {  // rebuilt, rewritten: a second build and a document after a stopped build
  long code, calls, rebuilt = 0, rewritten = 0;
  bool stopFlag, built;
  int delivered;
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
  o.stopFlag = dynamic_cast<KNNAlgorithm&>(*algorithm).GetStopControl().stopRequested.load();
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
      ASSERT_TRUE(!write || knntest::UntoleratedIssues(clean.document).empty());
      const long questions = clean.calls;
      ASSERT_GT(questions, static_cast<long>(c.rows.size())) << "it asks beyond the data";
      RecordProperty(std::string(write ? "write" : "build") + (vfold ? "_vfold" : "_selection"),
                     std::to_string(questions));
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
  for (const int allowed : {0, 1, -1}) {  // -1: rewinds work, the data end after 8 cases
    SCOPED_TRACE(allowed);
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    if (allowed < 0) {
      source.stopAfter = 8;
      ASSERT_TRUE(algorithm->Build(source).IsOK());
      EXPECT_EQ(dynamic_cast<KNNAlgorithm&>(*algorithm).GetDataPreparation()->caseCount, 8);
      continue;
    }
    source.rewindsAllowed = allowed;
    for (int build = 0; build < 2; ++build) {
      EXPECT_EQ(algorithm->Build(source).GetErrorCode(), KNNStatus::kNoData);
      EXPECT_EQ(source.rewindCalls, allowed + 1);
    }
    EXPECT_FALSE(algorithm->IsBuilt());
    std::vector<std::vector<double>> results;
    VelCommon::Record record(c.rows.back());
    EXPECT_EQ(algorithm->ScoreRecord(&record, nullptr, &results).GetErrorCode(),
              KNNStatus::kNotBuilt);
  }
}

std::unique_ptr<IVelAlgorithm> Built(const reltest::BuildCase& c) {
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  reltest::FaultyDataSource source(c.rows);
  return algorithm != nullptr && algorithm->Build(source).IsOK() ? std::move(algorithm) : nullptr;
}

// The process may write files only up to a size limit (RLIMIT_FSIZE, SIGXFSZ ignored), set in a
// child process per limit, so the temporary files (in the system folder, scratch here) fail
// after that many bytes. The write must fail with 200056 and write nothing, or, when every
// temporary file fits, give exactly the clean document.
TEST(WriteFault, TemporaryFilesThatFailAfterAnySizeGiveAllOrNothing) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  auto algorithm = Built(reltest::SelectionCase("", 30));
  ASSERT_NE(algorithm, nullptr);
  std::ostringstream cleanOut;
  ASSERT_TRUE(algorithm->WritePMML(cleanOut, nullptr).IsOK());
  const std::string clean = cleanOut.str();
  int failures = 0;
  for (rlim_t limit = 0; limit <= clean.size() + 4096;
       limit = limit < 64 ? limit + 16 : limit * 3 / 2) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit rl{limit, limit};
      setrlimit(RLIMIT_FSIZE, &rl);
      std::ostringstream out;
      const VelCommon::VelStatus status = algorithm->WritePMML(out, nullptr);
      if (status.GetErrorCode() == KNNStatus::kStreamFailed && out.str().empty()) _exit(0);
      _exit(status.IsOK() && out.str() == clean ? 1 : 2);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFEXITED(wstatus)) << "the write crashed";
    EXPECT_NE(WEXITSTATUS(wstatus), 2) << "neither 200056 with no output nor the clean document";
    failures += WEXITSTATUS(wstatus) == 0;
    EXPECT_TRUE(scratch.Entries().empty());
    if (HasFailure()) return;
  }
  EXPECT_GT(failures, 0) << "no limit was small enough to fail a temporary file";
}

// A temporary folder reached through a regular file cannot hold files: 200057, no output, and
// the file in the way is left as it was.
TEST(WriteFault, TemporaryFolderThroughARegularFileGives200057) {
  reltest::ScratchFolder scratch;
  const std::string blocker = scratch.File("plain-file");
  knntest::WriteFile(blocker, "not a folder");
  auto algorithm = Built(reltest::SelectionCase(blocker + "/"));
  ASSERT_NE(algorithm, nullptr);
  std::ostringstream out;
  EXPECT_EQ(algorithm->WritePMML(out, nullptr).GetErrorCode(), KNNStatus::kTempFileFailed);
  EXPECT_TRUE(out.str().empty());
  EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"plain-file"});
  EXPECT_EQ(knntest::ReadFile(blocker), "not a folder");
}

// A case identifier beyond the int range was converted to int directly when a record was
// scored: undefined behaviour (the sanitizer build stops on it). It must come out as the
// scoring tables write it, INT_MIN, which no valid identifier equals.
TEST(KNNModelScoring, Regression_CaseIdOutsideTheIntRangeWasConvertedUndefined) {
  knntest::SettingsDoc doc;
  doc.Continuous("id", -1e308, 1e308).Categorical("focal", {"0", "1"}, /*numeric=*/true);
  doc.Continuous("x", 0.0, 10.0).Categorical("y", {"a", "b"}).Target("y").Input("x");
  doc.Param("CaseIDVar", "id").Param("FocalVar", "focal").Param("SpecifiedK", 3);
  // id, focal, x, y
  const std::vector<std::vector<double>> rows = {
      {-1e308, 0, 1.0, 0}, {1e12, 0, 2.0, 0}, {3, 0, 8.0, 1}, {4, 0, 9.0, 1}, {-5.7, 0, 1.5, 0}};
  auto algorithm = Built({doc.Param("TempFileDir", "").Xml(), rows});
  ASSERT_NE(algorithm, nullptr);
  VelCommon::Record query(std::vector<double>{99, 0, 1.1, 0});
  std::vector<std::vector<double>> results;
  ASSERT_TRUE(algorithm->ScoreRecord(&query, nullptr, &results).IsOK());
  ASSERT_EQ(results.size(), 1u);
  ASSERT_GE(results[0].size(), 3u);
  // Neighbours by distance: x = 1.0, 1.5, 2.0; -5.7 truncated toward zero.
  EXPECT_EQ(std::vector<double>(results[0].begin(), results[0].begin() + 3),
            (std::vector<double>{INT_MIN, -5.0, INT_MIN}));
}

}  // namespace
