#include "host/vel_xml.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

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

XMLElement* WithText(const std::string& name, const std::string& text) {
  XMLElement* element = XMLElement::Create(name);
  element->AddText(XMLString::Create(text));
  return element;
}

// A model-document-like tree exercising every layout rule at once.
std::unique_ptr<XMLElement> SampleTree() {
  std::unique_ptr<XMLElement> root(XMLElement::Create("PMML"));
  root->AddAttribute("version", "4.3");
  XMLElement* header = XMLElement::Create("Header");
  header->AddAttribute("copyright", "A & B \"quoted\"");
  header->AddChild(XMLElement::Create("Application"));
  root->AddChild(header);
  XMLElement* table = XMLElement::Create("Table");
  table->AddAttribute("n", 3.0);
  table->AddChild(XMLElement::Create("RowNames"));
  table->AddChild(WithText("ColumnNames", "K;error"));
  table->AddChild(WithText("Row", "3;0.25"));
  root->AddChild(table);
  root->AddText(XMLString::Create("tail < text"));
  return root;
}

TEST(XmlLayout, ElementsNestOneTabPerLevel) {
  struct Case {
    const char* what;
    std::unique_ptr<XMLElement> element;
    const char* expected;
  };
  std::unique_ptr<XMLElement> empty(XMLElement::Create("A"));

  std::unique_ptr<XMLElement> attributes(XMLElement::Create("A"));
  attributes->AddAttribute("z", "1");
  attributes->AddAttribute("a", "two");

  std::unique_ptr<XMLElement> nested(XMLElement::Create("A"));
  XMLElement* b = XMLElement::Create("B");
  b->AddChild(XMLElement::Create("C"));
  nested->AddChild(b);
  nested->AddChild(XMLElement::Create("D"));

  std::unique_ptr<XMLElement> inlineText(WithText("Row", "a;b"));

  std::unique_ptr<XMLElement> twoTexts(WithText("Row", "a"));
  twoTexts->AddText(XMLString::Create("b"));

  std::unique_ptr<XMLElement> mixed(XMLElement::Create("A"));
  mixed->AddText(XMLString::Create("hi"));
  mixed->AddChild(WithText("B", "x"));

  // clang-format off
  Case cases[] = {
      {"empty element self-closes", std::move(empty), "\n<A/>"},
      {"attributes in call order", std::move(attributes), "\n<A z=\"1\" a=\"two\"/>"},
      {"nested children", std::move(nested), "\n<A>\n\t<B>\n\t\t<C/>\n\t</B>\n\t<D/>\n</A>"},
      {"text-only content inline", std::move(inlineText), "\n<Row>a;b</Row>"},
      {"several text nodes inline", std::move(twoTexts), "\n<Row>ab</Row>"},
      {"mixed content one node per line", std::move(mixed), "\n<A>\n\thi\n\t<B>x</B>\n</A>"}
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(Appended(*c.element), c.expected) << c.what;
    EXPECT_EQ(Written(*c.element, true), c.expected) << c.what;
  }
}

TEST(XmlLayout, FormatDepthAndFlagsControlTheLead) {
  std::unique_ptr<XMLElement> element(XMLElement::Create("A"));
  element->AddChild(XMLElement::Create("B"));

  ExportFormat deep;
  deep.SetDepth(2);
  EXPECT_EQ(Appended(*element, deep), "\n\t\t<A>\n\t\t\t<B/>\n\t\t</A>");

  ExportFormat noIndent;
  noIndent.SetIndentation(false);
  noIndent.SetDepth(1);
  std::unique_ptr<XMLElement> leaf(XMLElement::Create("L"));
  EXPECT_EQ(Appended(*leaf, noIndent), "\n<L/>");

  ExportFormat sameLine;
  sameLine.SetIsNewParagraph(false);
  sameLine.SetDepth(1);
  EXPECT_EQ(Appended(*leaf, sameLine), "\t<L/>");
}

TEST(XmlLayout, WritingANodeResetsBothFlagsAndRestoresTheDepth) {
  std::unique_ptr<XMLElement> parent(XMLElement::Create("A"));
  parent->AddChild(WithText("B", "x"));
  std::unique_ptr<XMLString> text(XMLString::Create("t"));
  for (const XMLInterface* node : {static_cast<const XMLInterface*>(parent.get()),
                                   static_cast<const XMLInterface*>(text.get())}) {
    ExportFormat format;
    format.SetIsNewParagraph(false);
    format.SetIndentation(false);
    format.SetDepth(3);
    std::string out;
    node->AppendTo(out, format);
    EXPECT_TRUE(format.IsNewParagraph() && format.HasIndentation());
    EXPECT_EQ(format.GetDepth(), 3);
  }
}

