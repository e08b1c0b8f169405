// The knn program's usage surface: help, version, unknown commands and missing arguments.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::RunKnn;

TEST(KnnUsageTest, VersionAndHelp) {
  const auto version = RunKnn({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("knn ", 0), 0u) << version.out;

  const auto help = RunKnn({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"build", "score", "infer", "demo"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
    const auto commandHelp = RunKnn({command, "--help"});
    EXPECT_EQ(commandHelp.exitCode, 0) << command;
    EXPECT_EQ(commandHelp.out.rfind(std::string("usage: knn ") + command, 0), 0u)
        << commandHelp.out;
    EXPECT_TRUE(commandHelp.err.empty()) << commandHelp.err;
  }
}

TEST(KnnUsageTest, UsageErrorsExitWithTwoAndOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"frobnicate"},
      {"build", "only-settings.xml"},
      {"score", "s.xml", "t.csv"},
      {"infer"},
      {"build", "s.xml", "t.csv", "--nonsense"},
      {"demo", "extra"},
  };
  for (const auto& args : cases) {
    const auto result = RunKnn(args);
    EXPECT_EQ(result.exitCode, 2) << args[0];
    EXPECT_EQ(clitest::Lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("knn: ", 0), 0u) << result.err;
  }
  EXPECT_EQ(RunKnn({}).exitCode, 2);
}

TEST(KnnUsageTest, UnreadableFilesExitWithTwo) {
  clitest::TempDir dir;
  const auto build = RunKnn({"build", dir.File("absent.xml"), dir.File("absent.csv")}, dir.Path());
  EXPECT_EQ(build.exitCode, 2);
  EXPECT_NE(build.err.find("absent.xml"), std::string::npos) << build.err;
  const auto infer = RunKnn({"infer", dir.File("absent.csv")}, dir.Path());
  EXPECT_EQ(infer.exitCode, 2);
  EXPECT_NE(infer.err.find("absent.csv"), std::string::npos) << infer.err;
  EXPECT_TRUE(infer.out.empty());
}

}  // namespace
