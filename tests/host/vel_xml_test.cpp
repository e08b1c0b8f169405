#include "host/vel_xml.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace VelXML {
namespace {

std::string Appended(const XMLInterface& node, ExportFormat format = ExportFormat()) {
  std::string text;
  node.AppendTo(text, format);
  return text;
}

std::string Written(const XMLInterface& node, bool useUTF8, ExportFormat format = ExportFormat()) {
  std::ostringstream out;
  node.WriteTo(out, format, useUTF8);
  return out.str();
}

TEST(XmlWriters, LayoutIsTheSameThroughBothWriters) {
  std::unique_ptr<XMLElement> root(XMLElement::Create("PMML"));
  root->AddAttribute("z", "4.3");
  root->AddAttribute("a", 3.0);
  XMLElement* header = XMLElement::Create("Header");
  header->AddAttribute("copyright", "A & B \"quoted\"");
  header->AddChild(XMLElement::Create("Application"));
  root->AddChild(header);
  XMLElement* row = XMLElement::Create("Row");
  row->AddText(XMLString::Create("3;0.25"));
  row->AddText(XMLString::Create(" 1 < 2"));
  root->AddChild(row);
  root->AddText(XMLString::Create("tail"));
  EXPECT_EQ(root->AddChild(nullptr), 3);
  const std::string expected =
      "\n<PMML z=\"4.3\" a=\"3\">\n\t<Header copyright=\"A &amp; B &quot;quoted&quot;\">"
      "\n\t\t<Application/>\n\t</Header>\n\t<Row>3;0.25 1 &lt; 2</Row>\n\ttail\n</PMML>";
  EXPECT_EQ(Appended(*root), expected);
  EXPECT_EQ(Written(*root, false), expected);
  EXPECT_EQ(Written(*root, true), expected);

  ExportFormat deep;
  deep.SetDepth(2);
  EXPECT_EQ(Written(*header, true, deep).substr(0, 10), "\n\t\t<Header");
  EXPECT_EQ(Written(*header, true, deep), Appended(*header, deep));
}

TEST(XmlEscape, InvalidCharactersBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"a<b&c>'\t\n\r", "a&lt;b&amp;c&gt;'\t\n\r"},
      {std::string("nul\0bell\x07", 9), "nul" + fffd + "bell" + fffd},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xEF\xBF\xBE", fffd},                // U+FFFE
      {"\xC3", fffd},                        // truncated
      {"\xC0\x80", fffd + fffd},             // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd},  // surrogate
      {"\x80z", fffd + "z"}};                // stray continuation
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(EscapeText(input, false), expected) << input;
    EXPECT_EQ(EscapeText(input + "\"", true), expected + "&quot;") << input;
  }
}

