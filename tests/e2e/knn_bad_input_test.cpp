// Bad inputs: each ends with its exit code, one line on standard error and no output file.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::ListDir;
using clitest::RunKnn;
using clitest::TempDir;

std::string Settings(const std::string& xRange, const std::string& target) {
  return R"(<settings><fields>
    <field name="id" optype="continuous" dataType="integer" min="1" max="6"/>
    <field name="x" optype="continuous" dataType="double" )" +
         xRange + R"(/>
    <field name="y" optype="categorical" dataType="string"><value value="a"/><value value="b"/></field>
    <field name="focal" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/></field>
  </fields><targets><field name=")" +
         target + R"("/></targets><inputs><field name="x"/></inputs>
  <param name="CaseIDVar">id</param><param name="FocalVar">focal</param>
  <param name="SpecifiedK">2</param><param name="TempFileDir"></param></settings>)";
}

const std::string kGoodSettings = Settings("min=\"0\" max=\"10\"", "y");
const std::string kGoodData = "id,x,y\n1,1,a\n2,2,a\n3,3,a\n4,7,b\n5,8,b\n6,9,b\n";

struct BadCase {
  const char* name;
  std::string settings;
  std::string data;
  std::vector<std::string> extraArgs;
  int exitCode;
  std::vector<std::string> mentions;
};

TEST(KnnBadInputTest, EachFailureHasItsExitCodeAndOneLine) {
  const BadCase cases[] = {
      {"malformed XML", "<settings><fields>", kGoodData, {}, 1, {"100001"}},
      {"unknown target",
       Settings("min=\"0\" max=\"10\"", "nope"),
       kGoodData,
       {},
       1,
       {"200028", "'nope'"}},
      {"equal minimum and maximum",
       Settings("min=\"5\" max=\"5\"", "y"),
       kGoodData,
       {},
       1,
       {"200042: field 'x' is declared with equal minimum and maximum"}},
      {"missing column", kGoodSettings, "id,y\n1,a\n2,b\n", {}, 2, {"train.csv", "'x'"}},
      {"too many cells",
       kGoodSettings,
       "id,x,y\n1,1,a\n2,2,b,extra\n",
       {},
       2,
       {"train.csv line 3", "4 cells"}},
      {"not a number",
       kGoodSettings,
       "id,x,y\n1,1,a\n2,2,b\n3,three,a\n",
       {},
       2,
       {"train.csv line 4", "column 'x'", "'three'"}},
      {"infinity", kGoodSettings, "id,x,y\n1,inf,a\n", {}, 2, {"line 2", "column 'x'"}},
      {"unwritable output folder",
       kGoodSettings,
       kGoodData,
       {"-o", "no/such/folder/model.pmml"},
       2,
       {"no/such/folder/model.pmml"}},
  };
  for (const BadCase& c : cases) {
    TempDir dir;
    clitest::WriteText(dir.File("settings.xml"), c.settings);
    clitest::WriteText(dir.File("train.csv"), c.data);
    std::vector<std::string> args = {"build", "settings.xml", "train.csv", "-q"};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    const auto result = RunKnn(args, dir.Path());
    EXPECT_EQ(result.exitCode, c.exitCode) << c.name << ": " << result.err;
    EXPECT_EQ(clitest::Lines(result.err).size(), 1u) << c.name << ": " << result.err;
    for (const std::string& mention : c.mentions) {
      EXPECT_NE(result.err.find(mention), std::string::npos) << c.name << ": " << result.err;
    }
    EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"settings.xml", "train.csv"}))
        << c.name << ": no output and no temporary file";
  }
}

TEST(KnnBadInputTest, ScoreStopsOnABadNewFileWithoutOutput) {
  TempDir dir;
  clitest::WriteText(dir.File("settings.xml"), kGoodSettings);
  clitest::WriteText(dir.File("train.csv"), kGoodData);
  clitest::WriteText(dir.File("new.csv"), "x\n1\nabc\n");
  const auto result =
      RunKnn({"score", "settings.xml", "train.csv", "new.csv", "-o", "out.csv", "-q"}, dir.Path());
  EXPECT_EQ(result.exitCode, 2) << result.err;
  EXPECT_NE(result.err.find("new.csv line 3, column 'x'"), std::string::npos) << result.err;
  EXPECT_FALSE(clitest::FileExists(dir.File("out.csv")));
  EXPECT_EQ(ListDir(dir.Path()).size(), 3u);
}

TEST(KnnBadInputTest, GoodInputsOfTheTableBuild) {
  // The failures above must come from the one thing each case breaks.
  TempDir dir;
  clitest::WriteText(dir.File("settings.xml"), kGoodSettings);
  clitest::WriteText(dir.File("train.csv"), kGoodData);
  const auto result = RunKnn({"build", "settings.xml", "train.csv", "-q"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

}  // namespace
