// Faults while the model document is written: temporary files that stop growing at every
// size, a host stream that fails part way, and a temporary folder that cannot hold files. The
// document is all or nothing, and no temporary file outlives the write.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

#include "boundary/status_codes.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

using reltest::BuildCase;

// Temporary files go to the system folder (scratch here), whose names never wait for the
// clock, unless a test names a folder.
class WriteFaultTest : public ::testing::Test {
 protected:
  static std::unique_ptr<IVelAlgorithm> Built(const BuildCase& c) {
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    if (algorithm == nullptr) return nullptr;
    reltest::FaultyDataSource source(c.rows);
    return algorithm->Build(source).IsOK() ? std::move(algorithm) : nullptr;
  }
  static std::string Document(IVelAlgorithm& algorithm) {
    std::ostringstream out;
    EXPECT_TRUE(algorithm.WritePMML(out, nullptr).IsOK());
    return out.str();
  }

  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};
};

// The process may write files only up to a size limit (RLIMIT_FSIZE, with SIGXFSZ ignored),
// so the temporary files fail after that many bytes. Each limit runs in a child process so
// the limit stays there. The write must fail with 200056 and write nothing, or, when every
// temporary file fits, give exactly the clean document.
TEST_F(WriteFaultTest, TemporaryFilesThatFailAfterAnySizeGiveAllOrNothing) {
  auto algorithm = Built(reltest::SelectionCase("", 30));
  ASSERT_NE(algorithm, nullptr);
  const std::string clean = Document(*algorithm);
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

// The host's stream failing part way is the host's business (the component ignores the
// outcome of the final write), but it must not crash or leave files, and the model must stay
// usable: a later write to a good stream gives the full document.
TEST_F(WriteFaultTest, HostStreamThatFailsAfterNBytes) {
  auto algorithm = Built(reltest::SelectionCase(""));
  ASSERT_NE(algorithm, nullptr);
  const std::string clean = Document(*algorithm);
  for (size_t limit : {size_t{0}, size_t{1}, size_t{100}, clean.size() / 2, clean.size() - 1}) {
    SCOPED_TRACE("stream fails after " + std::to_string(limit) + " bytes");
    reltest::FailingStreamBuf buffer(limit);
    std::ostream out(&buffer);
    EXPECT_FALSE(algorithm->WritePMML(out, nullptr).IsError());
    EXPECT_EQ(buffer.Written(), clean.substr(0, limit));
    EXPECT_TRUE(scratch.Entries().empty());
  }
  EXPECT_EQ(Document(*algorithm), clean);
}

// A temporary folder reached through a regular file cannot hold files: 200057, no output,
// and the file in the way is left as it was. The file's name as a plain prefix is valid.
TEST_F(WriteFaultTest, TemporaryFolderThroughARegularFile) {
  const std::string blocker = scratch.Path() + "/plain-file";
  knntest::WriteFile(blocker, "not a folder");
  for (const std::string& dir : {blocker + "/", blocker + "/sub/", blocker}) {
    SCOPED_TRACE(dir);
    auto algorithm = Built(reltest::SelectionCase(dir));
    ASSERT_NE(algorithm, nullptr);
    std::ostringstream out;
    const long code = algorithm->WritePMML(out, nullptr).GetErrorCode();
    EXPECT_EQ(code, dir == blocker ? 0L : long{KNNStatus::kTempFileFailed});
    EXPECT_EQ(out.str().empty(), code != 0);
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"plain-file"});
    EXPECT_EQ(knntest::ReadFile(blocker), "not a folder");
  }
}

}  // namespace
