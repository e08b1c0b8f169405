// Failures of the knn program: each ends with its exit code, one line on standard error and no
// output file, temporary or final; version and help go to standard output. Ctrl-C during a build
// ends with 130 and keeps the old model.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <sstream>
#include <thread>

#include "support/boundary_settings_doc.h"
#include "support/cli_process.h"

namespace {

std::string Settings(knntest::SettingsDoc doc) {
  return doc.Param("TempFileDir", "").Xml();
}

TEST(KnnBadInputTest, EachFailureHasItsExitCodeAndOneLine) {
  using knntest::SettingsDoc;
  const std::string good = Settings(SettingsDoc::Minimal());
  const std::string data = "id,x1,x2,c1,y\n1,1,1,a,yes\n2,2,2,b,yes\n3,7,7,c,no\n4,8,8,a,no\n";
  const std::string bigK = Settings(SettingsDoc::Minimal().Param("SpecifiedK", 5));
  const std::string noTarget = Settings(SettingsDoc::Minimal().Targets({"nope"}));
  const std::string equalRange =
      Settings(SettingsDoc::Minimal().Continuous("x3", 5, 5).Input("x3"));
  const std::string equal = "knn: 200042: field 'x3' is declared with equal minimum and maximum";
  const std::string notNumber = "id,x1,x2,c1,y\n1,1,1,a,yes\n2,2,2,b,no\n3,three,2,a,no\n";
  const struct {
    const char* command;  // words split at spaces
    int exitCode;
    std::vector<std::string> mentions;
    std::string settings;
    std::string train;
  } cases[] = {
      // The good inputs build: each failure below comes from the one thing its case breaks.
      {"build s.xml t.csv -q", 0, {}, good, data},
      // K 5 over four cases is lowered to 3 with a warning, and the build goes on.
      {"build s.xml t.csv -q", 0, {"knn: warning 200070: ", "y: K 3;"}, bigK, data},
      {"--version", 0, {"knn "}, good, data},
      {"score s.xml --help", 0, {"usage: knn score"}, good, data},  // help wins anywhere
      {"build s.xml t.csv -q", 1, {"100001"}, "<settings><fields>", data},
      {"build s.xml t.csv -q", 1, {"200028", "'nope'"}, noTarget, data},
      {"build s.xml t.csv -q", 1, {equal}, equalRange, data},
      {"build s.xml t.csv -q", 2, {"t.csv", "'x2'"}, good, "id,x1,c1,y\n1,1,a,yes\n"},
      {"build s.xml t.csv", 2, {"t.csv line 4", "column 'x1'", "'three'"}, good, notNumber},
      {"build s.xml t.csv -o no/f/m.pmml", 2, {"no/f/m.pmml"}, good, data},
      {"score s.xml t.csv n.csv -o out.csv", 2, {"n.csv line 3, column 'x1'"}, good, data},
      {"build absent.xml t.csv", 2, {"absent.xml"}, good, data},
      {"infer absent.csv", 2, {"absent.csv"}, good, data},
      {"frobnicate", 2, {"frobnicate"}, good, data},
      {"score s.xml t.csv", 2, {}, good, data},
      {"build s.xml t.csv --nonsense", 2, {"--nonsense"}, good, data},
      {"demo extra", 2, {}, good, data},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    clitest::TempDir dir;
    clitest::WriteText(dir.File("s.xml"), c.settings);
    clitest::WriteText(dir.File("t.csv"), c.train);
    clitest::WriteText(dir.File("n.csv"), "x1\n1\nabc\n");
    std::vector<std::string> args;
    std::istringstream words(c.command);
    for (std::string word; words >> word;) args.push_back(word);
    const auto result = clitest::RunKnn(args, dir.Path());
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    if (c.exitCode == 0) {  // a build reports on standard error, version and help on output
      const bool build = std::string(c.command).rfind("build", 0) == 0;
      EXPECT_TRUE(clitest::Contains(build ? result.err : result.out, c.mentions));
      continue;
    }
    EXPECT_EQ(clitest::Lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("knn: ", 0), 0u) << result.err;
    EXPECT_TRUE(clitest::Contains(result.err, c.mentions));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(clitest::ListDir(dir.Path()), (std::vector<std::string>{"n.csv", "s.xml", "t.csv"}))
        << "no output and no temporary file";
  }
  EXPECT_EQ(clitest::RunKnn({}).exitCode, 2);
}

TEST(KnnInterruptTest, CtrlCStopsTheBuildAndKeepsTheOldModel) {
  clitest::TempDir dir;
  // Eight inputs and combined K and feature selection over many cases: minutes of work.
  knntest::SettingsDoc doc;
  doc.Continuous("id", 1, 400000).Categorical("y", {"lo", "hi"}).Target("y");
  doc.Field("focal", {{"optype", "categorical"}, {"dataType", "integer"}, {"default", "0"}},
            {"0", "1"});
  doc.Param("CaseIDVar", "id").Param("FocalVar", "focal").Param("TempFileDir", "");
  doc.Flag("IsAutoKSelection", true).Param("MinK", 1).Param("MaxK", 30);
  doc.Flag("IsFeatureSelection", true).Flag("IsAutoFeatureSelection", true);
  for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"})
    doc.Continuous(name, 0, 1).Input(name);
  clitest::WriteText(dir.File("s.xml"), doc.Xml());
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::string data = "id,a,b,c,d,e,f,g,h,y\n";
  for (int i = 1; i <= 400000; ++i) {
    const double a = unit(random);
    data += std::to_string(i) + "," + std::to_string(a);
    for (int j = 1; j < 8; ++j) data += "," + std::to_string(unit(random));
    data += a > 0.5 ? ",hi\n" : ",lo\n";
  }
  clitest::WriteText(dir.File("big.csv"), data);
  clitest::WriteText(dir.File("model.pmml"), "previous model");
  clitest::TempDir capture;
  const pid_t pid = clitest::StartKnn({"build", "s.xml", "big.csv", "-q"}, dir.Path(),
                                      capture.File("out"), capture.File("err"));
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  ASSERT_EQ(kill(pid, SIGINT), 0) << "the build ended before it could be interrupted";
  // The stop request must be honoured promptly: after 30 s the run is killed.
  const int exitCode = clitest::WaitForExit(pid, 30.0);
  const std::string err = clitest::ReadText(capture.File("err"));
  EXPECT_TRUE(exitCode == 130 && clitest::Contains(err, {"interrupted"})) << exitCode << err;
  EXPECT_EQ(clitest::ReadText(dir.File("model.pmml")), "previous model");
  EXPECT_EQ(clitest::ListDir(dir.Path()),
            (std::vector<std::string>{"big.csv", "model.pmml", "s.xml"}));
}

}  // namespace
