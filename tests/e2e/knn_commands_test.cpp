// The knn commands end to end: build, score on a case small enough to work out by hand, infer
// drafts that build and score as they stand, and the demo.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::Contains;
using clitest::Lines;
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
  EXPECT_TRUE(Contains(
      result.err, {"species: K ", "features sepal_length, sepal_width, petal_length, petal_width",
                   "(proportion misclassified)"}));
  EXPECT_EQ(ListDir(dir.Path()), (Names{"m-report.html", "m.pmml"})) << "no temporary file left";
  // knn report on the same document writes the same page.
  ASSERT_EQ(RunKnn({"report", "m.pmml", "-o", "again.html"}, dir.Path()).exitCode, 0);
  EXPECT_TRUE(Contains(ReadText(dir.File("again.html")), {"<svg"}));
  EXPECT_EQ(ReadText(dir.File("again.html")), ReadText(dir.File("m-report.html")));
}

TEST(KnnBuildTest, AModelIsReplacedOnlyByACompleteOne) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("model.pmml"), "previous model");
  clitest::WriteText(dir.File("bad.csv"), "id,sepal_length\n1,oops\n");
  EXPECT_NE(RunKnn({"build", kIris + "settings.xml", "bad.csv", "-q"}, dir.Path()).exitCode, 0);
  EXPECT_EQ(ReadText(dir.File("model.pmml")), "previous model");
  EXPECT_EQ(ListDir(dir.Path()), (Names{"bad.csv", "model.pmml"}));

  const auto built = RunKnn({"build", kIris + "settings.xml", kIris + "iris.csv", "--display",
                             "dump.txt", "--utf8", "-q"},
                            dir.Path());
  ASSERT_EQ(built.exitCode, 0) << built.err;
  EXPECT_TRUE(Contains(ReadText(dir.File("model.pmml")), {"<PMML"}));
  EXPECT_TRUE(Contains(ReadText(dir.File("dump.txt")), {"KNNAlgorithm display start"}));
  EXPECT_EQ(ListDir(dir.Path()), (Names{"bad.csv", "dump.txt", "model.pmml"}));
}

// One input x declared on [0, 10], so distances are |dx| / 5 after rescaling to [-1, 1].
// Targets: c (categorical, listed second but answered first) and v (continuous). A label
// holding a comma is quoted.
constexpr const char* kSettings = R"(<settings><fields>
  <field name="id" optype="continuous" dataType="integer" min="1" max="5"/>
  <field name="x" optype="continuous" dataType="double" min="0" max="10"/>
  <field name="v" optype="continuous" dataType="double" min="0" max="100"/>
  <field name="c" optype="categorical" dataType="string"><value value="no"/><value value="yes"/></field>
  <field name="lab" optype="categorical" dataType="string"><value value="p,1"/><value value="q"/>
    <value value="r"/><value value="s"/><value value="t"/></field>
  <field name="focal" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/></field>
</fields><targets><field name="v"/><field name="c"/></targets><inputs><field name="x"/></inputs>
<param name="CaseIDVar">id</param><param name="FocalVar">focal</param>
<param name="use_caselabels">true</param><param name="CaseLabelVar">lab</param>
<param name="SpecifiedK">2</param><param name="TempFileDir"></param></settings>)";

constexpr const char* kTrain =
    "id,x,v,c,lab\n1,0,10,no,\"p,1\"\n2,2,20,no,q\n3,5,30,yes,r\n4,9,40,yes,s\n5,10,50,yes,t\n";

// The new records carry only x: targets, IDs and labels may be left out.
constexpr const char* kNew = "x\n1.5\n8\n4\n\n";

const std::vector<std::string> kExpected = {
    "row,status,c:neighbor1,c:neighbor2,c:distance1,c:distance2,c:prediction1,c:prediction2,"
    "c:probability-no,c:probability-yes,c:label1,c:label2,v:neighbor1,v:neighbor2,v:distance1,"
    "v:distance2,v:prediction1,v:prediction2,v:label1,v:label2",
    // x = 1.5: cases 2 (0.5 away, 0.1 rescaled) and 1 (0.3); both "no"; Laplace 3/4 and 1/4.
    "1,0,2,1,0.1,0.3,no,no,0.75,0.25,q,\"p,1\",2,1,0.1,0.3,20,15,q,\"p,1\"",
    // x = 8: cases 4 (0.2) and 5 (0.4).
    "2,0,4,5,0.2,0.4,yes,yes,0.25,0.75,s,t,4,5,0.2,0.4,40,45,s,t",
    // x = 4: cases 3 (0.2) and 2 (0.4); the 1-1 vote goes to "yes", the larger class.
    "3,0,3,2,0.2,0.4,yes,yes,0.5,0.5,r,q,3,2,0.2,0.4,30,25,r,q",
};

