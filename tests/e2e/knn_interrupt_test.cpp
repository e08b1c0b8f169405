// Ctrl-C during a long build: exit 130, "interrupted", and nothing left behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "support/cli_process.h"

namespace {

using clitest::ListDir;
using clitest::ReadText;
using clitest::TempDir;

// Eight inputs and combined K and feature selection over many cases: minutes of work.
constexpr const char* kSettings = R"(<settings><fields>
  <field name="id" optype="continuous" dataType="integer" min="1" max="400000"/>
  <field name="a" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="b" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="c" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="d" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="e" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="f" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="g" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="h" optype="continuous" dataType="double" min="0" max="1"/>
  <field name="y" optype="categorical" dataType="string"><value value="lo"/><value value="hi"/></field>
  <field name="focal" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/></field>
</fields><targets><field name="y"/></targets>
<inputs><field name="a"/><field name="b"/><field name="c"/><field name="d"/><field name="e"/>
<field name="f"/><field name="g"/><field name="h"/></inputs>
<param name="CaseIDVar">id</param><param name="FocalVar">focal</param>
<param name="IsAutoKSelection">true</param><param name="MinK">1</param><param name="MaxK">30</param>
<param name="IsFeatureSelection">true</param><param name="IsAutoFeatureSelection">true</param>
<param name="TempFileDir"></param></settings>)";

void WriteLargeData(const std::string& path, int rows) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::fputs("id,a,b,c,d,e,f,g,h,y\n", out);
  for (int i = 1; i <= rows; ++i) {
    double values[8];
    for (double& value : values) value = unit(random);
    std::fprintf(out, "%d,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%s\n", i, values[0], values[1],
                 values[2], values[3], values[4], values[5], values[6], values[7],
                 values[0] + 0.3 * values[1] > 0.65 ? "hi" : "lo");
  }
  std::fclose(out);
}

TEST(KnnInterruptTest, CtrlCStopsTheBuildAndKeepsTheOldModel) {
  TempDir dir;
  clitest::WriteText(dir.File("s.xml"), kSettings);
  WriteLargeData(dir.File("big.csv"), 400000);
  clitest::WriteText(dir.File("model.pmml"), "previous model");
  TempDir capture;
  const pid_t pid = clitest::StartKnn({"build", "s.xml", "big.csv", "-q"}, dir.Path(),
                                      capture.File("out"), capture.File("err"));
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  ASSERT_EQ(kill(pid, SIGINT), 0) << "the build ended before it could be interrupted";
  const auto start = std::chrono::steady_clock::now();
  const int exitCode = clitest::WaitForExit(pid, 120.0);
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
  const std::string err = ReadText(capture.File("err"));
  EXPECT_EQ(exitCode, 130) << err;
  EXPECT_LT(waited.count(), 30.0) << "the stop request must be honoured promptly";
  EXPECT_NE(err.find("interrupted"), std::string::npos) << err;
  EXPECT_EQ(ReadText(dir.File("model.pmml")), "previous model");
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"big.csv", "model.pmml", "s.xml"}));
}

}  // namespace
