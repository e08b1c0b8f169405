#include "host/vel_settings_parser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using VelCommon::VelStatus;
using VelMTD::VelCatVar;
using VelMTD::VelContVar;
using VelMTD::VelVarList;

namespace {

std::string Settings(const std::string& fields, const std::string& rest = "") {
  return "<?xml version='1.0' encoding='UTF-8'?>\n<settings>\n<fields>\n" + fields +
         "\n</fields>\n" + rest + "\n</settings>\n";
}

VelStatus Parse(VelSettingsParser& parser, const std::string& text) {
  std::istringstream in(text);
  return parser.ParseToDOM(in);
}

// Parsing the document
TEST(SettingsParse, MalformedDocumentsReportLineAndColumn) {
  struct Case {
    const char* what;
    std::string text;
    long line;  // 0: any positive line
  };
  // clang-format off
  // clang-format off
  const Case cases[] = {
      {"unclosed root", "<settings>\n<fields>\n", 0},
      {"mismatched tag", "<settings>\n<fields>\n</settings>\n", 3}, {"empty document", "", 0},
      {"text only", "hello", 1},
      {"bad attribute", "<settings>\n\n  <param name=x>1</param></settings>", 3},
      {"undeclared entity", "<settings><param name='k'>&nope;</param></settings>", 1},
      {"two roots", "<settings/>\n<settings/>", 2},
      {"undeclared prefix", "<settings><a:b/></settings>", 1}
  };
  // clang-format on
  // clang-format on
  for (const Case& c : cases) {
    VelSettingsParser parser;
    const VelStatus status = Parse(parser, c.text);
    EXPECT_EQ(status, VelStatus(VelCommon::kHostXmlNotWellFormed, false)) << c.what;
    const long line = status.GetDiscreteDatum(0), column = status.GetDiscreteDatum(1, 0);
    EXPECT_TRUE(c.line == 0 ? c.text.empty() || line > 0 : line == c.line) << c.what << line;
    EXPECT_TRUE(status.HasDiscreteDatum(1) && (c.text.empty() || column > 0)) << c.what;
  }
}

TEST(SettingsParse, RootMustBeSettings) {
  VelSettingsParser parser;
  EXPECT_EQ(Parse(parser, "<setting/>").GetErrorCode(), VelCommon::kHostRootNotSettings);
  EXPECT_EQ(Parse(parser, "<PMML><settings/></PMML>").GetErrorCode(),
            VelCommon::kHostRootNotSettings);
  EXPECT_TRUE(Parse(parser, "<?xml version='1.0'?><!-- c --><settings></settings>").IsOK());
}

TEST(SettingsParse, ExternalEntitiesAreNeverRead) {
  const std::string secret = std::filesystem::temp_directory_path() / "vel_parser_secret.txt";
  { std::ofstream(secret) << "SECRET-CONTENT"; }
  const std::string text = "<!DOCTYPE settings [<!ENTITY x SYSTEM 'file://" + secret +
                           "'>]>\n<settings><param name='k'>&x;</param></settings>";
  VelSettingsParser parser;
  const VelStatus status = Parse(parser, text);
  std::string value = "untouched";
  if (status.IsOK()) {
    parser.GetParameter("k", value);
    EXPECT_EQ(value.find("SECRET"), std::string::npos) << value;
  } else {
    EXPECT_EQ(status.GetErrorCode(), VelCommon::kHostXmlNotWellFormed);
  }
  std::remove(secret.c_str());
}

TEST(SettingsParse, InternalEntitiesAndCharacterReferencesExpand) {
  VelSettingsParser parser;
  ASSERT_TRUE(Parse(parser,
                    "<!DOCTYPE settings [<!ENTITY who 'world'>]><settings><param name='k'>a&amp;b "
                    "&#233; &who;<![CDATA[<x>]]></param></settings>")
                  .IsOK());
  std::string value;
  EXPECT_TRUE(parser.GetParameter("k", value).IsOK());
  EXPECT_EQ(value, "a&b \xC3\xA9 world<x>");
}

// libxml2 must not print anything on its own: the host reports the status instead.
TEST(SettingsParse, ErrorsDoNotReachStderr) {
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  FILE* capture = std::tmpfile();
  ASSERT_TRUE(saved >= 0 && capture != nullptr);
  dup2(fileno(capture), STDERR_FILENO);
  {
    VelSettingsParser parser;
    Parse(parser, "<settings>\n<oops></settings>");
    Parse(parser, "<?xml version='1.0' encoding='no-such-encoding'?><settings/>");
    Parse(parser, "<settings>&undefined;</settings>");
  }
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(std::ftell(capture), 0L);
  std::fclose(capture);
}

TEST(SettingsParse, QueriesBeforeAParseAnswerNotParsed) {
  VelSettingsParser parser;
  bool b = false;
  int i = 0;
  double d = 0;
  std::string s;
  std::vector<std::string> names;
  std::vector<double> numbers;
  VelVarList list;
  const std::vector<std::function<VelStatus()>> queries = {
      [&] { return parser.FillVarList(list, false); }, [&] { return parser.GetParameter("k", b); },
      [&] { return parser.GetParameter("k", i); },     [&] { return parser.GetParameter("k", d); },
      [&] { return parser.GetParameter("k", s); },     [&] { return parser.GetArray("k", names); },
      [&] { return parser.GetArray("k", numbers); },   [&] { return parser.GetTargetVars(names); },
      [&] { return parser.GetPredictors(names); }};
  for (const bool afterFailedParse : {false, true}) {  // a failed parse leaves no document
    ASSERT_TRUE(!afterFailedParse || Parse(parser, "<settings/>").IsOK());
    ASSERT_TRUE(!afterFailedParse || !Parse(parser, "<settings>").IsOK());
    for (size_t q = 0; q < queries.size(); ++q) {
      EXPECT_EQ(queries[q]().GetErrorCode(), VelCommon::kHostNotParsed) << q << afterFailedParse;
    }
  }
  EXPECT_TRUE(parser.FillTransDict(list).IsOK());
}

TEST(SettingsParse, SecondParseReplacesTheFirst) {
  VelSettingsParser parser;
  for (const char* name : {"a", "b"}) {
    const std::string field =
        std::string("<field name='") + name + "' optype='continuous' dataType='double'/>";
    ASSERT_TRUE(Parse(parser, Settings(field, "<param name='k'>" +
                                                  std::to_string(name[0] - 'a' + 1) + "</param>"))
                    .IsOK());
  }
  int k = 0;
  EXPECT_TRUE(parser.GetParameter("k", k).IsOK());
  EXPECT_EQ(k, 2);
  VelVarList list;
  ASSERT_TRUE(parser.FillVarList(list, false).IsOK());
  ASSERT_EQ(list.Size(), 1);
  EXPECT_EQ(list.GetVarAt(0)->GetName(), "b");
}

// Field declarations
TEST(SettingsFields, InvalidDeclarationsNameTheirPosition) {
  const std::string good = "<field name='ok' optype='continuous' dataType='double'/>\n";
  const std::string cont = "<field name='f' optype='continuous' dataType='double'";
  const std::string cat = "<field name='f' optype='categorical' dataType='string'";
  struct Case {
    const char* what;
    std::string bad;  // declared after `good`, so at position 1
  };
  const Case cases[] = {
      {"unknown optype", "<field name='f' optype='ordinal' dataType='string'/>"},
      {"unknown dataType", "<field name='f' optype='continuous' dataType='real'/>"},
      {"string continuous", "<field name='f' optype='continuous' dataType='string'/>"},
      {"missing optype", "<field name='f' dataType='double'/>"},
      {"missing dataType", "<field name='f' optype='continuous'/>"},
      {"missing name", "<field optype='continuous' dataType='double'/>"},
      {"empty name", "<field name='' optype='continuous' dataType='double'/>"},
      {"duplicate name", "<field name='ok' optype='continuous' dataType='integer'/>"},
      {"min above max", cont + " min='2' max='1'/>"},
      {"malformed min", cont + " min='1,5'/>"},
      {"infinite max", cont + " max='inf'/>"},
      {"number for a date", "<field name='f' optype='continuous' dataType='date' min='19000'/>"},
      {"date min after max",
       "<field name='f' optype='continuous' dataType='date' min='2024-01-02' max='2024-01-01'/>"},
      {"duplicate category", cat + "><value value='a'/><value "
                                   "value='b'/><value value='a'/></field>"},
      {"malformed numeric category",
       "<field name='f' optype='categorical' dataType='integer'><value value='one'/></field>"},
      {"fraction in integer category",
       "<field name='f' optype='categorical' dataType='integer'><value value='1.5'/></field>"},
      {"value without value", cat + "><value label='x'/></field>"},
      {"mixed labels", cat + "><value value='a' label='A'/><value "
                             "value='b'/></field>"},
      {"categories on continuous", cont + "><value value='1'/></field>"},
      {"unknown child", cat + "><v/></field>"},
      {"unknown attribute", cont + " minimum='0'/>"},
      {"generated other than row-number",
       "<field name='f' optype='continuous' dataType='integer' generated='random'/>"},
      {"generated with default",
       "<field name='f' optype='continuous' dataType='integer' generated='row-number' "
       "default='1'/>"},
      {"not a field element", "<fiel name='f' optype='continuous' dataType='double'/>"}};
  for (const Case& c : cases) {
    VelSettingsParser parser;
    ASSERT_TRUE(Parse(parser, Settings(good + c.bad)).IsOK()) << c.what;
    VelVarList list;
    const VelStatus status = parser.FillVarList(list, false);
    EXPECT_EQ(status.GetErrorCode(), VelCommon::kHostInvalidField) << c.what;
    EXPECT_EQ(status.GetDiscreteDatum(0), 1) << c.what;
    EXPECT_EQ(list.Size(), 0) << c.what;
  }
}

TEST(SettingsFields, ContinuousFieldsAndTheirRanges) {
  struct Case {
    std::string declaration;
    int dateKind;
    double min;
    double max;
  };
  const Case cases[] = {
      {"dataType='double' min='4.3' max='7.9'", VelMTD::kNoDate, 4.3, 7.9},
      {"dataType='integer' min=' -2 ' max='+150'", VelMTD::kNoDate, -2.0, 150.0},
      {"dataType='float' min='1e-3'", VelMTD::kNoDate, 1e-3, DBL_MAX},
      {"dataType='double'", VelMTD::kNoDate, -DBL_MAX, DBL_MAX},
      {"dataType='date' min='1970-01-02' max='2024-03-01'", VelMTD::kDate, 1.0, 19783.0},
      {"dataType='time' min='00:00:10' max='13:45:00'", VelMTD::kTime, 10.0, 49500.0},
      {"dataType='dateTime' min='1970-01-01T00:01:00' max='2024-03-01T13:45:00'", VelMTD::kDateTime,
       60.0, 19783.0 * 86400 + 49500.0},
      {"dataType='date'", VelMTD::kDate, -DBL_MAX, DBL_MAX}};
  for (const Case& c : cases) {
    VelSettingsParser parser;
    ASSERT_TRUE(
        Parse(parser, Settings("<field name='x' optype='continuous' " + c.declaration + "/>"))
            .IsOK());
    VelVarList list;
    ASSERT_TRUE(parser.FillVarList(list, false).IsOK()) << c.declaration;
    ASSERT_EQ(list.Size(), 1);
    const auto* variable = dynamic_cast<const VelContVar*>(list.GetVarAt(0));
    ASSERT_NE(variable, nullptr) << c.declaration;
    EXPECT_EQ(variable->GetMeasureKind(), VelMTD::kContinuous);
    EXPECT_EQ(variable->GetDateKind(), c.dateKind) << c.declaration;
    EXPECT_EQ(variable->GetMin(), c.min) << c.declaration;
    EXPECT_EQ(variable->GetMax(), c.max) << c.declaration;
  }
}

TEST(SettingsFields, CategoricalFieldsKeepCategoryOrderAndLabels) {
  VelSettingsParser parser;
  ASSERT_TRUE(Parse(parser, Settings(R"(
    <field name="species" optype="categorical" dataType="string" displayName="Species">
      <value value="setosa" label="Iris setosa"/>
      <value value="versicolor" label=""/>
      <value value="virginica" label="Iris virginica"/>
    </field>
    <field name="fold" optype="categorical" dataType="integer">
      <value value="0"/><value value="1"/><value value=" 2 "/>
    </field>
    <field name="level" optype="categorical" dataType="double"/>)"))
                  .IsOK());
  VelVarList list;
  ASSERT_TRUE(parser.FillVarList(list, false).IsOK());
  ASSERT_EQ(list.Size(), 3);

  const auto* species = dynamic_cast<const VelCatVar*>(list.GetVarAt(0));
  ASSERT_NE(species, nullptr);
  EXPECT_EQ(species->GetMeasureKind(), VelMTD::kStringCategorical);
  EXPECT_EQ(species->GetDisplayName(), "Species");
  EXPECT_EQ(species->GetCategoryCount(), 3);
  const VelMTD::VelCategories* categories = species->GetCategories();
  ASSERT_NE(categories, nullptr);
  EXPECT_EQ(categories->CategoryValue(2), "virginica");
  EXPECT_EQ(categories->CategoryLabels(),
            (std::vector<std::string>{"Iris setosa", "", "Iris virginica"}));
  EXPECT_EQ(categories->FindCode("versicolor", false), 1);

  const auto* fold = dynamic_cast<const VelCatVar*>(list.GetVarAt(1));
  ASSERT_NE(fold, nullptr);
  EXPECT_EQ(fold->GetMeasureKind(), VelMTD::kNumericCategorical);
  EXPECT_TRUE(fold->GetCategories()->CategoryLabels().empty());
  EXPECT_EQ(fold->CategoryNumber(2), 2.0);
  EXPECT_EQ(fold->GetCategories()->FindCode("1.0", true), 1);

  EXPECT_EQ(list.GetVarAt(2)->GetMeasureKind(), VelMTD::kNumericCategorical);
  EXPECT_EQ(list.GetVarAt(2)->GetCategoryCount(), 0);
}

TEST(SettingsFields, DefaultsAndGeneratedRowNumbers) {
  VelSettingsParser parser;
  ASSERT_TRUE(Parse(parser, Settings(R"(
    <field name="id" optype="continuous" dataType="integer" generated="row-number"/>
    <field name="focal" optype="categorical" dataType="integer" default="0">
      <value value="0"/><value value="1"/>
    </field>
    <field name="note" optype="categorical" dataType="string" default=""/>
    <field name="x" optype="continuous" dataType="double"/>)"))
                  .IsOK());
  VelVarList list;
  ASSERT_TRUE(parser.FillVarList(list, false).IsOK());
  ASSERT_EQ(list.Size(), 4);
  const bool generated[] = {true, false, false, false}, hasDefault[] = {false, true, true, false};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list.GetVarAt(i)->IsGeneratedRowNumber(), generated[i]) << i;
    EXPECT_EQ(list.GetVarAt(i)->HasDefault(), hasDefault[i]) << i;
  }
  EXPECT_EQ(list.GetVarAt(1)->GetDefaultText(), "0");
  EXPECT_EQ(list.GetVarAt(2)->GetDefaultText(), "");
}

TEST(SettingsFields, FillingReplacesOrAppendsAndFailsAtomically) {
  const std::string one = "<field name='a' optype='continuous' dataType='double'/>";
  const std::string two = "<field name='b' optype='continuous' dataType='double'/>";
  VelSettingsParser parser;
  ASSERT_TRUE(Parse(parser, Settings(one + two)).IsOK());
  VelVarList list;
  list.Add(std::make_unique<VelContVar>("old", 0.0, 1.0));

  ASSERT_TRUE(parser.FillVarList(list, true).IsOK());
  EXPECT_EQ(list.Size(), 3);
  EXPECT_EQ(list.FindVariable("old"), 0);
  EXPECT_EQ(list.FindVariable("b"), 2);

  // Appending the same fields again would declare each name twice.
  VelStatus status = parser.FillVarList(list, true);
  EXPECT_EQ(status.GetErrorCode(), VelCommon::kHostInvalidField);
  EXPECT_EQ(status.GetDiscreteDatum(0), 0);
  EXPECT_EQ(list.Size(), 3);

  ASSERT_TRUE(parser.FillVarList(list, false).IsOK());
  EXPECT_EQ(list.Size(), 2);
  EXPECT_EQ(list.FindVariable("old"), -1);

  // Fields spread over two <fields> elements keep one numbering.
  ASSERT_TRUE(Parse(parser, Settings(one, "<fields>" + two + two + "</fields>")).IsOK());
  status = parser.FillVarList(list, false);
  EXPECT_EQ(status.GetErrorCode(), VelCommon::kHostInvalidField);
  EXPECT_EQ(status.GetDiscreteDatum(0), 2);
  EXPECT_EQ(list.Size(), 2);
}

// Keys
class SettingsKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Parse(parser_, Settings("", R"(
      <param name="flagTrue">true</param>
      <param name="flagOne"> 1 </param>
      <param name="flagFalse">false</param>
      <param name="flagWord">yes</param>
      <param name="int">42</param>
      <param name="negative">-7</param>
      <param name="fraction">2.5</param>
      <param name="huge">99999999999</param>
      <param name="real">0.01</param>
      <param name="exponent">1e-3</param>
      <param name="comma">0,5</param>
      <param name="empty"></param>
      <param name="selfClosed"/>
      <param name="text">  Euclidean </param>
      <param name="twice">1</param>
      <param name="twice">2</param>
      <param name="list"><item>petal_length</item> <item>a b</item><item/></param>
      <param name="numbers"><item>0.5</item><item> 2 </item></param>
      <param name="badNumbers"><item>0.5</item><item>x</item></param>
      <param name="strayChild"><item>a</item><other>b</other></param>
      <param name="strayText"><item>a</item>loose</param>
      <param name="nestedItem"><item><b>a</b></item></param>
      <param name="structured"><item>a</item></param>
      <other name="int">5</other>)"))
                    .IsOK());
  }
  VelSettingsParser parser_;
};