TEST(XmlNumbers, ShortestTextsWithoutLocale) {
  // clang-format off
  const std::pair<double, const char*> cases[] = {
      {-0.0, "0"}, {-2147483648.0, "-2147483648"}, {3e9, "3000000000"}, {1e20, "1e+20"},
      {0.1, "0.1"}, {1.0 / 3.0, "0.333333333333333"}, {1e-20, "1e-20"}, {123456.789, "123456.789"}};
  // clang-format on
  // Number texts must not follow a process locale that writes a decimal comma.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"C", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) == nullptr) continue;
    for (const auto& [value, expected] : cases) {
      std::unique_ptr<XMLElement> element(XMLElement::Create("E"));
      element->AddAttribute("v", value);
      EXPECT_EQ(element->GetAttributes().front().GetValue(), expected) << name << ' ' << value;
    }
    EXPECT_EQ(Format(123456789012.0, true), "123456789012") << name;
    EXPECT_EQ(ReplaceSep(-1.5e-7, "%.15g"), "-1.5e-07") << name;
    EXPECT_EQ(ReplaceSep(1e300, "%.0f").size(), 301u);  // longer than any fixed buffer
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(XmlWriters, TextElementMarkupIsTheElementsOwn) {
  for (const std::string text : {"", "3;0.25;x", "a < b & \"c\"", "caf\xC3\xA9 \x01"}) {
    std::unique_ptr<XMLElement> row(XMLElement::Create("Row"));
    row->AddText(XMLString::Create(text));
    EXPECT_EQ(TextElementMarkup("Row", text), Written(*row, false)) << text;
  }
}

TEST(XmlWriters, TextElementsMarkupIsTheElementsOwn) {
  const std::string names[] = {"ID", "x0", "label"};
  const std::string texts[] = {"1", "-2.5e-07", "a < b & c"};
  for (size_t count = 0; count <= 3; ++count) {
    std::unique_ptr<XMLElement> row(XMLElement::Create("row"));
    for (size_t i = 0; i < count; ++i) {
      XMLElement* cell = XMLElement::Create(names[i]);
      cell->AddText(XMLString::Create(texts[i]));
      row->AddChild(cell);
    }
    std::string markup = "kept";
    AppendTextElementsMarkup(markup, "row", names, texts, count);
    EXPECT_EQ(markup, "kept" + Written(*row, false)) << count;
  }
}

TEST(XmlNumbers, FastTextsMatchPrintfBitForBit) {
  // The common formats skip printf; their texts must be exactly printf's.
  std::mt19937_64 random(7);
  std::vector<double> values = {0.0,     -0.0,   0.5,    1.5,     2.5,     -2.5,
                                1e15,    1e16,   9.5e-5, 1e-5,    0.001,   DBL_MAX,
                                DBL_MIN, 5e-324, 1e21,   123.456, -1e-300, 4503599627370497.0};
  for (int i = 0; i < 20000; ++i) {
    double v;
    const uint64_t bits = random();
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(std::ldexp(static_cast<double>(bits >> 11), -static_cast<int>(bits % 80)));
    values.push_back(static_cast<double>(static_cast<int64_t>(bits) >> (bits % 60)) / 8.0);
    // Decimals of 1 to 16 digits at every scale: the texts of data and distances, and the
    // %g switches between fixed and exponent forms at 1e-4 and 1e15.
    const std::string digits = std::to_string(bits % 10000000000000000ULL);
    const std::string decimal = digits.substr(0, 1 + bits % digits.size()) + "e" +
                                std::to_string(static_cast<int>(bits >> 40) % 44 - 22);
    values.push_back((bits & 1 ? -1.0 : 1.0) * std::strtod(decimal.c_str(), nullptr));
  }
  for (const double v : {1e-4, 9.99999999999999e-5, 0.0001000000000000001, 1e14, 1e15,
                         999999999999999.0, 999999999999999.9, 1.23456789012345e15,
                         1.23456789012345e-5, 1e100, 1e-100, 2.2250738585072014e-308}) {
    values.push_back(v);
    values.push_back(-v);
  }
  // Just below powers of ten (rounding carries through every digit) and around halves of the
  // 15th digit.
  for (int e = -30; e <= 30; ++e) {
    double v = std::pow(10.0, e);
    for (int step = 0; step < 40; ++step) values.push_back(v = std::nextafter(v, 0.0));
    const double half = std::strtod(("1.234567890123455e" + std::to_string(e)).c_str(), nullptr);
    v = half;
    for (int step = 0; step < 20; ++step) values.push_back(v = std::nextafter(v, 0.0));
    v = half;
    for (int step = 0; step < 20; ++step) values.push_back(v = std::nextafter(v, 1e300));
  }
  char expected[512];
  for (const double v : values) {
    for (const char* format : {"%.15g", "%.0f"}) {
      std::snprintf(expected, sizeof expected, format, v);
      ASSERT_EQ(ReplaceSep(v, format), expected) << format << ' ' << v;
    }
  }
}

}  // namespace
}  // namespace VelXML