TEST(XmlEscape, TextAndAttributeEscapes) {
  struct Case {
    std::string input;
    std::string asText;
    std::string asAttribute;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"plain", "plain", "plain"},
      {"a<b&c>\"d'", "a&lt;b&amp;c&gt;\"d'", "a&lt;b&amp;c&gt;&quot;d'"},
      {"&amp;", "&amp;amp;", "&amp;amp;"},
      {"tab\tlf\ncr\r", "tab\tlf\ncr\r", "tab\tlf\ncr\r"},
      {std::string("nul\0x", 5), "nul" + fffd + "x", "nul" + fffd + "x"},
      {"bell\x07", "bell" + fffd, "bell" + fffd},
      {"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},                 // valid two-byte
      {"\xE2\x82\xAC", "\xE2\x82\xAC", "\xE2\x82\xAC"},              // euro sign
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // beyond the BMP
      {"\xEF\xBF\xBE", fffd, fffd},                                  // U+FFFE
      {"\xC3", fffd, fffd},                                          // truncated
      {"\xC0\x80", fffd + fffd, fffd + fffd},                        // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd, fffd + fffd + fffd},      // surrogate
      {"\x80z", fffd + "z", fffd + "z"},                             // stray continuation
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeText(c.input, false), c.asText) << c.input;
    EXPECT_EQ(EscapeText(c.input, true), c.asAttribute) << c.input;
  }
}

TEST(XmlEscape, NodesEscapeTheirContent) {
  std::unique_ptr<XMLElement> element(WithText("T", "1 < 2 & \"x\""));
  element->AddAttribute("q", "say \"<hi>\"");
  EXPECT_EQ(Appended(*element), "\n<T q=\"say &quot;&lt;hi&gt;&quot;\">1 &lt; 2 &amp; \"x\"</T>");
  XMLAttribute attribute("name", "a&b");
  std::string text;
  attribute.AppendTo(text);
  EXPECT_EQ(text, "name=\"a&amp;b\"");
}

TEST(XmlNumbers, NumericAttributes) {
  struct Case {
    double value;
    const char* expected;
  };
  // clang-format off
  const Case cases[] = {
      {5.0, "5"}, {0.0, "0"}, {-0.0, "0"}, {-3.0, "-3"}, {2147483647.0, "2147483647"},
      {-2147483648.0, "-2147483648"}, {3e9, "3000000000"}, {1e20, "1e+20"}, {0.5, "0.5"},
      {-0.25, "-0.25"}, {0.1, "0.1"}, {1.0 / 3.0, "0.333333333333333"}, {1e-20, "1e-20"},
      {123456.789, "123456.789"}
  };
  // clang-format on
  for (const Case& c : cases) {
    std::unique_ptr<XMLElement> element(XMLElement::Create("E"));
    element->AddAttribute("v", c.value);
    EXPECT_EQ(element->GetAttributes().front().GetValue(), c.expected) << c.value;
  }
}

TEST(XmlNumbers, FormatAndReplaceSep) {
  EXPECT_EQ(Format(12.0, true), "12");
  EXPECT_EQ(Format(-3.0, true), "-3");
  EXPECT_EQ(Format(0.0, true), "0");
  EXPECT_EQ(Format(-0.0, true), "0");
  EXPECT_EQ(Format(123456789012.0, true), "123456789012");
  EXPECT_EQ(Format(2.5, false), "2.5");
  EXPECT_EQ(Format(1e-20, false), "1e-20");
  EXPECT_EQ(Format(2.5, false, "%.3f"), "2.500");
  EXPECT_EQ(ReplaceSep(0.5, "%.15g"), "0.5");
  EXPECT_EQ(ReplaceSep(1e300, "%.0f").size(), 301u);  // longer than any fixed buffer
  EXPECT_EQ(ReplaceSep(-1.5e-7, "%.15g"), "-1.5e-07");
}

