#include "host/vel_convert.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/vel_variables.h"

namespace VelCommon {
namespace {

TEST(ConvertNumbers, DoubleAcceptsWholeFiniteTextsOnly) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  // clang-format off
  const Case cases[] = {
      {"12", 12.0}, {"-3.5", -3.5}, {"+.5", 0.5}, {"1e-20", 1e-20}, {" 2.25\n", 2.25}, {"5.", 5.0},
      {"0", 0.0}, {"", std::nullopt}, {"  ", std::nullopt}, {"1,5", std::nullopt},
      {"1.5x", std::nullopt}, {"x1", std::nullopt}, {"1 2", std::nullopt}, {"inf", std::nullopt},
      {"nan", std::nullopt}, {"1e400", std::nullopt}, {"0x10", std::nullopt}, {"+-1", std::nullopt},
      {"++1", std::nullopt}, {"-", std::nullopt}
  };
  // clang-format on
  for (const Case& c : cases) {
    double value = -777.0;
    const bool ok = ParseDouble(c.text, value);
    EXPECT_EQ(ok, c.expected.has_value()) << '"' << c.text << '"';
    EXPECT_EQ(value, c.expected.value_or(-777.0)) << '"' << c.text << '"';
  }
}

TEST(ConvertNumbers, IntMustFitAndBeWhole) {
  struct Case {
    const char* text;
    std::optional<int> expected;
  };
  // clang-format off
  const Case cases[] = {
      {"7", 7}, {"-12", -12}, {"+4", 4}, {" 9 ", 9}, {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1}, {"2147483648", std::nullopt}, {"-2147483649", std::nullopt},
      {"5.0", std::nullopt}, {"1e3", std::nullopt}, {"0x1A", std::nullopt}, {"", std::nullopt},
      {"three", std::nullopt}
  };
  // clang-format on
  for (const Case& c : cases) {
    int value = -777;
    const bool ok = ParseInt(c.text, value);
    EXPECT_EQ(ok, c.expected.has_value()) << '"' << c.text << '"';
    EXPECT_EQ(value, c.expected.value_or(-777)) << '"' << c.text << '"';
  }
}

TEST(ConvertNumbers, BoolWords) {
  struct Case {
    const char* text;
    std::optional<bool> expected;
  };
  const Case cases[] = {
      {"true", true},         {"1", true},           {" false ", false},  {"0", false},
      {"True", std::nullopt}, {"yes", std::nullopt}, {"2", std::nullopt}, {"", std::nullopt},
      {"truex", std::nullopt}};
  for (const Case& c : cases) {
    for (const bool initial : {false, true}) {
      bool value = initial;
      const bool ok = ParseBool(c.text, value);
      EXPECT_EQ(ok, c.expected.has_value()) << '"' << c.text << '"';
      EXPECT_EQ(value, c.expected.value_or(initial)) << '"' << c.text << '"';
    }
  }
}

TEST(ConvertDates, IsoFormsByKind) {
  struct Case {
    int kind;
    const char* text;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {VelMTD::kDate, "1970-01-01", 0.0},
      {VelMTD::kDate, "1970-01-02", 1.0},
      {VelMTD::kDate, "1969-12-31", -1.0},
      {VelMTD::kDate, "2000-03-01", 11017.0},  // after the 400-year leap day 2000-02-29
      {VelMTD::kDate, "2024-03-01", 19783.0},
      {VelMTD::kDate, "2000-02-29", 11016.0},
      {VelMTD::kDate, "1900-02-29", std::nullopt},  // 1900 is no leap year
      {VelMTD::kDate, "2023-02-29", std::nullopt},
      {VelMTD::kDate, "2024-13-01", std::nullopt},
      {VelMTD::kDate, "2024-04-31", std::nullopt},
      {VelMTD::kDate, "2024-3-1", std::nullopt},
      {VelMTD::kDate, "2024-03-01T00:00:00", std::nullopt},
      {VelMTD::kTime, "00:00:00", 0.0},
      {VelMTD::kTime, "13:45:00", 49500.0},
      {VelMTD::kTime, "23:59:59", 86399.0},
      {VelMTD::kTime, "12:00:00.25", 43200.25},
      {VelMTD::kTime, "24:00:00", std::nullopt},
      {VelMTD::kTime, "12:60:00", std::nullopt},
      {VelMTD::kTime, "12:00", std::nullopt},
      {VelMTD::kTime, "12:00:00.", std::nullopt},
      {VelMTD::kDateTime, "1970-01-01T00:00:00", 0.0},
      {VelMTD::kDateTime, "2024-03-01T13:45:00", 19783.0 * 86400.0 + 49500.0},
      {VelMTD::kDateTime, "1969-12-31T23:59:59", -1.0},
      {VelMTD::kDateTime, "2024-03-01 13:45:00", std::nullopt},
      {VelMTD::kDateTime, "2024-03-01T13:45:00Z", std::nullopt},
      {VelMTD::kDateTime, "2024-03-01", std::nullopt},
      {VelMTD::kNoDate, "2024-03-01", std::nullopt}};
  for (const Case& c : cases) {
    double value = -777.0;
    const bool ok = ParseIsoTemporal(c.text, c.kind, value);
    EXPECT_EQ(ok, c.expected.has_value()) << c.kind << ' ' << c.text;
    EXPECT_EQ(value, c.expected.value_or(-777.0)) << c.kind << ' ' << c.text;
  }
}

}  // namespace
}  // namespace VelCommon
