// Hostile training files through the knn program: huge rows and cells, numbers at the edge of
// double, NUL bytes and broken UTF-8. Each run must end in time with a model or a one-line
// message, never a crash or a hang, and leave no partial model and no temporary file.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "support/boundary_settings_doc.h"
#include "support/cli_process.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

// Fields id, x (within +-bound), w, y (categorical a/b, or continuous) and focal (not in the
// data: its default applies); K = 2.
std::string Settings(double bound = 10.0, bool rescale = true, bool continuousY = false) {
  knntest::SettingsDoc doc;
  doc.Continuous("id", 1.0, 1e5).Continuous("x", -bound, bound).Continuous("w", 0.0, 10.0);
  continuousY ? doc.Continuous("y", -1e308, 1e308) : doc.Categorical("y", {"a", "b"});
  doc.Field("focal", {{"optype", "categorical"}, {"dataType", "integer"}, {"default", "0"}},
            {"0", "1"});
  doc.Target("y").Inputs({"x", "w"}).Param("CaseIDVar", "id").Param("FocalVar", "focal");
  return doc.Param("SpecifiedK", 2).Flag("RescaleMethod", rescale).Param("TempFileDir", "").Xml();
}

// "id,x,w,y" rows with the given x cells (and extra columns), y alternating a/b.
std::string Rows(const std::vector<std::string>& xs, int extraColumns = 0) {
  std::string text = "id,x,w,y";
  for (int c = 0; c < extraColumns; ++c) text += ",extra" + std::to_string(c);
  for (size_t i = 0; i < xs.size(); ++i) {
    text += "\n" + std::to_string(i + 1) + "," + xs[i] + "," + std::to_string(i % 7) +
            (i % 2 == 0 ? ",a" : ",b");
    for (int c = 0; c < extraColumns; ++c) text += "," + std::to_string((i * 31 + c) % 1000);
  }
  return text + "\n";
}

struct HostileCase {
  std::string name, settings, data;
  bool overflows = false;                 // a failing run must name an overflow status
  std::vector<std::string> message = {};  // parts of the failing run's message
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<HostileCase> Cases() {
  const std::string mega(1 << 20, '7');
  const double huge = 1e308;
  const std::vector<std::string> extremes = {"1e308", "-1e308", "1e308", "-1e308", "0", "1e307"};
  return {
      {"TenThousandColumns", Settings(), Rows({"0", "1", "2", "3", "4", "5", "6", "7"}, 10000)},
      {"MegabyteTextCell", Settings(), "id,x,w,y\n1,1,1,a\n2,2,2,b\n3,3,3," + mega + "q\n"},
      {"MegabyteHeader", Settings(), mega + "q\n1\n"},
      {"HugeNumbersRescaled", Settings(huge, true), Rows(extremes), true},
      {"HugeNumbersUnscaled", Settings(huge, false), Rows(extremes), true},
      {"HugeContinuousTarget", Settings(huge, false, true),
       "id,x,w,y\n1,1e308,1,1e308\n2,-1e308,2,-1e308\n3,1e308,3,-1e308\n4,-1e308,4,1e308\n", true},
      {"NulBytes", Settings(), std::string("id,x,w,y\n1,1\0,1,a\n2,2,2,b\n", 25)},
      {"InvalidUtf8", Settings(), "id,x,w,y\n1,1,1,\xC3\x28\n2,2,2,\xFF\xFE\n3,3,3,a\n"},
      // clang-format off
      // The message for a bad cell quoted the whole cell: a megabyte cell, a megabyte message.
      {"Regression_MessageRepeatedAWholeMegabyteCell", Settings(), Rows({"1", "1" + mega + "x"}),
       false, {"column 'x'", "'1777777777", "...' is not a number"}},
      // A quoted cell with a line break split the one-line message over several lines.
      {"Regression_MessageSpannedLinesForACellWithALineBreak", Settings(),
       Rows({"\"4\r\n2\"", "3"}), false, {"'4\\r\\n2' is not a number"}}};
  // clang-format on
}

class HostileDataTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileDataTest, GivesAModelOrOneLine) {
  const HostileCase& c = GetParam();
  clitest::TempDir dir;
  reltest::ScratchFolder tmp;  // the run's system temporary folder
  knntest::ScopedEnv tmpdir("TMPDIR", tmp.Path().c_str());
  clitest::WriteText(dir.File("settings.xml"), c.settings);
  clitest::WriteText(dir.File("train.csv"), c.data);
  const int exitCode = clitest::WaitForExit(
      clitest::StartKnn({"build", "settings.xml", "train.csv", "-o", "model.pmml", "-q"},
                        dir.Path(), dir.File("out.txt"), dir.File("err.txt")),
      /*timeoutSeconds=*/120.0);
  const std::string err = clitest::ReadText(dir.File("err.txt"));
  ASSERT_NE(exitCode, -1) << "crashed or timed out; stderr: " << err.substr(0, 500);
  std::vector<std::string> files = {"err.txt", "out.txt", "settings.xml", "train.csv"};
  if (exitCode == 0) {
    files.insert(files.begin() + 1, "model.pmml");
    const std::string model = clitest::ReadText(dir.File("model.pmml"));
    EXPECT_TRUE(knntest::IsWellFormed(model));
    for (const char* bad : {"\"inf\"", "\"-inf\"", "\"nan\"", "\"-nan\"", ">inf<", ">nan<"}) {
      EXPECT_EQ(model.find(bad), std::string::npos) << "the model holds " << bad;
    }
  } else {
    EXPECT_TRUE(exitCode == 1 || exitCode == 2) << exitCode;
    EXPECT_EQ(clitest::Lines(err).size(), 1u) << err.substr(0, 300);
    EXPECT_LE(err.size(), 1000u) << "the message repeats the hostile input";
    EXPECT_TRUE(clitest::Contains(err, c.message));
    // A distance or squared error that cannot be formed (200064, 200059), met while selecting
    // K (200062) or scoring the training cases (200063); a predictor rescaled to one value
    // everywhere is constant (200035).
    if (exitCode == 1 && c.overflows) {
      EXPECT_TRUE(std::regex_search(err, std::regex("2000(64|59|62|63|35)"))) << err;
    }
  }
  EXPECT_TRUE(c.message.empty() || exitCode == 2) << exitCode;
  EXPECT_EQ(dir.Entries(), files) << "a partial model was left behind";
  EXPECT_TRUE(tmp.Entries().empty()) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Files, HostileDataTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
