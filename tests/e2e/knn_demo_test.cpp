// knn demo runs the bundled iris example end to end.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::ReadText;

TEST(KnnDemoTest, BuildsWritesAndScoresTheIrisExample) {
  clitest::TempDir dir;
  const auto result = clitest::RunKnn({"demo", "--out", "out/demo", "--quiet"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(clitest::ListDir(dir.File("out/demo")),
            (std::vector<std::string>{"model.pmml", "report.html", "scored.csv"}));
  EXPECT_TRUE(clitest::Contains(ReadText(dir.File("out/demo/model.pmml")), {"</PMML>"}));
  EXPECT_TRUE(clitest::Contains(ReadText(dir.File("out/demo/report.html")), {"<svg", "species"}));
  const auto lines = clitest::Lines(ReadText(dir.File("out/demo/scored.csv")));
  ASSERT_EQ(lines.size(), 151u) << "header and one row per iris record";
  EXPECT_EQ(lines[0].rfind("row,status,species:neighbor1,", 0), 0u) << lines[0];
  EXPECT_TRUE(clitest::Contains(lines[0], {"species:probability-virginica"}));
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(std::to_string(i) + ",0,", 0), 0u) << lines[i];
  }
  EXPECT_TRUE(clitest::Contains(result.err, {"species: K "}));

  // Without --out the files go to knn-demo.
  ASSERT_EQ(clitest::RunKnn({"demo", "-q"}, dir.Path()).exitCode, 0);
  EXPECT_TRUE(clitest::FileExists(dir.File("knn-demo/model.pmml")));
  EXPECT_TRUE(clitest::FileExists(dir.File("knn-demo/scored.csv")));
}

}  // namespace
