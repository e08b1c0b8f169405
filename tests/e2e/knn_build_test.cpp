// knn build end to end: the model document, the summary, and replacing an existing model.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::Contains;
using clitest::ListDir;
using clitest::ReadText;
using clitest::RunKnn;
using Names = std::vector<std::string>;

const std::string kIris = std::string(KNN_SOURCE_DIR) + "/examples/iris/";

TEST(KnnBuildTest, WritesPmmlASummaryPerTargetAndTheReport) {
  clitest::TempDir dir;
  const auto result = RunKnn({"build", kIris + "settings-vfold.xml", kIris + "iris.csv", "-o",
                              "m.pmml", "--report", "m-report.html", "--quiet"},
                             dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(ReadText(dir.File("m.pmml")), {"<PMML", "NearestNeighborModel", "</PMML>"}));
  // K comes from cross-validation; all four measurements are features.
  EXPECT_TRUE(Contains(
      result.err, {"species: K ", "features sepal_length, sepal_width, petal_length, petal_width",
                   "(proportion misclassified)"}));
  EXPECT_EQ(ListDir(dir.Path()), (Names{"m-report.html", "m.pmml"})) << "no temporary file left";
  const std::string html = ReadText(dir.File("m-report.html"));
  EXPECT_NE(html.find("<svg"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos) << "the report is static";

  // knn report on the same document writes the same page.
  const auto again = RunKnn({"report", "m.pmml", "-o", "again.html"}, dir.Path());
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(ReadText(dir.File("again.html")), html);
}

TEST(KnnBuildTest, DefaultOutputDisplayAndUtf8) {
  clitest::TempDir dir;
  const auto result = RunKnn({"build", kIris + "settings.xml", kIris + "iris.csv", "--display",
                              "dump.txt", "--utf8", "-q"},
                             dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ListDir(dir.Path()), (Names{"dump.txt", "model.pmml"}));
  EXPECT_TRUE(Contains(ReadText(dir.File("dump.txt")), {"KNNAlgorithm display start"}));
}

TEST(KnnBuildTest, ContinuousTargetReportsSumOfSquaredErrors) {
  clitest::TempDir dir;
  const std::string rent = std::string(KNN_SOURCE_DIR) + "/examples/rent/";
  const auto result = RunKnn({"build", rent + "settings.xml", rent + "rent.csv", "-q"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.err, {"rent: K ", "(sum of squared errors)"}));
}

TEST(KnnBuildTest, AnExistingModelIsReplacedOnlyByACompleteOne) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("model.pmml"), "previous model");
  clitest::WriteText(dir.File("bad.csv"), "id,sepal_length\n1,oops\n");
  const auto failed = RunKnn({"build", kIris + "settings-vfold.xml", "bad.csv", "-q"}, dir.Path());
  EXPECT_NE(failed.exitCode, 0);
  EXPECT_EQ(ReadText(dir.File("model.pmml")), "previous model");
  EXPECT_EQ(ListDir(dir.Path()), (Names{"bad.csv", "model.pmml"}));

  const auto built =
      RunKnn({"build", kIris + "settings-vfold.xml", kIris + "iris.csv", "-q"}, dir.Path());
  ASSERT_EQ(built.exitCode, 0) << built.err;
  EXPECT_TRUE(Contains(ReadText(dir.File("model.pmml")), {"<PMML"}));
  EXPECT_EQ(ListDir(dir.Path()), (Names{"bad.csv", "model.pmml"}));
}

TEST(KnnBuildTest, WarningsArePrintedButDoNotFail) {
  clitest::TempDir dir;
  // Four training cases and SpecifiedK 5: K is lowered to 3 with a warning.
  clitest::WriteText(dir.File("s.xml"), R"(<settings><fields>
    <field name="id" optype="continuous" dataType="integer" min="1" max="4"/>
    <field name="x" optype="continuous" dataType="double" min="0" max="10"/>
    <field name="y" optype="categorical" dataType="string"><value value="a"/><value value="b"/></field>
    <field name="focal" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/></field>
  </fields><targets><field name="y"/></targets><inputs><field name="x"/></inputs>
  <param name="CaseIDVar">id</param><param name="FocalVar">focal</param>
  <param name="SpecifiedK">5</param><param name="TempFileDir"></param></settings>)");
  clitest::WriteText(dir.File("t.csv"), "id,x,y\n1,1,a\n2,2,a\n3,8,b\n4,9,b\n");
  const auto result = RunKnn({"build", "s.xml", "t.csv", "-q"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.err, {"knn: warning 200070: ", "y: K 3;"}));
}

}  // namespace
