// knn infer end to end: its drafts are accepted by knn build and knn score as they stand.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::RunKnn;

TEST(KnnInferTest, DraftOnStandardOutputBuildsAsItStands) {
  const std::string iris = std::string(KNN_SOURCE_DIR) + "/examples/iris/iris.csv";
  const auto infer = RunKnn({"infer", iris, "--target", "species"});
  ASSERT_EQ(infer.exitCode, 0) << infer.err;
  EXPECT_EQ(infer.out.rfind("<?xml", 0), 0u);
  EXPECT_TRUE(clitest::Contains(
      infer.out, {"<field name=\"species\" optype=\"categorical\" dataType=\"string\">",
                  "<field name=\"sepal_length\" optype=\"continuous\" dataType=\"double\" "
                  "min=\"4.3\" max=\"7.9\"/>",
                  "<param name=\"CaseIDVar\">id</param>"}));
  clitest::TempDir dir;
  clitest::WriteText(dir.File("settings.xml"), infer.out);
  const auto build = RunKnn({"build", "settings.xml", iris, "--quiet"}, dir.Path());
  EXPECT_EQ(build.exitCode, 0) << build.err;
  EXPECT_TRUE(clitest::FileExists(dir.File("model.pmml")));
  EXPECT_TRUE(clitest::Contains(build.err, {"species: K 3;"}));
}

TEST(KnnInferTest, DataWithoutIdsGetsGeneratedOnes) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("data.csv"),
                     "a,b,c\n1,5,x\n2,3,y\n3,8,x\n4,1,y\n5,9,x\n6,2,y\n7,7,x\n");
  const auto infer = RunKnn({"infer", "data.csv", "--target", "c"}, dir.Path());
  ASSERT_EQ(infer.exitCode, 0) << infer.err;
  EXPECT_TRUE(clitest::Contains(infer.out, {"generated=\"row-number\""}));
  clitest::WriteText(dir.File("settings.xml"), infer.out);
  const auto score =
      RunKnn({"score", "settings.xml", "data.csv", "data.csv", "--quiet"}, dir.Path());
  ASSERT_EQ(score.exitCode, 0) << score.err;
  const auto lines = clitest::Lines(score.out);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].rfind("row,status,c:neighbor1,c:neighbor2,c:neighbor3,", 0), 0u) << lines[0];
  // The generated ID makes each training record its own case, so it is not its own neighbour.
  EXPECT_EQ(lines[1].rfind("1,0,", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].rfind("1,0,1,", 0), 0u) << lines[1];
}

}  // namespace
