// Element names made from field names, and the check that decides whether the field-format
// text may go into the document as markup. libxml2 is the oracle for well-formedness.
#include "pmml/knn_xml_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pmml_support.h"

namespace {

using KNNPMML::EncodeElementName;

TEST(EncodeElementName, ForbiddenCharactersAreEncodedAndTheResultIsAName) {
  const std::pair<const char*, const char*> cases[] = {
      {"dots.and-dashes", "dots.and-dashes"},
      {"x(1)", "x_x28_1_x29_"},
      {"a b", "a_x20_b"},
      {"1st", "_1st"},
      {".x", "_.x"},
      {"tab\there", "tab_x09_here"},
      {"a&b<c>\"'", "a_x26_b_x3C_c_x3E__x22__x27_"},
      {"", ""}};
  for (const auto& [name, encoded] : cases) {
    EXPECT_EQ(EncodeElementName(name), encoded) << name;
    EXPECT_TRUE(*encoded == '\0' || knntest::IsWellFormed(std::string("<") + encoded + "/>"));
  }
}

// Each fragment is judged by the checker and by libxml2 (inside an element that declares
// nothing); both must give the verdict of its group.
TEST(IsWellFormedFragment, AgreesWithLibxml2) {
  const struct {
    bool wellFormed;
    std::vector<std::string> fragments;
  } groups[] = {
      {true, {"", "plain text", "<a>\n <b x='1' y=\"2\">t</b>\n</a>", "<a/><b/>t<c></c>"}},
      {true, {"a &amp; b &lt; &#65; &#x42; &quot;&apos;", "<![CDATA[ <not markup> & ]]>"}},
      {true, {"<!-- a comment --><a/>", "<?target some data?><a/>", "<a xml:lang=\"en\"/>"}},
      {true, {"<p:a xmlns:p=\"urn:x\"><p:b/></p:a>"}},
      {false, {"<a>", "</a>", "<a></b>", "<a><b></a></b>", "]]>", "<1a/>"}},  // structure
      {false, {"a < b", "a & b", "&unknown;", "&#0;", "&#xD800;"}},           // text, references
      {false, {"<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a x=\"<\"/>", "<a x=\"1\"y=\"2\"/>"}},
      {false, {"<p:a/>", "<a p:x=\"1\"/>"}},  // undeclared prefixes
      {false, {"<!-- a -- b -->", "<!-- open", "<![CDATA[ open", "<!DOCTYPE a><a/>"}},
      {false, {"<?xml version=\"1.0\"?><a/>", "text\x01", "bad utf8 \xC3(", "<a>\xEF\xBF\xBE</a>"}},
  };
  for (const auto& group : groups) {
    for (const std::string& fragment : group.fragments) {
      EXPECT_EQ(KNNPMML::IsWellFormedFragment(fragment), group.wellFormed) << fragment;
      EXPECT_EQ(knntest::IsWellFormed("<r>" + fragment + "</r>"), group.wellFormed)
          << "libxml2 on: " << fragment;
    }
  }
}

}  // namespace
