// Defects found by the reliability work in the knn host's CSV reading, each named after the
// defect.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_process.h"

namespace {

const char* kSettings = R"(<settings><fields>
  <field name="id" optype="continuous" dataType="integer" min="1" max="9"/>
  <field name="x" optype="continuous" dataType="double" min="0" max="10"/>
  <field name="y" optype="categorical" dataType="string"><value value="a"/><value value="b"/></field>
  <field name="focal" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/></field>
</fields><targets><field name="y"/></targets><inputs><field name="x"/></inputs>
<param name="CaseIDVar">id</param><param name="FocalVar">focal</param>
<param name="SpecifiedK">1</param><param name="TempFileDir"></param></settings>)";

// The message for a cell that is not a number, from a build over data.
std::string BadCellMessage(const std::string& data) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("settings.xml"), kSettings);
  clitest::WriteText(dir.File("train.csv"), data);
  const clitest::RunResult result =
      clitest::RunKnn({"build", "settings.xml", "train.csv", "-q"}, dir.Path());
  EXPECT_EQ(result.exitCode, 2);
  return result.err;
}

// The message quoted the whole cell: a megabyte cell gave a megabyte message.
TEST(CsvCellMessage, Regression_MessageRepeatedAWholeMegabyteCell) {
  const std::string cell(1 << 20, '9');
  const std::string err = BadCellMessage("id,x,y\n1,1,a\n2,1" + cell + "x,b\n");
  EXPECT_LT(err.size(), 300u);
  EXPECT_NE(err.find("column 'x'"), std::string::npos) << err.substr(0, 300);
  EXPECT_NE(err.find("'1999999999"), std::string::npos) << err.substr(0, 300);
  EXPECT_NE(err.find("...' is not a number"), std::string::npos) << err.substr(0, 300);
}

// A quoted cell with a line break split the one-line message over several lines.
TEST(CsvCellMessage, Regression_MessageSpannedLinesForACellWithALineBreak) {
  const std::string err = BadCellMessage("id,x,y\n1,\"4\r\n2\",a\n2,3,b\n");
  EXPECT_EQ(clitest::Lines(err).size(), 1u) << err.substr(0, 300);
  EXPECT_NE(err.find("'4\\r\\n2' is not a number"), std::string::npos) << err.substr(0, 300);
}

// Short cells are quoted unchanged.
TEST(CsvCellMessage, ShortCellIsQuotedAsItStands) {
  const std::string err = BadCellMessage("id,x,y\n1,three,a\n");
  EXPECT_NE(err.find("'three' is not a number"), std::string::npos) << err.substr(0, 300);
}

}  // namespace
