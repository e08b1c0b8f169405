// Drafting a settings document from a CSV file. The drafts are read back with libxml2 and
// checked field by field.
#include "settings_inference.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <string>
#include <vector>

namespace knncli {
namespace {

// Reads a settings draft and answers XPath string queries on it.
class Draft {
 public:
  explicit Draft(const std::string& text)
      : doc_(xmlReadMemory(text.data(), static_cast<int>(text.size()), "draft.xml", nullptr,
                           XML_PARSE_NONET)) {}
  ~Draft() {
    if (doc_ != nullptr) xmlFreeDoc(doc_);
  }
  bool WellFormed() const { return doc_ != nullptr; }
  std::string Text(const std::string& xpath) const {
    xmlXPathContextPtr context = xmlXPathNewContext(doc_);
    xmlXPathObjectPtr result = xmlXPathEvalExpression(
        reinterpret_cast<const xmlChar*>(("string(" + xpath + ")").c_str()), context);
    std::string text = result != nullptr && result->stringval != nullptr
                           ? reinterpret_cast<const char*>(result->stringval)
                           : "";
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return text;
  }
  std::vector<std::string> Names(const std::string& element) const {
    std::vector<std::string> names;
    for (int i = 1;; ++i) {
      const std::string name =
          Text("/settings/" + element + "/field[" + std::to_string(i) + "]/@name");
      if (name.empty()) return names;
      names.push_back(name);
    }
  }