// Number texts must not follow a process locale that writes a decimal comma.
TEST(XmlNumbers, ReplaceSepIgnoresACommaLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* commaLocale = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE",
                           "fr_FR", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      char probe[16];
      std::snprintf(probe, sizeof probe, "%.1f", 0.5);
      if (std::string(probe) == "0,5") {
        commaLocale = name;
        break;
      }
    }
  }
  if (commaLocale == nullptr) {
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  const std::string replaced = ReplaceSep(1234.5, "%.15g");
  const std::string formatted = Format(0.25, false);
  std::unique_ptr<XMLElement> element(XMLElement::Create("E"));
  element->AddAttribute("v", 0.75);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(replaced, "1234.5") << commaLocale;
  EXPECT_EQ(formatted, "0.25") << commaLocale;
  EXPECT_EQ(element->GetAttributes().front().GetValue(), "0.75") << commaLocale;
}

TEST(XmlWriters, WriteToMatchesAppendToByteForByte) {
  const auto tree = SampleTree();
  const std::string appended = Appended(*tree);
  EXPECT_EQ(Written(*tree, false), appended);
  EXPECT_EQ(Written(*tree, true), appended);
  ExportFormat deep;
  deep.SetDepth(4);
  ExportFormat deepCopy = deep;
  EXPECT_EQ(Written(*tree, true, deep), Appended(*tree, deepCopy));
  EXPECT_EQ(appended,
            "\n<PMML version=\"4.3\">"
            "\n\t<Header copyright=\"A &amp; B &quot;quoted&quot;\">"
            "\n\t\t<Application/>"
            "\n\t</Header>"
            "\n\t<Table n=\"3\">"
            "\n\t\t<RowNames/>"
            "\n\t\t<ColumnNames>K;error</ColumnNames>"
            "\n\t\t<Row>3;0.25</Row>"
            "\n\t</Table>"
            "\n\ttail &lt; text"
            "\n</PMML>");
}

// A child that records what the stream held when it was asked to write itself.
class ProbeNode : public XMLInterface {
 public:
  explicit ProbeNode(std::string* seen) : seen_(seen) {}
  void AppendTo(std::string& text, ExportFormat& format) const override {
    text += "<probe/>";
    format.SetIsNewParagraph(true);
  }
  void WriteTo(std::ostream& out, ExportFormat& format, bool) const override {
    *seen_ = static_cast<std::ostringstream&>(out).str();
    out << "<probe/>";
    format.SetIsNewParagraph(true);
  }

 private:
  std::string* seen_;
};

TEST(XmlWriters, WriteToStreamsPiecesBeforeChildren) {
  std::string seen;
  std::unique_ptr<XMLElement> root(XMLElement::Create("Root"));
  root->AddAttribute("a", "1");
  XMLElement* inner = XMLElement::Create("Inner");
  inner->AddChild(new ProbeNode(&seen));
  root->AddChild(inner);
  std::ostringstream out;
  ExportFormat format;
  root->WriteTo(out, format, true);
  // The parents' opening markup is already out when the child starts writing.
  EXPECT_EQ(seen, "\n<Root a=\"1\">\n\t<Inner>");
  EXPECT_EQ(out.str(), "\n<Root a=\"1\">\n\t<Inner><probe/>\n\t</Inner>\n</Root>");
}

TEST(XmlWriters, WholeTreeWithDeclaration) {
  std::unique_ptr<XMLElement> root(XMLElement::Create("A"));
  root->AddChild(WithText("B", "x"));
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

  std::ostringstream codePage, utf8, withDocType, compact;
  WriteTree(codePage, nullptr, root.get(), true);
  WriteTreeUTF8(utf8, nullptr, root.get(), true);
  WriteTreeUTF8(withDocType, "A", root.get(), true);
  WriteTree(compact, nullptr, root.get(), false);

  EXPECT_EQ(codePage.str(), declaration + "\n<A>\n\t<B>x</B>\n</A>\n");
  EXPECT_EQ(utf8.str(), codePage.str());
  EXPECT_EQ(withDocType.str(), declaration + "\n<!DOCTYPE A>\n<A>\n\t<B>x</B>\n</A>\n");
  EXPECT_EQ(compact.str(), declaration + "\n<A><B>x</B></A>\n");
}

TEST(XmlTree, ChildrenAreCountedAndOwned) {
  std::unique_ptr<XMLElement> root(XMLElement::Create("A"));
  EXPECT_EQ(root->AddChild(XMLElement::Create("B")), 1);
  EXPECT_EQ(root->AddText(XMLString::Create("t")), 2);
  EXPECT_EQ(root->AddChild(nullptr), 2);
  ASSERT_EQ(root->GetChildren().size(), 2u);
  EXPECT_EQ(static_cast<const XMLElement&>(*root->GetChildren()[0]).GetName(), "B");
}

}  // namespace
}  // namespace VelXML