TEST(KnnScoreTest, HandWorkedNeighboursPredictionsLabelsAndSummary) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("s.xml"), kSettings);
  clitest::WriteText(dir.File("train.csv"), kTrain);
  clitest::WriteText(dir.File("new.csv"), std::string(kNew) + "?\n");
  const auto result =
      RunKnn({"score", "s.xml", "train.csv", "new.csv", "-o", "out.csv", "-q"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::vector<std::string> expected = kExpected;
  // x missing: the record cannot be scored; every cell after status stays empty.
  expected.push_back("4,200049" + std::string(18, ','));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(Lines(ReadText(dir.File("out.csv"))), expected);
  EXPECT_TRUE(Contains(result.err, {"no column 'c'"}));
  // Leave-one-out at K = 2: cases 1 and 2 meet 1-1 votes that go to "yes" (2 of 5 wrong);
  // v is off by 15 for cases 1 (mean of 20, 30) and 5 (mean of 40, 30).
  const auto build = RunKnn({"build", "s.xml", "train.csv", "-q"}, dir.Path());
  EXPECT_TRUE(
      Contains(build.err, {"c: K 2; features x; training error 0.4 (proportion misclassified)",
                           "v: K 2; features x; training error 450 (sum of squared errors)"}));

  // Standard output by default. Training records are not their own neighbours: case 1
  // (x = 0) gets 2 (0.4, "no") and 3 (1.0, "yes"), and the 1-1 vote goes to "yes".
  const auto self = RunKnn({"score", "s.xml", "train.csv", "train.csv", "-q"}, dir.Path());
  ASSERT_EQ(self.exitCode, 0) << self.err;
  const auto lines = Lines(self.out);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1].rfind("1,0,2,3,0.4,1,no,yes,", 0), 0u) << lines[1];
}

TEST(KnnInferTest, DraftsBuildAndScoreAsTheyStand) {
  clitest::TempDir dir;
  const std::string iris = kIris + "iris.csv";
  const auto infer = RunKnn({"infer", iris, "--target", "species"});
  ASSERT_EQ(infer.exitCode, 0) << infer.err;
  clitest::WriteText(dir.File("iris.xml"), infer.out);
  const auto build = RunKnn({"build", "iris.xml", iris, "--quiet"}, dir.Path());
  EXPECT_TRUE(build.exitCode == 0 && Contains(build.err, {"species: K 3;"})) << build.err;

  // Without an ID column the draft generates one, which each record then gets from its number;
  // without a target the scores are the neighbours and their distances.
  clitest::WriteText(dir.File("data.csv"), "a,b,c\n1,5,x\n2,3,y\n3,8,x\n4,1,y\n5,9,x\n6,2,y\n");
  const auto draft = RunKnn({"infer", "data.csv"}, dir.Path());
  ASSERT_EQ(draft.exitCode, 0) << draft.err;
  clitest::WriteText(dir.File("data.xml"), draft.out);
  const auto score = RunKnn({"score", "data.xml", "data.csv", "data.csv", "-q"}, dir.Path());
  ASSERT_EQ(score.exitCode, 0) << score.err;
  const auto lines = Lines(score.out);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "row,status,neighbor1,neighbor2,neighbor3,distance1,distance2,distance3");
  // Record 1 is case 1, which is not its own neighbour.
  EXPECT_TRUE(lines[1].rfind("1,0,", 0) == 0 && lines[1].rfind("1,0,1,", 0) != 0) << lines[1];
}

TEST(KnnDemoTest, BuildsReportsAndScoresTheIrisExample) {
  clitest::TempDir dir;
  const auto result = RunKnn({"demo", "--out", "out/demo", "--quiet"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ListDir(dir.File("out/demo")), (Names{"model.pmml", "report.html", "scored.csv"}));
  const auto lines = Lines(ReadText(dir.File("out/demo/scored.csv")));
  ASSERT_EQ(lines.size(), 151u) << "header and one row per iris record";
  EXPECT_TRUE(Contains(lines[0], {"species:neighbor1,", "species:probability-virginica"}));
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(std::to_string(i) + ",0,", 0), 0u) << lines[i];
  }
}

}  // namespace