 private:
  xmlDocPtr doc_;
};

struct Inferred {
  bool ok = false;
  std::string document;
  std::vector<std::string> notes;
  std::string error;
};

Inferred Infer(const std::string& csv, const InferOptions& options = {}) {
  Inferred result;
  result.ok = InferSettings(csv, "train.csv", options, result.document, result.notes, result.error);
  return result;
}

TEST(SettingsInferenceTest, NumberColumnsAreContinuousWithObservedRange) {
  InferOptions options;
  options.targets = {"kind"};
  const Inferred result = Infer("ID,size,kind,code\n3,2.5,b,7\n1,-1,a,x\n2,10,b,\n", options);
  ASSERT_TRUE(result.ok) << result.error;
  Draft draft(result.document);
  ASSERT_TRUE(draft.WellFormed()) << result.document;
  EXPECT_EQ(draft.Text("//field[@name='size']/@optype"), "continuous");
  EXPECT_EQ(draft.Text("//field[@name='size']/@min"), "-1");
  EXPECT_EQ(draft.Text("//field[@name='size']/@max"), "10");
  EXPECT_EQ(draft.Text("//field[@name='ID']/@dataType"), "integer");
  EXPECT_EQ(draft.Text("//field[@name='ID']/@max"), "3");
  // One text among numbers makes the column categorical; values keep first-seen order and the
  // empty cell is no category.
  EXPECT_EQ(draft.Text("//fields/field[@name='code']/@optype"), "categorical");
  EXPECT_EQ(draft.Text("//fields/field[@name='code']/@dataType"), "string");
  EXPECT_EQ(draft.Text("count(//fields/field[@name='code']/value)"), "2");
  EXPECT_EQ(draft.Text("//fields/field[@name='kind']/value[1]/@value"), "b");
  EXPECT_EQ(draft.Text("//fields/field[@name='kind']/value[2]/@value"), "a");
  EXPECT_EQ(draft.Names("targets"), std::vector<std::string>{"kind"});
  EXPECT_EQ(draft.Names("inputs"), (std::vector<std::string>{"size", "code"}));
  EXPECT_EQ(draft.Text("//param[@name='CaseIDVar']"), "ID");
  EXPECT_EQ(draft.Text("//param[@name='SpecifiedK']"), "3");
  EXPECT_EQ(draft.Text("//param[@name='IsAutoKSelection']"), "false");
  EXPECT_EQ(draft.Text("count(//param[@name='TempFileDir'])"), "1");
  EXPECT_EQ(draft.Text("//param[@name='TempFileDir']"), "");
}

TEST(SettingsInferenceTest, GeneratesCaseIdAndFocalFlagWhenAbsent) {
  const Inferred result = Infer("a,b\n1,x\n2,y\n3,x\n4,y\n");
  ASSERT_TRUE(result.ok) << result.error;
  Draft draft(result.document);
  EXPECT_EQ(draft.Text("//fields/field[@name='id']/@generated"), "row-number");
  EXPECT_EQ(draft.Text("//fields/field[@name='id']/@min"), "1");
  EXPECT_EQ(draft.Text("//fields/field[@name='id']/@max"), "4");
  EXPECT_EQ(draft.Text("//param[@name='CaseIDVar']"), "id");
  EXPECT_EQ(draft.Text("//fields/field[@name='focal']/@default"), "0");
  EXPECT_EQ(draft.Text("//fields/field[@name='focal']/@optype"), "categorical");
  EXPECT_EQ(draft.Text("//fields/field[@name='focal']/@dataType"), "integer");
  EXPECT_EQ(draft.Text("count(//fields/field[@name='focal']/value)"), "2");
  EXPECT_EQ(draft.Text("//param[@name='FocalVar']"), "focal");
  EXPECT_EQ(draft.Names("inputs"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(draft.Names("targets").empty());
}

TEST(SettingsInferenceTest, NamedRolesLeaveTheInputs) {
  InferOptions options;
  options.id = "key";
  options.label = "name";
  options.focal = "flag";
  options.targets = {"y"};
  const Inferred result = Infer("key,name,flag,x,y,focal\n10,7,0,1,2,3\n20,8,1,2,3,4\n", options);
  ASSERT_TRUE(result.ok) << result.error;
  Draft draft(result.document);
  EXPECT_EQ(draft.Names("inputs"), (std::vector<std::string>{"x", "focal"}));
  EXPECT_EQ(draft.Text("//param[@name='CaseIDVar']"), "key");
  EXPECT_EQ(draft.Text("//param[@name='FocalVar']"), "flag");
  EXPECT_EQ(draft.Text("//param[@name='use_caselabels']"), "true");
  EXPECT_EQ(draft.Text("//param[@name='CaseLabelVar']"), "name");
  // A label of numbers must still be categorical.
  EXPECT_EQ(draft.Text("//fields/field[@name='name']/@optype"), "categorical");
  EXPECT_EQ(draft.Text("count(//fields/field[@generated])"), "0");
}

TEST(SettingsInferenceTest, AGeneratedFocalFieldAvoidsTakenNames) {
  const Inferred result = Infer("id,focal,x\n1,a,5\n2,b,6\n");
  ASSERT_TRUE(result.ok) << result.error;
  Draft draft(result.document);
  EXPECT_EQ(draft.Text("//param[@name='FocalVar']"), "focal_2");
  EXPECT_EQ(draft.Text("//fields/field[@name='focal_2']/@default"), "0");
}

TEST(SettingsInferenceTest, EscapesNamesAndValues) {
  const Inferred result = Infer("id,\"a<b\",c\n1,2,\"x&\"\"y\"\n2,3,z\n");
  ASSERT_TRUE(result.ok) << result.error;
  Draft draft(result.document);
  ASSERT_TRUE(draft.WellFormed()) << result.document;
  EXPECT_EQ(draft.Text("//fields/field[2]/@name"), "a<b");
  EXPECT_EQ(draft.Text("//fields/field[3]/value[1]/@value"), "x&\"y");
}

TEST(SettingsInferenceTest, NotesConstantColumns) {
  const Inferred result = Infer("id,x,y\n1,5,1\n2,5,2\n");
  ASSERT_TRUE(result.ok) << result.error;
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_NE(result.notes[0].find("'x'"), std::string::npos) << result.notes[0];
}

TEST(SettingsInferenceTest, Errors) {
  struct Case {
    const char* name;
    std::string csv;
    InferOptions options;
    const char* mention;
  };
  InferOptions unknownTarget;
  unknownTarget.targets = {"nope"};
  InferOptions textId;
  textId.id = "name";
  InferOptions twice;
  twice.targets = {"x", "x"};
  InferOptions targetIsId;
  targetIsId.targets = {"id"};
  const Case cases[] = {
      {"unknown target", "id,x\n1,2\n", unknownTarget, "'nope'"},
      {"text case ID", "name,x\nann,2\n", textId, "'name'"},
      {"id column of text", "id,x\nann,2\n", {}, "'id'"},
      {"target twice", "id,x\n1,2\n", twice, "twice"},
      {"target is the ID", "id,x\n1,2\n2,3\n", targetIsId, "'id'"},
      {"ragged row", "id,x\n1,2\n3\n", {}, "line 3"},
      {"empty file", "", {}, "empty"},
  };
  for (const Case& c : cases) {
    const Inferred result = Infer(c.csv, c.options);
    EXPECT_FALSE(result.ok) << c.name;
    EXPECT_NE(result.error.find(c.mention), std::string::npos) << c.name << ": " << result.error;
  }
}

}  // namespace
}  // namespace knncli
