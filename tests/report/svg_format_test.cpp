#include "report/svg_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "report/svg_test_support.h"

namespace knnreport {
namespace {

TEST(FormatNumberTest, NumbersTicksCountsAndPercentages) {
  const std::pair<std::string, const char*> cases[] = {
      {FormatNumber(1234567.0, 4), "1,234,567"},  // whole part is never rounded away
      {FormatNumber(0.123456, 4), "0.1235"},
      {FormatNumber(100.0, 4), "100"},             // no trailing zeros or dot
      {FormatNumber(999.96, 4), "1,000"},          // rounding carries into a new group
      {FormatNumber(-0.00001234, 3), "-1.23e-5"},  // tiny values go scientific
      {FormatNumber(2.5e20, 4), "2.5e20"},         // huge values go scientific
      {FormatNumber(std::numeric_limits<double>::quiet_NaN()), "n/a"},
      {FormatTick(0.1, 0.05), "0.10"},   // ticks share the step's decimals
      {FormatTick(-1e-17, 0.1), "0.0"},  // rounding noise is zero, never -0
      {FormatCount(-1000), "-1,000"},
      {FormatPercent(2.0 / 3.0), "66.7%"}};
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

TEST(ParseNumberTest, AcceptsWholeFiniteNumbersOnly) {
  for (const auto& [text, expected] :
       {std::pair{"1.5", 1.5}, {" 2 ", 2.0}, {"+3", 3.0}, {"-1e3", -1000.0}, {"\n7\t", 7.0}}) {
    double value = 0.0;
    EXPECT_TRUE(ParseNumber(text, value)) << text;
    EXPECT_DOUBLE_EQ(value, expected) << text;
  }
  for (const char* text :
       {"", " ", "abc", "1.5x", "inf", "nan", "1e999", "1,5", "+-1", "0x10", "1 2"}) {
    double value = 42.0;
    EXPECT_FALSE(ParseNumber(text, value)) << "'" << text << "'";
    EXPECT_EQ(value, 42.0) << "a rejected text must leave the value alone";
  }
}

TEST(EscapeXmlTest, SpecialCharactersBadBytesAndCodePoints) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\x01z", "az"},                                          // control characters dropped
      {"\xff", "\xEF\xBF\xBD"},                                  // invalid byte
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"caf\xC3\xA9 \xE6\xBC\xA2", "caf\xC3\xA9 \xE6\xBC\xA2"},
      {"\xE6\xBC", "\xEF\xBF\xBD\xEF\xBF\xBD"}};  // truncated sequence
  for (const auto& [text, expected] : cases) EXPECT_EQ(EscapeXml(text), expected) << text;
  // What is escaped reads back unchanged, in text and in either kind of quoted attribute.
  for (const std::string sample : {"a<b>&c", "quote \" and ' apostrophe", "]]> end", "&amp;"}) {
    const std::string escaped = EscapeXml(sample);
    const auto parsed =
        testing::ParseSvg("<svg a=\"" + escaped + "\" b='" + escaped + "'>" + escaped + "</svg>");
    ASSERT_TRUE(parsed.ok) << sample;
    EXPECT_EQ(parsed.text, sample);
    EXPECT_EQ(parsed.attributes.at("a"), sample);
    EXPECT_EQ(parsed.attributes.at("b"), sample);
  }
  EXPECT_EQ(Ellipsize("abcdef", 4), "abc\xE2\x80\xA6");
  EXPECT_EQ(Ellipsize("\xC3\xA9\xE6\xBC\xA2\xE5\xAD\x97x", 3), "\xC3\xA9\xE6\xBC\xA2\xE2\x80\xA6");
  EXPECT_EQ(CodePointCount("\xC3\xA9\xE6\xBC\xA2x"), 3u);
}

}  // namespace
}  // namespace knnreport
