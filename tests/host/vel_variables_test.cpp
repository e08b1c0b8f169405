#include "host/vel_variables.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "host/vel_missing.h"

namespace VelMTD {
namespace {

VelCategories Categories(const std::vector<std::string>& values, bool numeric) {
  VelCategories categories;
  for (const std::string& value : values)
    categories.Add(value, numeric ? std::stod(value) : 0, nullptr);
  return categories;
}

TEST(VelCategoriesTest, FindCodeMatchesTextOrNumber) {
  const VelCategories text = Categories({"a", "b", "1"}, false);
  const VelCategories numbers = Categories({"0", "1", "2.5"}, true);
  const std::tuple<bool, const char*, int> cases[] = {
      // numeric, text, expected code
      {false, "1", 2},   {false, "1.0", -1}, {false, "B", -1}, {true, "1.0", 1},
      {true, "2.50", 2}, {true, "-0", 0},    {true, "3", -1},  {true, "", -1},
      {true, "1x", -1},  {true, "0x1", -1},  {true, "inf", -1}};
  for (const auto& [numeric, value, code] : cases) {
    EXPECT_EQ((numeric ? numbers : text).FindCode(value, numeric), code) << value;
  }
}

TEST(VelVariableTest, CategoriesMissingValuesAndAssignment) {
  VelCatVar variable("c", true, Categories({"3", "5"}, true), "shown");
  for (const int bad : {-1, 2}) {
    EXPECT_EQ(variable.CategoryLabel(bad), "") << bad;
    EXPECT_EQ(variable.CategoryNumber(bad), VelMV::gMissingValue) << bad;
  }
  for (const char* text : {"", "NA", "NaN", "?"}) EXPECT_TRUE(variable.IsMissingText(text));
  for (const char* text : {"0", "na", " ", "nan"}) EXPECT_FALSE(variable.IsMissingText(text));
  EXPECT_TRUE(variable.IsMissingValue(VelMV::gMissingValue) && !variable.IsMissingValue(-1.0));

  // Assignment takes the definition but keeps the name.
  variable = VelCatVar("source", false, Categories({"a", "b", "c"}, false));
  EXPECT_TRUE(variable.GetName() == "c" && variable.GetDisplayName() == "shown");
  EXPECT_TRUE(variable.GetMeasureKind() == kStringCategorical && variable.CategoryLabel(2) == "c");
}

TEST(VelVarListTest, IndexingNamesAndOverflowGuard) {
  VelVarList list;
  list.Add(std::make_unique<VelContVar>("a", 0, 1));
  EXPECT_EQ(list.Add(std::make_unique<VelContVar>("b", 0, 1)), 1);
  EXPECT_TRUE(list.FindVariable("B") == -1 && list.GetVarAt(2) == nullptr);
  std::vector<std::string> names = {"stale"};
  std::string further = "stale";
  list.GetVarNames(names, further);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(further, "");
  // Squares in the distance loops go through this guard.
  EXPECT_EQ(VelPower::Multiply(1.0, VelMV::gMissingValue), VelMV::gMissingValue);
  EXPECT_EQ(VelPower::Multiply(-1e200, 1e200), VelMV::gMissingValue);
}

}  // namespace
}  // namespace VelMTD
