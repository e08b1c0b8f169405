// Argument parsing of the knn commands.
#include "command_line.h"

#include <gtest/gtest.h>

namespace knncli {
namespace {

TEST(CommandLineTest, BuildDefaultsAndOptions) {
  BuildArgs args;
  std::string error;
  ASSERT_EQ(ParseBuildArgs({"s.xml", "t.csv"}, args, error), ParseResult::kOk) << error;
  EXPECT_EQ(args.settings + " " + args.train + " " + args.output, "s.xml t.csv model.pmml");
  EXPECT_FALSE(args.utf8 || args.quiet);

  BuildArgs full;
  ASSERT_EQ(
      ParseBuildArgs({"--utf8", "s.xml", "-o", "m.pmml", "t.csv", "--display=d.txt", "--quiet"},
                     full, error),
      ParseResult::kOk)
      << error;
  EXPECT_EQ(full.settings + " " + full.train + " " + full.output + " " + full.display,
            "s.xml t.csv m.pmml d.txt");
  EXPECT_TRUE(full.utf8 && full.quiet);
}

TEST(CommandLineTest, UsageErrorsAndHelp) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"s.xml"}, "missing"},
      {{"s.xml", "t.csv", "extra"}, "too many"},
      {{"s.xml", "t.csv", "--bogus"}, "--bogus"},
      {{"s.xml", "t.csv", "-o"}, "needs a value"},
      {{"s.xml", "t.csv", "--utf8=yes"}, "takes no value"},
      {{"s.xml", "t.csv", "--output="}, "non-empty"},
  };
  for (const auto& [args, mention] : cases) {
    BuildArgs build;
    std::string error;
    EXPECT_EQ(ParseBuildArgs(args, build, error), ParseResult::kError) << mention;
    EXPECT_NE(error.find(mention), std::string::npos) << error;
  }
  // Help wins anywhere on the line.
  BuildArgs build;
  ScoreArgs score;
  InferArgs infer;
  DemoArgs demo;
  std::string error;
  EXPECT_EQ(ParseBuildArgs({"s.xml", "--help"}, build, error), ParseResult::kHelp);
  EXPECT_EQ(ParseScoreArgs({"-h"}, score, error), ParseResult::kHelp);
  EXPECT_EQ(ParseInferArgs({"--help", "x"}, infer, error), ParseResult::kHelp);
  EXPECT_EQ(ParseDemoArgs({"--help"}, demo, error), ParseResult::kHelp);
}

TEST(CommandLineTest, ScoreInferAndDemo) {
  ScoreArgs score;
  std::string error;
  ASSERT_EQ(ParseScoreArgs({"s.xml", "t.csv", "n.csv"}, score, error), ParseResult::kOk);
  EXPECT_EQ(score.newData, "n.csv");
  EXPECT_TRUE(score.output.empty()) << "standard output by default";

  InferArgs infer;
  ASSERT_EQ(ParseInferArgs({"t.csv", "--target", "a", "--target=b", "--id", "key", "--label",
                            "name", "--focal", "f"},
                           infer, error),
            ParseResult::kOk)
      << error;
  EXPECT_EQ(infer.options.targets, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(infer.options.id + " " + infer.options.label + " " + infer.options.focal, "key name f");

  DemoArgs demo;
  ASSERT_EQ(ParseDemoArgs({}, demo, error), ParseResult::kOk);
  EXPECT_EQ(demo.outDir, "knn-demo");
  ASSERT_EQ(ParseDemoArgs({"--out", "d"}, demo, error), ParseResult::kOk);
  EXPECT_EQ(demo.outDir, "d");
  EXPECT_EQ(ParseDemoArgs({"stray"}, demo, error), ParseResult::kError);
}

}  // namespace
}  // namespace knncli
