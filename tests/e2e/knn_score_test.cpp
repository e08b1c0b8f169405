// knn score end to end on a case small enough to work out by hand.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::Lines;
using clitest::ReadText;
using clitest::RunKnn;

// One input x declared on [0, 10], so distances are |dx| / 5 after rescaling to [-1, 1].
// Targets: c (categorical, listed second but answered first) and v (continuous).
constexpr const char* kSettings = R"(<settings><fields>
  <field name="id" optype="continuous" dataType="integer" min="1" max="5"/>
  <field name="x" optype="continuous" dataType="double" min="0" max="10"/>
  <field name="v" optype="continuous" dataType="double" min="0" max="100"/>
  <field name="c" optype="categorical" dataType="string"><value value="no"/><value value="yes"/></field>
  <field name="lab" optype="categorical" dataType="string"><value value="p"/><value value="q"/>
    <value value="r"/><value value="s"/><value value="t"/></field>
  <field name="focal" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/></field>
</fields><targets><field name="v"/><field name="c"/></targets><inputs><field name="x"/></inputs>
<param name="CaseIDVar">id</param><param name="FocalVar">focal</param>
<param name="use_caselabels">true</param><param name="CaseLabelVar">lab</param>
<param name="SpecifiedK">2</param><param name="TempFileDir"></param></settings>)";

constexpr const char* kTrain =
    "id,x,v,c,lab\n"
    "1,0,10,no,p\n"
    "2,2,20,no,q\n"
    "3,5,30,yes,r\n"
    "4,9,40,yes,s\n"
    "5,10,50,yes,t\n";

// The new records carry only x: targets, IDs and labels may be left out.
constexpr const char* kNew = "x\n1.5\n8\n4\n\n";

const std::vector<std::string> kExpected = {
    "row,status,c:neighbor1,c:neighbor2,c:distance1,c:distance2,c:prediction1,c:prediction2,"
    "c:probability-no,c:probability-yes,c:label1,c:label2,v:neighbor1,v:neighbor2,v:distance1,"
    "v:distance2,v:prediction1,v:prediction2,v:label1,v:label2",
    // x = 1.5: cases 2 (0.5 away, 0.1 rescaled) and 1 (0.3); both "no"; Laplace 3/4 and 1/4.
    "1,0,2,1,0.1,0.3,no,no,0.75,0.25,q,p,2,1,0.1,0.3,20,15,q,p",
    // x = 8: cases 4 (0.2) and 5 (0.4).
    "2,0,4,5,0.2,0.4,yes,yes,0.25,0.75,s,t,4,5,0.2,0.4,40,45,s,t",
    // x = 4: cases 3 (0.2) and 2 (0.4); the 1-1 vote goes to "yes", the larger class.
    "3,0,3,2,0.2,0.4,yes,yes,0.5,0.5,r,q,3,2,0.2,0.4,30,25,r,q",
};

TEST(KnnScoreTest, HandWorkedNeighboursPredictionsAndLabels) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("s.xml"), kSettings);
  clitest::WriteText(dir.File("train.csv"), kTrain);
  clitest::WriteText(dir.File("new.csv"), std::string(kNew) + "?\n");
  const auto result = RunKnn({"score", "s.xml", "train.csv", "new.csv", "-q"}, dir.Path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::vector<std::string> expected = kExpected;
  // x missing: the record cannot be scored; every cell after status stays empty.
  expected.push_back("4,200049" + std::string(18, ','));
  EXPECT_EQ(Lines(result.out), expected);
  EXPECT_NE(result.err.find("no column 'c'"), std::string::npos) << result.err;

  // An output file receives the same rows.
  const auto toFile =
      RunKnn({"score", "s.xml", "train.csv", "new.csv", "-o", "out.csv", "-q"}, dir.Path());
  ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
  EXPECT_TRUE(toFile.out.empty());
  EXPECT_EQ(Lines(ReadText(dir.File("out.csv"))), expected);

  // Training records are not their own neighbours. Case 1 (x = 0): nearest others are 2 (0.4,
  // "no") and 3 (1.0, "yes"); the 1-1 vote at k = 2 goes to "yes", the larger class.
  const auto self = RunKnn({"score", "s.xml", "train.csv", "train.csv", "-q"}, dir.Path());
  ASSERT_EQ(self.exitCode, 0) << self.err;
  const auto lines = Lines(self.out);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1].rfind("1,0,2,3,0.4,1,no,yes,", 0), 0u) << lines[1];
}

}  // namespace
