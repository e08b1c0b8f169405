#include "report/svg_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "report/svg_test_support.h"

namespace knnreport {
namespace {

struct NumberCase {
  double value;
  int significant;
  const char* expected;
};

TEST(FormatNumberTest, ReadableSignificantDigitsAndSeparators) {
  const NumberCase cases[] = {
      {0.0, 4, "0"},
      {1234567.0, 4, "1,234,567"},  // whole part is never rounded away
      {0.123456, 4, "0.1235"},
      {-9876.4, 4, "-9,876"},
      {100.0, 4, "100"},  // no trailing zeros or dot
      {0.5, 4, "0.5"},
      {999.96, 4, "1,000"},  // rounding carries into a new group
      {3.14159, 2, "3.1"},
      {1e-7, 4, "1e-7"},  // tiny values go scientific
      {-0.00001234, 3, "-1.23e-5"},
      {2.5e20, 4, "2.5e20"},  // huge values go scientific
      {0.0001, 4, "0.0001"},  // the smallest plain value
      {-0.00004, 4, "-4e-5"},
      {1400.0, 4, "1,400"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumber(c.value, c.significant), c.expected) << c.value;
  }
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN()), "n/a");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "n/a");
}

TEST(FormatNumberTest, TicksShareTheStepsDecimals) {
  struct TickCase {
    double value;
    double step;
    const char* expected;
  };
  const TickCase cases[] = {
      {0.1, 0.05, "0.10"},  {0.0, 0.05, "0.00"},  {1500.0, 500.0, "1,500"},
      {-0.2, 0.2, "-0.2"},  {2.0, 1.0, "2"},      {1e-17, 0.1, "0.0"},  // rounding noise is zero
      {-1e-17, 0.1, "0.0"}, {0.25, 0.25, "0.25"}, {30.0, 10.0, "30"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatTick(c.value, c.step), c.expected) << c.value << " step " << c.step;
  }
}

TEST(FormatNumberTest, CountsAndPercentages) {
  EXPECT_EQ(FormatCount(1234567), "1,234,567");
  EXPECT_EQ(FormatCount(-1000), "-1,000");
  EXPECT_EQ(FormatCount(999), "999");
  EXPECT_EQ(FormatCount(0), "0");
  EXPECT_EQ(FormatPercent(0.125), "12.5%");
  EXPECT_EQ(FormatPercent(1.0), "100%");
  EXPECT_EQ(FormatPercent(0.0467), "4.67%");
  EXPECT_EQ(FormatPercent(2.0 / 3.0), "66.7%");
  EXPECT_EQ(FormatPercent(0.0), "0%");
}

TEST(ParseNumberTest, AcceptsWholeFiniteNumbersOnly) {
  const std::pair<const char*, double> good[] = {{"1.5", 1.5},
                                                 {" 2 ", 2.0},
                                                 {"+3", 3.0},
                                                 {"-1e3", -1000.0},
                                                 {"0.333333333333333", 0.333333333333333},
                                                 {"\n7\t", 7.0}};
  for (const auto& [text, expected] : good) {
    double value = 0.0;
    EXPECT_TRUE(ParseNumber(text, value)) << text;
    EXPECT_DOUBLE_EQ(value, expected) << text;
  }
  for (const char* text : {"", " ", "abc", "1.5x", "inf", "-inf", "nan", "1e999", "1,5", "++1",
                           "+-1", "0x10", "1 2"}) {
    double value = 42.0;
    EXPECT_FALSE(ParseNumber(text, value)) << "'" << text << "'";
    EXPECT_EQ(value, 42.0) << "a rejected text must leave the value alone";
  }
}

TEST(EscapeXmlTest, SpecialCharactersAndBadBytes) {
  EXPECT_EQ(EscapeXml("<a href='x'>&\""), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");
  EXPECT_EQ(EscapeXml("a\x01"
                      "b"),
            "ab");  // control characters dropped
  EXPECT_EQ(EscapeXml("tab\tok"), "tab\tok");
  EXPECT_EQ(EscapeXml("\xff"), "\xEF\xBF\xBD");                                  // invalid byte
  EXPECT_EQ(EscapeXml("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");                  // overlong '/'
  EXPECT_EQ(EscapeXml("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
  EXPECT_EQ(EscapeXml("caf\xC3\xA9 \xE6\xBC\xA2"), "caf\xC3\xA9 \xE6\xBC\xA2");
  EXPECT_EQ(EscapeXml("\xE6\xBC"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // truncated sequence
}

TEST(EscapeXmlTest, EscapedTextRoundTripsThroughAnXmlParser) {
  const std::string samples[] = {"plain",
                                 "a<b>&c",
                                 "quote \" and ' apostrophe",
                                 "]]> end of cdata",
                                 "caf\xC3\xA9",
                                 "&amp; already escaped"};
  for (const auto& sample : samples) {
    const std::string escaped = EscapeXml(sample);
    const auto parsed =
        testing::ParseSvg("<svg a=\"" + escaped + "\" b='" + escaped + "'>" + escaped + "</svg>");
    ASSERT_TRUE(parsed.ok) << sample;
    ASSERT_EQ(parsed.elements.size(), 1u);
    EXPECT_EQ(parsed.elements[0].text, sample);
    EXPECT_EQ(parsed.elements[0].attributes.at("a"), sample);
    EXPECT_EQ(parsed.elements[0].attributes.at("b"), sample);
  }
}

TEST(EllipsizeTest, CutsOnCodePointsWithAnEllipsis) {
  EXPECT_EQ(Ellipsize("abcdef", 4), "abc\xE2\x80\xA6");
  EXPECT_EQ(Ellipsize("abcd", 4), "abcd");
  EXPECT_EQ(Ellipsize("\xC3\xA9\xE6\xBC\xA2\xE5\xAD\x97x", 3), "\xC3\xA9\xE6\xBC\xA2\xE2\x80\xA6");
  EXPECT_EQ(Ellipsize("abc", 0), "");
  EXPECT_EQ(CodePointCount("\xC3\xA9\xE6\xBC\xA2x"), 3u);
  EXPECT_EQ(CodePointCount("\xff\xfe"), 2u);
}

}  // namespace
}  // namespace knnreport