TEST_F(SettingsKeys, BooleansIntsAndDoubles) {
  struct Case {
    const char* key;
    long code;        // expected status code
    double expected;  // value after the call (the sentinel when untouched)
  };
  constexpr double kSentinel = -123.0;
  // clang-format off
  const Case boolCases[] = {
      {"flagTrue", 0, 1}, {"flagOne", 0, 1}, {"flagFalse", 0, 0}, {"flagWord", 100005, kSentinel},
      {"int", 100005, kSentinel}, {"empty", 100005, kSentinel}, {"absent", 0, kSentinel},
      {"twice", 100005, kSentinel}, {"structured", 100005, kSentinel}
  };
  // clang-format on
  for (const Case& c : boolCases) {
    for (const bool initial : {false, true}) {
      bool value = initial;
      EXPECT_EQ(parser_.GetParameter(c.key, value).GetErrorCode(), c.code) << c.key;
      const bool expected = c.expected == kSentinel ? initial : c.expected != 0;
      EXPECT_EQ(value, expected) << c.key;
    }
  }
  // clang-format off
  const Case intCases[] = {
      {"int", 0, 42}, {"negative", 0, -7}, {"flagOne", 0, 1}, {"fraction", 100005, kSentinel},
      {"huge", 100005, kSentinel}, {"real", 100005, kSentinel}, {"empty", 100005, kSentinel},
      {"selfClosed", 100005, kSentinel}, {"text", 100005, kSentinel}, {"absent", 0, kSentinel},
      {"twice", 100005, kSentinel}
  };
  // clang-format on
  for (const Case& c : intCases) {
    int value = static_cast<int>(kSentinel);
    EXPECT_EQ(parser_.GetParameter(c.key, value).GetErrorCode(), c.code) << c.key;
    EXPECT_EQ(value, static_cast<int>(c.expected)) << c.key;
  }
  // clang-format off
  const Case doubleCases[] = {
      {"real", 0, 0.01}, {"exponent", 0, 1e-3}, {"int", 0, 42}, {"fraction", 0, 2.5},
      {"huge", 0, 99999999999.0}, {"comma", 100005, kSentinel}, {"empty", 100005, kSentinel},
      {"flagTrue", 100005, kSentinel}, {"absent", 0, kSentinel}
  };
  // clang-format on
  for (const Case& c : doubleCases) {
    double value = kSentinel;
    EXPECT_EQ(parser_.GetParameter(c.key, value).GetErrorCode(), c.code) << c.key;
    EXPECT_EQ(value, c.expected) << c.key;
  }
}

