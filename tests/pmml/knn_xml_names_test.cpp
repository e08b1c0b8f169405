// Element names made from field names, and the check that decides whether the field-format
// text may go into the document as markup. libxml2 is the oracle for well-formedness.
#include "pmml/knn_xml_names.h"

#include <gtest/gtest.h>

#include <string>

#include "support/pmml_support.h"

namespace {

using KNNPMML::EncodeElementName;
using KNNPMML::IsWellFormedFragment;

TEST(EncodeElementName, ForbiddenCharactersAreEncodedAndTheResultIsAName) {
  const struct {
    const char* name;
    const char* encoded;
  } cases[] = {
      {"plain_name", "plain_name"},
      {"x(1)", "x_x28_1_x29_"},
      {"a:b", "a_x3A_b"},
      {"a b", "a_x20_b"},
      {"1st", "_1st"},
      {"-x", "_-x"},
      {".x", "_.x"},
      {"a&b<c>\"'", "a_x26_b_x3C_c_x3E__x22__x27_"},
      {"tab\there", "tab_x09_here"},
      {"", ""},
      {"dots.and-dashes", "dots.and-dashes"},
  };
  for (const auto& c : cases) {
    const std::string encoded = EncodeElementName(c.name);
    EXPECT_EQ(encoded, c.encoded) << c.name;
    if (!encoded.empty()) {
      EXPECT_TRUE(knntest::IsWellFormed("<" + encoded + "/>")) << encoded;
    }
  }
}

TEST(EncodeElementName, DistinctNamesStayDistinctForTypicalClashes) {
  EXPECT_NE(EncodeElementName("a(b"), EncodeElementName("a)b"));
  EXPECT_NE(EncodeElementName("a:b"), EncodeElementName("a;b"));
}

// Every fragment is judged by the checker and by libxml2 (wrapped in an element that
// declares nothing); the two must agree.
TEST(IsWellFormedFragment, AgreesWithLibxml2) {
  const char* fragments[] = {
      "",
      "plain text",
      "<FieldFormats><FieldFormat field=\"spend\" decimals=\"2\"/></FieldFormats>",
      "<a>\n  <b x='1' y=\"2\">t</b>\n</a>\n",
      "<a/><b/>text<c></c>",
      "a &amp; b &lt; &#65; &#x42; &quot;&apos;",
      "<!-- a comment --><a/>",
      "<![CDATA[ <not markup> & ]]>",
      "<?target some data?><a/>",
      "<p:a xmlns:p=\"urn:x\"><p:b/></p:a>",
      "<a xml:lang=\"en\"/>",
      // Not well-formed:
      "<a>",
      "</a>",
      "<a></b>",
      "<a><b></a></b>",
      "a < b",
      "a & b",
      "&unknown;",
      "&#0;",
      "&#xD800;",
      "<a x=1/>",
      "<a x=\"1\" x=\"2\"/>",
      "<a x=\"<\"/>",
      "<a x=\"1\"y=\"2\"/>",
      "<1a/>",
      "<p:a/>",
      "<a p:x=\"1\"/>",
      "<!-- a -- b -->",
      "<!-- open",
      "<![CDATA[ open",
      "]]>",
      "<?xml version=\"1.0\"?><a/>",
      "<!DOCTYPE a><a/>",
      "text\x01",
      "bad utf8 \xC3(",
      "<a>\xEF\xBF\xBE</a>",
  };
  for (const char* fragment : fragments) {
    const bool oracle = knntest::IsWellFormed(std::string("<r>") + fragment + "</r>");
    EXPECT_EQ(IsWellFormedFragment(fragment), oracle) << "fragment: " << fragment;
  }
}

}  // namespace
