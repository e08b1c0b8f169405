// knn demo runs the bundled iris example end to end.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

TEST(KnnDemoTest, BuildsWritesAndScoresTheIrisExample) {
  clitest::TempDir dir;
  const auto result = clitest::RunKnn({"demo", "--out", "out/demo", "--quiet"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(clitest::ListDir(dir.File("out/demo")),
            (std::vector<std::string>{"model.pmml", "report.html", "scored.csv"}));
  EXPECT_NE(clitest::ReadText(dir.File("out/demo/model.pmml")).find("</PMML>"), std::string::npos);
  const std::string report = clitest::ReadText(dir.File("out/demo/report.html"));
  EXPECT_NE(report.find("<svg"), std::string::npos);
  EXPECT_NE(report.find("species"), std::string::npos);
  const auto lines = clitest::Lines(clitest::ReadText(dir.File("out/demo/scored.csv")));
  ASSERT_EQ(lines.size(), 151u) << "header and one row per iris record";
  EXPECT_EQ(lines[0].rfind("row,status,species:neighbor1,", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("species:probability-virginica"), std::string::npos);
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(std::to_string(i) + ",0,", 0), 0u) << lines[i];
  }
  EXPECT_NE(result.err.find("species: K "), std::string::npos) << result.err;
}

TEST(KnnDemoTest, DefaultFolderIsKnnDemo) {
  clitest::TempDir dir;
  const auto result = clitest::RunKnn({"demo", "-q"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(clitest::FileExists(dir.File("knn-demo/model.pmml")));
  EXPECT_TRUE(clitest::FileExists(dir.File("knn-demo/scored.csv")));
}

}  // namespace
