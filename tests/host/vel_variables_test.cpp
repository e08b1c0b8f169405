#include "host/vel_variables.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <memory>

#include "host/vel_missing.h"

namespace VelMTD {
namespace {

VelCategories Categories(const std::vector<std::string>& values, bool numeric) {
  VelCategories categories;
  for (const std::string& value : values) {
    categories.Add(value, numeric ? std::stod(value) : 0.0, nullptr);
  }
  return categories;
}

TEST(VelCategoriesTest, FindCodeMatchesTextOrNumber) {
  const VelCategories text = Categories({"a", "b", "1"}, false);
  EXPECT_EQ(text.FindCode("b", false), 1);
  EXPECT_EQ(text.FindCode("1", false), 2);
  EXPECT_EQ(text.FindCode("1.0", false), -1);
  EXPECT_EQ(text.FindCode("B", false), -1);
  EXPECT_EQ(text.FindCode("", false), -1);

  const VelCategories numbers = Categories({"0", "1", "2.5"}, true);
  struct Case {
    const char* text;
    int code;
  };
  const Case cases[] = {{"1", 1}, {"1.0", 1}, {"2.50", 2}, {"0", 0},    {"-0", 0},  {"3", -1},
                        {"", -1}, {"1x", -1}, {"x", -1},   {"0x1", -1}, {"inf", -1}};
  for (const Case& c : cases) EXPECT_EQ(numbers.FindCode(c.text, true), c.code) << c.text;
}

TEST(VelCategoriesTest, NumericLookupIgnoresTheProcessLocale) {
  const VelCategories numbers = Categories({"0.5", "1.5"}, true);
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* commaLocale = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      commaLocale = name;
      break;
    }
  }
  if (commaLocale == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const int code = numbers.FindCode("1.5", true);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(code, 1) << commaLocale;
}

TEST(VelCategoriesTest, LabelsAreAllOrNone) {
  VelCategories categories;
  const std::string a = "A";
  categories.Add("a", 0, &a);
  categories.Add("b", 0, nullptr);
  // Only labelled additions are kept; the parser guarantees all or none.
  EXPECT_EQ(categories.CategoryLabels(), std::vector<std::string>{"A"});
  EXPECT_EQ(categories.Size(), 2);
}

TEST(VelVariableTest, CategoricalAnswersAndBadIndices) {
  VelCatVar variable("c", true, Categories({"3", "5"}, true));
  EXPECT_EQ(variable.GetMeasureKind(), kNumericCategorical);
  EXPECT_EQ(variable.GetCategoryCount(), 2);
  EXPECT_EQ(variable.CategoryLabel(1), "5");
  EXPECT_EQ(variable.CategoryNumber(0), 3.0);
  for (const int bad : {-1, 2, 100}) {
    EXPECT_EQ(variable.CategoryLabel(bad), "") << bad;
    EXPECT_EQ(variable.CategoryNumber(bad), VelMV::gMissingValue) << bad;
  }
  VelCatVar text("s", false, Categories({"a"}, false));
  EXPECT_EQ(text.GetMeasureKind(), kStringCategorical);
  EXPECT_EQ(text.GetDateKind(), kNoDate);
}

TEST(VelVariableTest, AssignmentTakesDefinitionButKeepsName) {
  VelCatVar target("target", false, Categories({"a"}, false), "shown");
  const VelCatVar source("source", true, Categories({"1", "2", "3"}, true));
  target = source;
  EXPECT_EQ(target.GetName(), "target");
  EXPECT_EQ(target.GetDisplayName(), "shown");
  EXPECT_EQ(target.GetMeasureKind(), kNumericCategorical);
  EXPECT_EQ(target.GetCategoryCount(), 3);
  EXPECT_EQ(target.CategoryNumber(2), 3.0);
}

TEST(VelVariableTest, MissingTextsAndValues) {
  const VelContVar variable("x", -DBL_MAX, DBL_MAX);
  for (const char* text : {"", "NA", "NaN", "?"}) EXPECT_TRUE(variable.IsMissingText(text));
  for (const char* text : {"0", "na", " ", "nan"}) EXPECT_FALSE(variable.IsMissingText(text));
  EXPECT_TRUE(variable.IsMissingValue(VelMV::gMissingValue));
  EXPECT_FALSE(variable.IsMissingValue(-1.0));
}

TEST(VelVarListTest, IndexingAndNames) {
  VelVarList list;
  EXPECT_EQ(list.Add(std::make_unique<VelContVar>("a", 0, 1)), 0);
  EXPECT_EQ(list.Add(std::make_unique<VelCatVar>("b", false, Categories({"x"}, false))), 1);
  EXPECT_EQ(list.Size(), 2);
  EXPECT_EQ(list.FindVariable("b"), 1);
  EXPECT_EQ(list.FindVariable("B"), -1);
  EXPECT_EQ(list.GetVarAt(0)->GetName(), "a");
  EXPECT_EQ(list.GetVarAt(-1), nullptr);
  EXPECT_EQ(list.GetVarAt(2), nullptr);

  std::vector<std::string> names = {"stale"};
  std::string further = "stale";
  list.GetVarNames(names, further);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(further, "");

  list.Clear();
  EXPECT_EQ(list.Size(), 0);
  EXPECT_EQ(list.FindVariable("a"), -1);
}

TEST(VelPowerTest, MultiplyGuardsMissingAndOverflow) {
  EXPECT_EQ(VelPower::Multiply(2.0, 3.5), 7.0);
  EXPECT_EQ(VelPower::Multiply(VelMV::gMissingValue, 1.0), VelMV::gMissingValue);
  EXPECT_EQ(VelPower::Multiply(1.0, VelMV::gMissingValue), VelMV::gMissingValue);
  EXPECT_EQ(VelPower::Multiply(DBL_MAX, 2.0), VelMV::gMissingValue);
  EXPECT_EQ(VelPower::Multiply(-1e200, 1e200), VelMV::gMissingValue);
}

}  // namespace
}  // namespace VelMTD
