// Number texts, vendor tables, Arrays and Parameters, written exactly as the model
// document's readers expect them.
#include "pmml/knn_pmml_tables.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "pmml/knn_xml_archive_element.h"
#include "support/pmml_support.h"

namespace {

using namespace KNNPMML;
using VelXML::XMLElement;

std::string Text(const XMLElement& element) {
  VelXML::ExportFormat format;
  std::string text;
  element.AppendTo(text, format);
  return text;
}

TEST(NumberTexts, FifteenSignificantDigitsWithAFullStop) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.5, "0.5"},
      {2.0, "2"},
      {1e-20, "1e-20"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {-1.7976931348623157e308, "-1.79769313486232e+308"},
      {123456789012345678.0, "1.23456789012346e+17"},
      {-0.25, "-0.25"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), c.text) << c.value;
  // Integers as a stream writes them: no grouping.
  EXPECT_EQ(IntText(std::numeric_limits<int32_t>::min()), "-2147483648");
  EXPECT_EQ(IntText(1234567), "1234567");
  EXPECT_EQ(UIntText(4294967295u), "4294967295");
}

TEST(NumberTexts, DecimalSeparatorIgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string text = NumberText(0.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "0.5");
}

TEST(JoinNumbers, JoinsTheRangeWithSemicolons) {
  const std::vector<double> values{0.5, 2.0, 1e-20};
  EXPECT_EQ(JoinNumbers(values, 0, 3), "0.5;2;1e-20");
  EXPECT_EQ(JoinNumbers(values, 1, 3), "2;1e-20");
  EXPECT_EQ(JoinNumbers(values, 0, 1), "0.5");
  EXPECT_EQ(JoinNumbers(values, 2, 2), "");
}

TEST(Tables, HeaderRowsAndParameterOnAPlainTable) {
  std::unique_ptr<XMLElement> table(XMLElement::Create("SimpleTable"));
  table->AddAttribute("name", "KSelection");
  AddTableHeader(table.get(), "K;error");
  AddTableRow(table.get(), "3;0.25");
  AddTableRow(table.get(), "4;0.2");
  EXPECT_EQ(Text(*table),
            "\n<SimpleTable name=\"KSelection\">"
            "\n\t<RowNames/>"
            "\n\t<ColumnNames>K;error</ColumnNames>"
            "\n\t<Row>3;0.25</Row>"
            "\n\t<Row>4;0.2</Row>"
            "\n</SimpleTable>");
  std::unique_ptr<XMLElement> parameter(AddParameter("selectedFeatures", "integer", "2"));
  EXPECT_EQ(Text(*parameter),
            "\n<Parameter name=\"selectedFeatures\" type=\"integer\" value=\"2\"/>");
}

TEST(Tables, HeaderOnAStreamedTableGoesStraightToItsFile) {
  knntest::ScratchDir scratch;
  std::unique_ptr<KNNXMLArchiveElement> table(
      KNNXMLArchiveElement::CreateStreamed("SimpleTable", false, scratch.Path() + "/"));
  ASSERT_NE(table, nullptr);
  AddTableHeader(table.get(), "ID;a&b");
  EXPECT_EQ(table->GetChildCount(), 2);
  table->GetTempStream()->flush();
  const std::string file = knntest::ReadFile(table->GetTempPath());
  EXPECT_NE(file.find("<RowNames/>"), std::string::npos);
  EXPECT_NE(file.find("<ColumnNames>ID;a&amp;b</ColumnNames>"), std::string::npos);
  AddTableRow(table.get(), "1;2");
  EXPECT_EQ(table->GetChildCount(), 3);
}

TEST(Arrays, IntegerArray) {
  std::unique_ptr<XMLElement> array(MakeArray({5, 0, -3, 2147483647}));
  EXPECT_EQ(Text(*array), "\n<Array type=\"int\" n=\"4\">5 0 -3 2147483647</Array>");
}

TEST(Arrays, StringArrayQuotingAndEscaping) {
  const struct {
    std::vector<std::string> values;
    const char* text;
  } cases[] = {
      // One entry with a space quotes every entry.
      {{"a", "b c", "d"}, "\n<Array type=\"string\" n=\"3\">\"a\" \"b c\" \"d\"</Array>"},
      // A quote is escaped with a backslash; no space, so no quoting.
      {{"x\"y", "z"}, "\n<Array type=\"string\" n=\"2\">x\\\"y z</Array>"},
      {{"back\\slash"}, "\n<Array type=\"string\" n=\"1\">back\\\\slash</Array>"},
      // An empty entry leaves two separators side by side.
      {{"a", "", "b"}, "\n<Array type=\"string\" n=\"3\">a  b</Array>"},
      {{}, "\n<Array type=\"string\" n=\"0\"></Array>"},
      // Escaping and quoting together; XML escaping comes from the host writer.
      {{"\xC3\xA9\"\xC3\xA9;x"}, "\n<Array type=\"string\" n=\"1\">\xC3\xA9\\\"\xC3\xA9;x</Array>"},
      {{"say \"hi\"", "<"}, "\n<Array type=\"string\" n=\"2\">\"say \\\"hi\\\"\" \"&lt;\"</Array>"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<XMLElement> array(MakeStringArray(c.values));
    EXPECT_EQ(Text(*array), c.text);
  }
}

}  // namespace
