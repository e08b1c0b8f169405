// Faults while the model document is written: a stop at every point where the writer asks,
// temporary files that stop growing at every size, a host stream that fails part way, and a
// temporary folder that cannot hold files. The document is all or nothing, and no temporary
// file outlives the write.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <ostream>
#include <sstream>
#include <utility>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

using reltest::ArmedInterruptCheck;
using reltest::BuildCase;
using reltest::FaultyDataSource;

class WriteFaultTest : public ::testing::Test {
 protected:
  // A built algorithm over c whose interrupt check is installed but not yet armed.
  std::unique_ptr<IVelAlgorithm> Built(const BuildCase& c, ArmedInterruptCheck* check = nullptr) {
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    if (algorithm == nullptr) return nullptr;
    if (check != nullptr) algorithm->SetInterruptCheck(check);
    FaultyDataSource source(c.rows);
    if (!algorithm->Build(source).IsOK()) return nullptr;
    return algorithm;
  }
  // A folder named in the settings; its temporary file names are drawn from the clock's
  // second, so several files in one write take a second each.
  std::string TempDir() const { return scratch.Path() + "/"; }
  // No folder in the settings: the system temporary folder, which is scratch here, and
  // names that never wait.
  static std::string SystemTempDir() { return std::string(); }

  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};
};

// The complete document of c, written without any fault.
std::string CleanDocument(IVelAlgorithm& algorithm) {
  std::ostringstream out;
  EXPECT_TRUE(algorithm.WritePMML(out, nullptr).IsOK());
  return out.str();
}

TEST_F(WriteFaultTest, StopAtEveryQuestionOfTheWriteLeavesNothing) {
  const std::pair<const char*, BuildCase> cases[] = {
      {"selection", reltest::SelectionCase(SystemTempDir())},
      {"vfold", reltest::CrossValidationCase(SystemTempDir())}};
  for (const auto& [name, c] : cases) {
    SCOPED_TRACE(name);
    ArmedInterruptCheck counter(0, /*armed=*/false);
    auto reference = Built(c, &counter);
    ASSERT_NE(reference, nullptr);
    counter.Arm();
    const std::string clean = CleanDocument(*reference);
    ASSERT_TRUE(knntest::UntoleratedIssues(clean).empty());
    const long questions = counter.Calls();
    ASSERT_GE(questions, 2 * static_cast<long>(c.rows.size()));
    RecordProperty(std::string("questions-") + name, std::to_string(questions));

    for (long n = 1; n <= questions; ++n) {
      SCOPED_TRACE("yes on question " + std::to_string(n) + " of " + std::to_string(questions));
      ArmedInterruptCheck check(n, /*armed=*/false);
      auto algorithm = Built(c, &check);
      ASSERT_NE(algorithm, nullptr);
      check.Arm();
      std::ostringstream out;
      const VelCommon::VelStatus status = algorithm->WritePMML(out, nullptr);
      // A stop inside the scoring pass is reported as the scoring tables' failure.
      EXPECT_TRUE(status.GetErrorCode() == KNNStatus::kInterrupted ||
                  status.GetErrorCode() == KNNStatus::kScoringTablesFailed)
          << status.GetErrorCode();
      EXPECT_TRUE(status.IsError());
      EXPECT_EQ(check.Calls(), n) << "the writer went on asking after the yes";
      EXPECT_TRUE(dynamic_cast<KNNAlgorithm&>(*algorithm).GetStopControl().stopRequested.load());
      EXPECT_TRUE(out.str().empty());
      EXPECT_TRUE(scratch.Entries().empty());
      // The model itself is untouched by a failed write.
      EXPECT_TRUE(algorithm->IsBuilt());
      if (HasFailure()) return;
    }
  }
}

// The process may write files only up to a size limit (RLIMIT_FSIZE, with SIGXFSZ ignored),
// so the temporary files fail after that many bytes. Each limit runs in a child process so
// the limit stays there. The write must fail with 200056 and write nothing, or, when every
// temporary file fits, give exactly the clean document.
TEST_F(WriteFaultTest, TemporaryFilesThatFailAfterAnySizeGiveAllOrNothing) {
  const BuildCase c = reltest::SelectionCase(SystemTempDir(), 30);
  auto algorithm = Built(c);
  ASSERT_NE(algorithm, nullptr);
  const std::string clean = CleanDocument(*algorithm);
  ASSERT_FALSE(clean.empty());
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
      int code = 3;
      if (status.GetErrorCode() == KNNStatus::kStreamFailed && out.str().empty()) code = 0;
      if (status.IsOK() && out.str() == clean) code = 1;
      if (status.IsOK() && out.str() != clean) code = 2;
      _exit(code);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFEXITED(wstatus)) << "the write crashed";
    const int code = WEXITSTATUS(wstatus);
    EXPECT_NE(code, 2) << "a document was written with rows missing";
    EXPECT_NE(code, 3) << "neither 200056 with no output nor the clean document";
    if (code == 0) ++failures;
    EXPECT_TRUE(scratch.Entries().empty());
    if (HasFailure()) return;
  }
  EXPECT_GT(failures, 0) << "no limit was small enough to fail a temporary file";
}

// The host's stream failing part way is the host's business (the component ignores the
// outcome of the final write), but it must not crash or leave files, and the model must stay
// usable: a later write to a good stream gives the full document.
TEST_F(WriteFaultTest, HostStreamThatFailsAfterNBytes) {
  const BuildCase c = reltest::SelectionCase(SystemTempDir());
  auto algorithm = Built(c);
  ASSERT_NE(algorithm, nullptr);
  const std::string clean = CleanDocument(*algorithm);
  for (size_t limit : {size_t{0}, size_t{1}, size_t{100}, clean.size() / 2, clean.size() - 1}) {
    SCOPED_TRACE("stream fails after " + std::to_string(limit) + " bytes");
    reltest::FailingStreamBuf buffer(limit);
    std::ostream out(&buffer);
    const VelCommon::VelStatus status = algorithm->WritePMML(out, nullptr);
    EXPECT_FALSE(status.IsError()) << status.GetErrorCode();
    EXPECT_EQ(buffer.Written(), clean.substr(0, limit));
    EXPECT_TRUE(scratch.Entries().empty());
  }
  EXPECT_EQ(CleanDocument(*algorithm), clean);
}

// A temporary folder reached through a regular file cannot hold files: 200057, no output,
// and the file in the way is left as it was.
TEST_F(WriteFaultTest, TemporaryFolderThroughARegularFile) {
  const std::string blocker = scratch.Path() + "/plain-file";
  knntest::WriteFile(blocker, "not a folder");
  for (const std::string& dir : {blocker + "/", blocker + "/sub/", blocker}) {
    SCOPED_TRACE(dir);
    const BuildCase c = reltest::SelectionCase(dir);
    auto algorithm = Built(c);
    ASSERT_NE(algorithm, nullptr);
    std::ostringstream out;
    const VelCommon::VelStatus status = algorithm->WritePMML(out, nullptr);
    if (dir == blocker) {
      // A plain prefix next to the file is a valid place.
      EXPECT_TRUE(status.IsOK()) << status.GetErrorCode();
    } else {
      EXPECT_EQ(status.GetErrorCode(), KNNStatus::kTempFileFailed);
      EXPECT_TRUE(out.str().empty());
    }
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"plain-file"});
    EXPECT_EQ(knntest::ReadFile(blocker), "not a folder");
  }
}

}  // namespace