TEST_F(SettingsKeys, TextsAreTakenVerbatim) {
  struct Case {
    const char* key;
    long code;
    const char* expected;
  };
  const Case cases[] = {
      {"text", 0, "  Euclidean "}, {"empty", 0, ""},
      {"selfClosed", 0, ""},       {"int", 0, "42"},
      {"absent", 0, "default"},    {"twice", 100005, "default"},
      {"list", 100005, "default"},
  };
  for (const Case& c : cases) {
    std::string value = "default";
    EXPECT_EQ(parser_.GetParameter(c.key, value).GetErrorCode(), c.code) << c.key;
    EXPECT_EQ(value, c.expected) << c.key;
  }
  std::string value = "default";
  EXPECT_TRUE(parser_.GetParameter(nullptr, value).IsOK());
  EXPECT_EQ(value, "default");
}

TEST_F(SettingsKeys, ListsOfItems) {
  const std::vector<std::string> preset = {"preset"};
  struct Case {
    const char* key;
    long code;
    std::vector<std::string> expected;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"list", 0, {"petal_length", "a b", ""}}, {"numbers", 0, {"0.5", " 2 "}}, {"empty", 0, {}},
      {"selfClosed", 0, {}}, {"absent", 0, preset}, {"strayChild", 100004, preset},
      {"strayText", 100004, preset}, {"int", 100004, preset}, {"nestedItem", 100005, preset},
      {"twice", 100005, preset}
  };
  // clang-format on
  for (const Case& c : cases) {
    std::vector<std::string> values = preset;
    EXPECT_EQ(parser_.GetArray(c.key, values).GetErrorCode(), c.code) << c.key;
    EXPECT_EQ(values, c.expected) << c.key;
  }

  std::vector<double> numbers = {-1.0};
  for (const auto& [key, code] : {std::pair<const char*, long>{"badNumbers", 100005},
                                  {"list", 100005},
                                  {"strayChild", 100004},
                                  {"absent", 0}}) {
    EXPECT_EQ(parser_.GetArray(key, numbers).GetErrorCode(), code) << key;
    EXPECT_EQ(numbers, (std::vector<double>{-1.0})) << key;
  }
  EXPECT_TRUE(parser_.GetArray("numbers", numbers).IsOK());
  EXPECT_EQ(numbers, (std::vector<double>{0.5, 2.0}));
}

