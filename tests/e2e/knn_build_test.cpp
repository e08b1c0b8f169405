// knn build end to end: the model document, the summary, and replacing an existing model.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::ListDir;
using clitest::ReadText;
using clitest::RunKnn;
using clitest::TempDir;

const std::string kExamples = std::string(KNN_SOURCE_DIR) + "/examples";

TEST(KnnBuildTest, WritesPmmlAndASummaryPerTarget) {
  TempDir dir;
  const auto result = RunKnn({"build", kExamples + "/iris/settings-vfold.xml",
                              kExamples + "/iris/iris.csv", "-o", "iris.pmml", "--quiet"},
                             dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string pmml = ReadText(dir.File("iris.pmml"));
  EXPECT_NE(pmml.find("<PMML"), std::string::npos);
  EXPECT_NE(pmml.find("NearestNeighborModel"), std::string::npos);
  EXPECT_NE(pmml.find("</PMML>"), std::string::npos) << "the document is complete";
  // K comes from cross-validation within 3..9; all four measurements are features.
  EXPECT_NE(result.err.find("species: K "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("features sepal_length, sepal_width, petal_length, petal_width"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("(proportion misclassified)"), std::string::npos) << result.err;
  EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"iris.pmml"}) << "no temporary file left";
}

TEST(KnnBuildTest, DefaultOutputDisplayAndUtf8) {
  TempDir dir;
  const auto result =
      RunKnn({"build", kExamples + "/iris/settings.xml", kExamples + "/iris/iris.csv", "--display",
              "dump.txt", "--utf8", "-q"},
             dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"dump.txt", "model.pmml"}));
  EXPECT_NE(ReadText(dir.File("dump.txt")).find("KNNAlgorithm display start"), std::string::npos);
}

TEST(KnnBuildTest, ReportOptionWritesTheHtmlReportBesideTheModel) {
  TempDir dir;
  const auto result =
      RunKnn({"build", kExamples + "/iris/settings-vfold.xml", kExamples + "/iris/iris.csv", "-o",
              "m.pmml", "--report", "m-report.html", "-q"},
             dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"m-report.html", "m.pmml"}));
  const std::string html = ReadText(dir.File("m-report.html"));
  EXPECT_NE(html.find("<svg"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos) << "the report is static";

  // knn report on the same document writes the same page.
  const auto again = RunKnn({"report", "m.pmml", "-o", "again.html"}, dir.Path());
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(ReadText(dir.File("again.html")), html);
}

TEST(KnnBuildTest, ContinuousTargetReportsSumOfSquaredErrors) {
  TempDir dir;
  const auto result = RunKnn(
      {"build", kExamples + "/rent/settings.xml", kExamples + "/rent/rent.csv", "-q"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("rent: K "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("(sum of squared errors)"), std::string::npos) << result.err;
}

TEST(KnnBuildTest, AnExistingModelIsReplacedOnlyByACompleteOne) {
  TempDir dir;
  const std::string settings = kExamples + "/iris/settings-vfold.xml";
  const std::string model = dir.File("model.pmml");
  clitest::WriteText(model, "previous model");
  clitest::WriteText(dir.File("bad.csv"), "id,sepal_length\n1,oops\n");

  const auto failed = RunKnn({"build", settings, "bad.csv", "-q"}, dir.Path());
  EXPECT_NE(failed.exitCode, 0);
  EXPECT_EQ(ReadText(model), "previous model");
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"bad.csv", "model.pmml"}));

  const auto built = RunKnn({"build", settings, kExamples + "/iris/iris.csv", "-q"}, dir.Path());
  ASSERT_EQ(built.exitCode, 0) << built.err;
  EXPECT_NE(ReadText(model).find("<PMML"), std::string::npos);
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"bad.csv", "model.pmml"}));
}

TEST(KnnBuildTest, WarningsArePrintedButDoNotFail) {
  TempDir dir;
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
  EXPECT_NE(result.err.find("knn: warning 200070: "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("y: K 3;"), std::string::npos) << result.err;
}

}  // namespace
