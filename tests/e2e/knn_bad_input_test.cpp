// Bad inputs: each ends with its exit code, one line on standard error and no output file.
#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace {

using clitest::Contains;

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

TEST(KnnBadInputTest, EachFailureHasItsExitCodeAndOneLine) {
  const std::string good = Settings("min=\"0\" max=\"10\"", "y");
  const std::string data = "id,x,y\n1,1,a\n2,2,a\n3,3,a\n4,7,b\n5,8,b\n6,9,b\n";
  const std::vector<std::string> build = {"build", "settings.xml", "train.csv", "-q"};
  const std::vector<std::string> score = {"score", "settings.xml", "train.csv", "new.csv",
                                          "-o",    "out.csv",      "-q"};
  const struct {
    const char* name;
    std::string settings;
    std::string train;
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> mentions;
  } cases[] = {
      // The good inputs build: each failure below comes from the one thing its case breaks.
      {"control", good, data, build, 0, {}},
      {"malformed XML", "<settings><fields>", data, build, 1, {"100001"}},
      {"unknown target",
       Settings("min=\"0\" max=\"10\"", "nope"),
       data,
       build,
       1,
       {"200028", "'nope'"}},
      {"equal minimum and maximum",
       Settings("min=\"5\" max=\"5\"", "y"),
       data,
       build,
       1,
       {"200042: field 'x' is declared with equal minimum and maximum"}},
      {"missing column", good, "id,y\n1,a\n2,b\n", build, 2, {"train.csv", "'x'"}},
      {"too many cells",
       good,
       "id,x,y\n1,1,a\n2,2,b,extra\n",
       build,
       2,
       {"train.csv line 3", "4 cells"}},
      {"not a number",
       good,
       "id,x,y\n1,1,a\n2,2,b\n3,three,a\n",
       build,
       2,
       {"train.csv line 4", "column 'x'", "'three'"}},
      {"infinity", good, "id,x,y\n1,inf,a\n", build, 2, {"line 2", "column 'x'"}},
      {"unwritable output folder",
       good,
       data,
       {"build", "settings.xml", "train.csv", "-q", "-o", "no/such/folder/model.pmml"},
       2,
       {"no/such/folder/model.pmml"}},
      {"bad new data for score", good, data, score, 2, {"new.csv line 3, column 'x'"}},
  };
  for (const auto& c : cases) {
    clitest::TempDir dir;
    clitest::WriteText(dir.File("settings.xml"), c.settings);
    clitest::WriteText(dir.File("train.csv"), c.train);
    clitest::WriteText(dir.File("new.csv"), "x\n1\nabc\n");
    const auto result = clitest::RunKnn(c.args, dir.Path());
    EXPECT_EQ(result.exitCode, c.exitCode) << c.name << ": " << result.err;
    if (c.exitCode == 0) continue;
    EXPECT_EQ(clitest::Lines(result.err).size(), 1u) << c.name << ": " << result.err;
    EXPECT_TRUE(Contains(result.err, c.mentions)) << c.name;
    EXPECT_EQ(clitest::ListDir(dir.Path()),
              (std::vector<std::string>{"new.csv", "settings.xml", "train.csv"}))
        << c.name << ": no output and no temporary file";
  }
}

}  // namespace