// Targets and inputs
TEST(SettingsLists, TargetsAndInputsInDocumentOrder) {
  struct Case {
    const char* what;
    std::string rest;
    long code;
    std::vector<std::string> targets;
    std::vector<std::string> inputs;
  };
  const std::vector<Case> cases = {
      {"both lists",
       "<targets><field name='species'/></targets><inputs>\n<field name='b'/> <field "
       "name='a'/><!-- c --><field name='zz'/></inputs>",
       0,
       {"species"},
       {"b", "a", "zz"}},
      {"absent lists", "", 0, {}, {}},
      {"empty lists", "<targets/><inputs></inputs>", 0, {}, {}},
      {"repeats kept", "<inputs><field name='a'/><field name='a'/></inputs>", 0, {}, {"a", "a"}},
  };
  for (const Case& c : cases) {
    VelSettingsParser parser;
    ASSERT_TRUE(Parse(parser, Settings("", c.rest)).IsOK()) << c.what;
    std::vector<std::string> targets = {"stale"}, inputs = {"stale"};
    EXPECT_EQ(parser.GetTargetVars(targets).GetErrorCode(), c.code) << c.what;
    EXPECT_EQ(parser.GetPredictors(inputs).GetErrorCode(), c.code) << c.what;
    EXPECT_EQ(targets, c.targets) << c.what;
    EXPECT_EQ(inputs, c.inputs) << c.what;
  }
}

