// Cell conversions of the knn host: strict numbers, missing tokens, ISO dates and times.
#include "cell_conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace knncli {
namespace {

using Parser = bool (*)(std::string_view, double&);

void Check(Parser parse, std::vector<std::pair<const char*, double>> good,
           std::vector<const char*> bad) {
  for (const auto& [text, expected] : good) {
    double value = 0.0;
    EXPECT_TRUE(parse(text, value) && value == expected) << text << " read as " << value;
  }
  for (const char* text : bad) {
    double value = -99.0;  // a rejected text must leave the value alone
    EXPECT_TRUE(!parse(text, value) && value == -99.0) << text;
  }
}

TEST(CellConversionTest, ParsesWholeFiniteTextsOnlyAndWritesNumbersBack) {
  Check(ParseFiniteNumber, {{" 7 ", 7}, {"2.5E-1", 0.25}, {"+3", 3}},
        {"inf", "nan", "1e999", "12abc", "0x10", "1,5", "1 2", "--1", ""});
  // 2024-03-01: 54 years of which 13 leap years, then 31 + 29 days; 13:45 is 49500 seconds.
  Check(ParseIsoDate, {{"1969-12-31", -1}, {"2000-02-29", 11016}, {"2024-03-01", 19783}},
        {"2023-02-29", "1900-02-29", "2024-04-31", "2024-13-01", "2024-3-1", "2024-03-01x"});
  Check(ParseIsoTime, {{"13:45", 49500}, {"00:00:01.5", 1.5}, {"24:00:00", 86400}},
        {"24:00:01", "12:60", "12:30:61", "1:30", "12:30:", "12:30:00."});
  Check(ParseIsoDateTime,
        {{"2024-03-01T13:45:00", 19783 * 86400.0 + 49500},
         {"2024-03-01 13:45:00Z", 19783 * 86400.0 + 49500},
         {"1969-12-31T23:59:59", -1}},
        {"2024-03-01", "2024-03-01T", "2024-03-01X13:45", "2024-02-30T00:00"});
  for (const char* text : {"na", "nan", "0", "N/A"}) EXPECT_FALSE(IsMissingToken(text)) << text;
  // Shortest texts read back exactly; scored values keep 15 significant digits.
  EXPECT_EQ(ShortestNumberText(0.1 + 0.2) + " " + ShortestNumberText(1e-300),
            "0.30000000000000004 1e-300");
  EXPECT_EQ(ShortestNumberText(4.3) + " " + ShortestNumberText(150.0), "4.3 150");
  EXPECT_EQ(NumberText15(1.0 / 3.0) + " " + NumberText15(0.1 + 0.2), "0.333333333333333 0.3");
}

}  // namespace
}  // namespace knncli
