#include "host/vel_display.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(DisplayTest, OneLabelledLinePerCallAndNullSilences) {
  std::ostringstream out;
  VelComponentDisplay::SetOutStream(&out);
  VelComponentDisplay::DisplayS("name", "iris");
  VelComponentDisplay::DisplayB("flag", true);
  VelComponentDisplay::DisplayD("third", 1.0 / 3.0);
  VelComponentDisplay::DisplayIV("indices", {3, 1, 2});
  VelComponentDisplay::DisplayVPD("pairs", {{1.5, 7}, {0.25, 2}});
  const double values[] = {1.0, -2.5};
  VelComponentDisplay::DisplayDV("v", values, 2, true);
  VelComponentDisplay::DisplayText("inner", 3);
  VelComponentDisplay::SetOutStream(nullptr);
  VelComponentDisplay::DisplayI("silenced", 2);
  const std::string text = out.str();
  const size_t third = text.find("third: ");
  ASSERT_NE(third, std::string::npos);
  EXPECT_EQ(std::stod(text.substr(third + 7)), 1.0 / 3.0);  // numbers round-trip
  EXPECT_EQ(text.substr(text.find('\n', third) + 1),
            "indices: 3 1 2\npairs: (1.5, 7) (0.25, 2)\nv:\n\t1\n\t-2.5\n    inner\n");
  EXPECT_EQ(text.substr(0, third), "name: iris\nflag: true\n");
}

}  // namespace
