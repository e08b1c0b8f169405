// Drafting a settings document from a CSV file. Drafts are compared with layout whitespace
// removed; that they parse and build is checked through knn infer.
#include "settings_inference.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/cli_process.h"

namespace knncli {
namespace {

TEST(SettingsInferenceTest, DraftsDeclareFieldsRolesAndParameters) {
  const struct {
    std::string csv;
    InferOptions options;
    std::vector<std::string> parts;  // of the draft
  } cases[] = {
      // Numbers are continuous over their observed range; one text makes a column categorical,
      // with its values in first-seen order and no empty category.
      {"ID,size,kind,code\n3,2.5,b,7\n1,-1,a,x\n2,10,b,\n",
       {{"kind"}, "", "", ""},
       {R"(<field name="ID" optype="continuous" dataType="integer" min="1" max="3"/>)",
        R"(<field name="size" optype="continuous" dataType="double" min="-1" max="10"/>)",
        R"(<field name="kind" optype="categorical" dataType="string"><value value="b"/><value value="a"/></field>)",
        R"(<field name="code" optype="categorical" dataType="string"><value value="7"/><value value="x"/></field>)",
        R"(<targets><field name="kind"/></targets><inputs><field name="size"/><field name="code"/></inputs>)",
        R"(<param name="CaseIDVar">ID</param>)", R"(<param name="TempFileDir"></param>)"}},
      // A case ID and a focal flag are generated when absent, under names not taken; names and
      // values are escaped.
      {"focal,\"a<b\"\n1,\"x&\"\"y\"\n2,z\n3,x\n4,z\n",
       {},
       {R"(<field name="id" optype="continuous" dataType="integer" min="1" max="4" generated="row-number"/>)",
        R"(<field name="focal_2" optype="categorical" dataType="integer" default="0"><value value="0"/><value value="1"/>)",
        R"(<param name="FocalVar">focal_2</param>)", R"(<value value="x&amp;&quot;y"/>)",
        R"(<targets></targets><inputs><field name="focal"/><field name="a&lt;b"/></inputs>)"}},
      // Named roles leave the inputs; a label of numbers is still categorical.
      {"key,name,flag,x,y,focal\n10,7,0,1,2,3\n20,8,1,2,3,4\n",
       {{"y"}, "key", "name", "flag"},
       {R"(<inputs><field name="x"/><field name="focal"/></inputs>)",
        R"(<param name="CaseIDVar">key</param><param name="FocalVar">flag</param>)",
        R"(<param name="use_caselabels">true</param><param name="CaseLabelVar">name</param>)",
        R"(<field name="name" optype="categorical")"}},
  };
  for (const auto& c : cases) {
    std::string document, error;
    std::vector<std::string> notes;
    ASSERT_TRUE(InferSettings(c.csv, "train.csv", c.options, document, notes, error)) << error;
    EXPECT_TRUE(
        clitest::Contains(std::regex_replace(document, std::regex(">\\s+<"), "><"), c.parts));
  }
}

TEST(SettingsInferenceTest, NotesConstantColumnsAndRejectsBadFilesAndOptions) {
  std::string document, error;
  std::vector<std::string> notes;
  ASSERT_TRUE(InferSettings("id,x,y\n1,5,1\n2,5,2\n", "t.csv", {}, document, notes, error));
  EXPECT_TRUE(notes.size() == 1 && clitest::Contains(notes[0], {"'x'"}));
  const struct {
    std::string csv;
    InferOptions options;
    const char* mention;
  } cases[] = {
      {"id,x\n1,2\n", {{"nope"}, "", "", ""}, "'nope'"},
      {"name,x\nann,2\n", {{}, "name", "", ""}, "'name'"},  // a case ID must be numeric
      {"id,x\nann,2\n", {}, "'id'"},
      {"id,x\n1,2\n", {{"x", "x"}, "", "", ""}, "twice"},
      {"id,x\n1,2\n3\n", {}, "line 3"},
      {"", {}, "empty"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(InferSettings(c.csv, "train.csv", c.options, document, notes, error)) << c.csv;
    EXPECT_TRUE(clitest::Contains(error, {c.mention})) << c.csv;
  }
}

}  // namespace
}  // namespace knncli
