// Drafting a settings document from a CSV file. The drafts are read back with libxml2 and
// checked with XPath queries.
#include "settings_inference.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <string>
#include <utility>
#include <vector>

namespace knncli {
namespace {

// The string value of xpath in doc, "" when it selects nothing.
std::string XPathText(xmlDocPtr doc, const std::string& xpath) {
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathObjectPtr result = xmlXPathEvalExpression(
      reinterpret_cast<const xmlChar*>(("string(" + xpath + ")").c_str()), context);
  std::string text = result != nullptr && result->stringval != nullptr
                         ? reinterpret_cast<const char*>(result->stringval)
                         : "";
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  return text;
}

// The values of the nodes list[1]/attr, list[2]/attr, ... joined by commas.
std::string Joined(xmlDocPtr doc, const std::string& list, const std::string& attr) {
  std::string joined;
  for (int i = 1;; ++i) {
    const std::string item = XPathText(doc, list + "[" + std::to_string(i) + "]/@" + attr);
    if (item.empty()) return joined;
    joined += (i > 1 ? "," : "") + item;
  }
}

// Short queries: "$Name" a parameter, "#field" the values a field lists, "field@attr" an
// attribute of a field declaration, "inputs"/"targets" the names listed there; else XPath.
std::string Query(xmlDocPtr doc, const std::string& key) {
  const std::string field = "//fields/field[@name='" + key.substr(1) + "']";
  if (key == "inputs" || key == "targets")
    return Joined(doc, "/settings/" + key + "/field", "name");
  if (key[0] == '$') return XPathText(doc, "//param[@name='" + key.substr(1) + "']");
  if (key[0] == '#') return Joined(doc, field + "/value", "value");
  const size_t at = key.find('@');
  if (key[0] == '/' || key.rfind("count(", 0) == 0) return XPathText(doc, key);
  return XPathText(doc, "//fields/field[@name='" + key.substr(0, at) + "']/" + key.substr(at));
}

InferOptions Options(std::vector<std::string> targets, std::string id = "", std::string label = "",
                     std::string focal = "") {
  return {std::move(targets), std::move(id), std::move(label), std::move(focal)};
}

TEST(SettingsInferenceTest, DraftsDeclareFieldsRolesAndParameters) {
  struct Case {
    const char* name;
    std::string csv;
    InferOptions options;
    std::vector<std::string> expected;  // "query=value"
  };
  const Case cases[] = {
      // The empty cell is no category; values keep first-seen order.
      {"numbers are continuous over their observed range; one text makes a column categorical",
       "ID,size,kind,code\n3,2.5,b,7\n1,-1,a,x\n2,10,b,\n",
       Options({"kind"}),
       {"size@optype=continuous", "size@min=-1", "size@max=10", "ID@dataType=integer", "ID@max=3",
        "code@optype=categorical", "code@dataType=string", "#code=7,x", "#kind=b,a", "targets=kind",
        "inputs=size,code", "$CaseIDVar=ID", "$SpecifiedK=3", "$IsAutoKSelection=false",
        "count(//param[@name='TempFileDir'])=1", "$TempFileDir="}},
      {"a case ID and a focal flag are generated when absent",
       "a,b\n1,x\n2,y\n3,x\n4,y\n",
       {},
       {"id@generated=row-number", "id@min=1", "id@max=4", "$CaseIDVar=id", "focal@default=0",
        "focal@optype=categorical", "focal@dataType=integer", "#focal=0,1", "$FocalVar=focal",
        "inputs=a,b", "targets="}},
      // A label of numbers is still categorical.
      {"named roles leave the inputs",
       "key,name,flag,x,y,focal\n10,7,0,1,2,3\n20,8,1,2,3,4\n",
       Options({"y"}, "key", "name", "flag"),
       {"inputs=x,focal", "$CaseIDVar=key", "$FocalVar=flag", "$use_caselabels=true",
        "$CaseLabelVar=name", "name@optype=categorical", "count(//fields/field[@generated])=0"}},
      {"a generated focal field avoids taken names",
       "id,focal,x\n1,a,5\n2,b,6\n",
       {},
       {"$FocalVar=focal_2", "focal_2@default=0"}},
      {"names and values are escaped",
       "id,\"a<b\",c\n1,2,\"x&\"\"y\"\n2,3,z\n",
       {},
       {"//fields/field[2]/@name=a<b", "//fields/field[3]/value[1]/@value=x&\"y"}},
  };
  for (const Case& c : cases) {
    std::string document, error;
    std::vector<std::string> notes;
    ASSERT_TRUE(InferSettings(c.csv, "train.csv", c.options, document, notes, error))
        << c.name << ": " << error;
    xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "draft.xml",
                                  nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr) << c.name << ": " << document;
    for (const std::string& check : c.expected) {
      const size_t eq = check.rfind('=');
      EXPECT_EQ(Query(doc, check.substr(0, eq)), check.substr(eq + 1)) << c.name << ": " << check;
    }
    xmlFreeDoc(doc);
  }
}

TEST(SettingsInferenceTest, NotesConstantColumns) {
  std::string document, error;
  std::vector<std::string> notes;
  ASSERT_TRUE(InferSettings("id,x,y\n1,5,1\n2,5,2\n", "t.csv", {}, document, notes, error));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("'x'"), std::string::npos) << notes[0];
}

TEST(SettingsInferenceTest, Errors) {
  const struct {
    const char* name;
    std::string csv;
    InferOptions options;
    const char* mention;
  } cases[] = {
      {"unknown target", "id,x\n1,2\n", Options({"nope"}), "'nope'"},
      {"text case ID", "name,x\nann,2\n", Options({}, "name"), "'name'"},
      {"id column of text", "id,x\nann,2\n", {}, "'id'"},
      {"target twice", "id,x\n1,2\n", Options({"x", "x"}), "twice"},
      {"target is the ID", "id,x\n1,2\n2,3\n", Options({"id"}), "'id'"},
      {"ragged row", "id,x\n1,2\n3\n", {}, "line 3"},
      {"empty file", "", {}, "empty"},
  };
  for (const auto& c : cases) {
    std::string document, error;
    std::vector<std::string> notes;
    EXPECT_FALSE(InferSettings(c.csv, "train.csv", c.options, document, notes, error)) << c.name;
    EXPECT_NE(error.find(c.mention), std::string::npos) << c.name << ": " << error;
  }
}

}  // namespace
}  // namespace knncli
