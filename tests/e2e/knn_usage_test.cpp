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

TEST(KnnUsageTest, UsageErrorsAndUnreadableFilesExitWithTwoAndOneLine) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"frobnicate"}, "knn: "},
      {{"build", "only-settings.xml"}, "knn: "},
      {{"score", "s.xml", "t.csv"}, "knn: "},
      {{"infer"}, "knn: "},
      {{"build", "s.xml", "t.csv", "--nonsense"}, "--nonsense"},
      {{"demo", "extra"}, "knn: "},
      {{"build", "/nonexistent-knn/absent.xml", "absent.csv"}, "absent.xml"},
      {{"infer", "/nonexistent-knn/absent.csv"}, "absent.csv"},
  };
  for (const auto& [args, mention] : cases) {
    const auto result = RunKnn(args);
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_EQ(clitest::Lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("knn: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(mention), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
  EXPECT_EQ(RunKnn({}).exitCode, 2);
}

}  // namespace
