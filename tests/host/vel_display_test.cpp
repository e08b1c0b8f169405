#include "host/vel_display.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override { VelComponentDisplay::SetOutStream(&out_); }
  void TearDown() override { VelComponentDisplay::SetOutStream(nullptr); }
  std::ostringstream out_;
};

TEST_F(DisplayTest, OneLabelledLinePerCall) {
  VelComponentDisplay::DisplayS("name", "iris");
  VelComponentDisplay::DisplayB("flag", true);
  VelComponentDisplay::DisplayI("count", -150);
  VelComponentDisplay::DisplayD("error", 0.1);
  VelComponentDisplay::DisplayIV("indices", {3, 1, 2});
  VelComponentDisplay::DisplayDV("weights", std::vector<double>{0.5, 2.0});
  VelComponentDisplay::DisplayVPD("pairs", {{1.5, 7}, {0.25, 2}});
  EXPECT_EQ(out_.str(),
            "name: iris\n"
            "flag: true\n"
            "count: -150\n"
            "error: 0.1\n"
            "indices: 3 1 2\n"
            "weights: 0.5 2\n"
            "pairs: (1.5, 7) (0.25, 2)\n");
}

TEST_F(DisplayTest, NumbersRoundTrip) {
  const double value = 1.0 / 3.0;
  VelComponentDisplay::DisplayD("third", value);
  const std::string text = out_.str();
  ASSERT_EQ(text.rfind("third: ", 0), 0u);
  EXPECT_EQ(std::stod(text.substr(7)), value);
}

TEST_F(DisplayTest, ArraysOnePerLineAndTextLevels) {
  const double values[] = {1.0, -2.5};
  VelComponentDisplay::DisplayDV("v", values, 2, true);
  VelComponentDisplay::DisplayDV("none", nullptr, 0);
  VelComponentDisplay::DisplayText("top");
  VelComponentDisplay::DisplayText("inner", 3);
  EXPECT_EQ(out_.str(), "v:\n\t1\n\t-2.5\nnone: \ntop\n    inner\n");
}

TEST_F(DisplayTest, NullStreamSilencesAndLastStreamWins) {
  std::ostringstream second;
  VelComponentDisplay::SetOutStream(&second);
  EXPECT_EQ(VelComponentDisplay::GetOutStream(), &second);
  VelComponentDisplay::DisplayI("x", 1);
  VelComponentDisplay::SetOutStream(nullptr);
  VelComponentDisplay::DisplayI("y", 2);
  VelComponentDisplay::DisplayText("z");
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(second.str(), "x: 1\n");
}

}  // namespace