TEST(SettingsLists, MalformedListsAreErrors) {
  VelSettingsParser parser;
  ASSERT_TRUE(
      Parse(parser, Settings("", "<targets><item name='a'/></targets><inputs><field/></inputs>"))
          .IsOK());
  std::vector<std::string> names = {"stale"};
  EXPECT_EQ(parser.GetTargetVars(names).GetErrorCode(), VelCommon::kHostListNotItems);
  EXPECT_EQ(parser.GetPredictors(names).GetErrorCode(), VelCommon::kHostKeyUnreadable);
  EXPECT_EQ(names, (std::vector<std::string>{"stale"}));
}

// Shipped example documents, when the example folder holds any.
TEST(SettingsExamples, BundledSettingsDocumentsParse) {
  const std::filesystem::path folder = std::filesystem::path(KNN_SOURCE_DIR) / "examples";
  int parsed = 0;
  if (std::filesystem::exists(folder)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (entry.path().extension() != ".xml") continue;
      std::ifstream in(entry.path());
      VelSettingsParser parser;
      ASSERT_TRUE(parser.ParseToDOM(in).IsOK()) << entry.path();
      VelVarList list;
      ASSERT_TRUE(parser.FillVarList(list, false).IsOK()) << entry.path();
      EXPECT_GT(list.Size(), 0) << entry.path();
      std::vector<std::string> inputs;
      ASSERT_TRUE(parser.GetPredictors(inputs).IsOK()) << entry.path();
      for (const std::string& name : inputs) {
        EXPECT_GE(list.FindVariable(name), 0) << entry.path() << ": " << name;
      }
      ++parsed;
    }
  }
  if (parsed == 0) GTEST_SKIP() << "no settings document under " << folder;
}

}  // namespace
