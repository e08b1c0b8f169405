// Cell conversions of the knn host: strict numbers, missing tokens, ISO dates and times.
#include "cell_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace knncli {
namespace {

struct Case {
  const char* text;
  bool ok;
  double value;
};

TEST(CellConversionTest, NumbersAreWholeFiniteTexts) {
  const Case cases[] = {
      {"5.1", true, 5.1},    {" 7 ", true, 7.0},     {"-0.25", true, -0.25}, {"+3", true, 3.0},
      {"1e3", true, 1000.0}, {"2.5E-1", true, 0.25}, {"inf", false, 0},      {"-inf", false, 0},
      {"nan", false, 0},     {"1e999", false, 0},    {"12abc", false, 0},    {"", false, 0},
      {"0x10", false, 0},    {"1,5", false, 0},      {"--1", false, 0},      {"Infinity", false, 0},
      {"+", false, 0},       {"1 2", false, 0},
  };
  for (const Case& c : cases) {
    double value = -99.0;
    EXPECT_EQ(ParseFiniteNumber(c.text, value), c.ok) << c.text;
    // A rejected text must leave the value alone.
    EXPECT_DOUBLE_EQ(value, c.ok ? c.value : -99.0) << c.text;
  }
  for (const char* text : {"", "NA", "NaN", "?", "  ", " NA "}) {
    EXPECT_TRUE(IsMissingToken(text)) << text;
  }
  for (const char* text : {"na", "nan", "0", "N/A", "-"})
    EXPECT_FALSE(IsMissingToken(text)) << text;
}

TEST(CellConversionTest, DatesCountDaysAndTimesSecondsFromTheEpoch) {
  // 2024-03-01: 54 years of which 13 leap years, then 31 + 29 days; 13:45 is 49500 seconds.
  constexpr double kDay = 86400.0;
  const Case dates[] = {
      {"1970-01-01", true, 0},     {"1969-12-31", true, -1},    {"2000-01-01", true, 10957},
      {"2000-02-29", true, 11016}, {"2024-03-01", true, 19783}, {"2023-02-29", false, 0},
      {"1900-02-29", false, 0},    {"2024-13-01", false, 0},    {"2024-04-31", false, 0},
      {"2024-3-1", false, 0},      {"2024-03-01x", false, 0},   {"20240301", false, 0},
  };
  const Case times[] = {
      {"13:45:00", true, 49500}, {"13:45", true, 49500},  {"00:00:01.5", true, 1.5},
      {"24:00:00", true, kDay},  {"25:00", false, 0},     {"12:60", false, 0},
      {"12:30:61", false, 0},    {"24:00:01", false, 0},  {"1:30", false, 0},
      {"12:30:", false, 0},      {"12:30:00.", false, 0},
  };
  const Case dateTimes[] = {
      {"2024-03-01T13:45:00", true, 19783 * kDay + 49500},
      {"2024-03-01 13:45:00Z", true, 19783 * kDay + 49500},
      {"1969-12-31T23:59:59", true, -1},
      {"2024-03-01", false, 0},
      {"2024-03-01T", false, 0},
      {"2024-03-01X13:45", false, 0},
      {"2024-02-30T00:00", false, 0},
  };
  const auto check = [](const auto& cases, bool (*parse)(std::string_view, double&)) {
    for (const Case& c : cases) {
      double value = 0.0;
      EXPECT_EQ(parse(c.text, value), c.ok) << c.text;
      if (c.ok) {
        EXPECT_EQ(value, c.value) << c.text;
      }
    }
  };
  check(dates, ParseIsoDate);
  check(times, ParseIsoTime);
  check(dateTimes, ParseIsoDateTime);
}

TEST(CellConversionTest, NumberTexts) {
  for (const double value : {4.3, 0.1, -7.25, 1e-300, 123456789.125, 2.0 / 3.0}) {
    double back = 0.0;
    ASSERT_TRUE(ParseFiniteNumber(ShortestNumberText(value), back));
    EXPECT_EQ(back, value) << "shortest text must read back exactly";
  }
  EXPECT_EQ(ShortestNumberText(4.3), "4.3");
  EXPECT_EQ(ShortestNumberText(150.0), "150");
  EXPECT_EQ(NumberText15(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(NumberText15(0.1 + 0.2), "0.3");
}

}  // namespace
}  // namespace knncli
