// Cell conversions of the knn host: strict numbers, missing tokens, ISO dates and times.
#include "cell_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace knncli {
namespace {

TEST(CellConversionTest, NumbersAreWholeFiniteTexts) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  };
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
    if (c.ok) {
      EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    } else {
      EXPECT_EQ(value, -99.0) << "a rejected text must leave the value alone: " << c.text;
    }
  }
}

TEST(CellConversionTest, MissingTokens) {
  for (const char* text : {"", "NA", "NaN", "?", "  ", " NA "})
    EXPECT_TRUE(IsMissingToken(text)) << text;
  for (const char* text : {"na", "nan", "0", "N/A", "-"})
    EXPECT_FALSE(IsMissingToken(text)) << text;
}

TEST(CellConversionTest, IsoDatesCountDaysFromTheEpoch) {
  struct Case {
    const char* text;
    bool ok;
    double days;
  };
  // 2024-03-01: 54 years of which 13 leap years, then 31 + 29 days.
  const Case cases[] = {
      {"1970-01-01", true, 0},     {"1969-12-31", true, -1},    {"2000-01-01", true, 10957},
      {"2000-02-29", true, 11016}, {"2024-03-01", true, 19783}, {"2023-02-29", false, 0},
      {"1900-02-29", false, 0},    {"2024-13-01", false, 0},    {"2024-04-31", false, 0},
      {"2024-3-1", false, 0},      {"2024-03-01x", false, 0},   {"20240301", false, 0},
  };
  for (const Case& c : cases) {
    double days = 0.0;
    EXPECT_EQ(ParseIsoDate(c.text, days), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(days, c.days) << c.text;
    }
  }
}

TEST(CellConversionTest, IsoTimesAndDateTimes) {
  double value = 0.0;
  ASSERT_TRUE(ParseIsoTime("13:45:00", value));
  EXPECT_EQ(value, 49500.0);
  ASSERT_TRUE(ParseIsoTime("13:45", value));
  EXPECT_EQ(value, 49500.0);
  ASSERT_TRUE(ParseIsoTime("00:00:01.5", value));
  EXPECT_EQ(value, 1.5);
  ASSERT_TRUE(ParseIsoTime("24:00:00", value));
  EXPECT_EQ(value, 86400.0);
  for (const char* bad :
       {"25:00", "12:60", "12:30:61", "24:00:01", "1:30", "12:30:", "12:30:00."}) {
    EXPECT_FALSE(ParseIsoTime(bad, value)) << bad;
  }
  ASSERT_TRUE(ParseIsoDateTime("2024-03-01T13:45:00", value));
  EXPECT_EQ(value, 19783.0 * 86400.0 + 49500.0);
  ASSERT_TRUE(ParseIsoDateTime("2024-03-01 13:45:00Z", value));
  EXPECT_EQ(value, 19783.0 * 86400.0 + 49500.0);
  ASSERT_TRUE(ParseIsoDateTime("1969-12-31T23:59:59", value));
  EXPECT_EQ(value, -1.0);
  for (const char* bad : {"2024-03-01", "2024-03-01T", "2024-03-01X13:45", "2024-02-30T00:00"}) {
    EXPECT_FALSE(ParseIsoDateTime(bad, value)) << bad;
  }
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
  EXPECT_EQ(NumberText15(2.0), "2");
}

}  // namespace
}  // namespace knncli
