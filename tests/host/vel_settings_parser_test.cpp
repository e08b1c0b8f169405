#include "host/vel_settings_parser.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using VelCommon::VelStatus;

namespace {

VelStatus Parse(VelSettingsParser& parser, const std::string& fields, const std::string& rest = "",
                const char* root = "settings") {
  std::istringstream in(root == nullptr ? fields
                                        : std::string("<") + root + "><fields>" + fields +
                                              "</fields>" + rest + "</" + root + ">");
  return parser.ParseToDOM(in);
}

// libxml2 must neither read external entities nor print anything on its own.
TEST(SettingsParse, DocumentErrors) {
  const std::pair<std::string, long> malformed[] = {
      // text, line of the error
      {"<settings>\n<fields>\n</settings>\n", 3},
      {"<settings>\n\n  <param name=x>1</param></settings>", 3},
      {"<settings><param name='k'>&nope;</param></settings>", 1},
      {"<?xml version='1.0' encoding='no-such-encoding'?>\n<settings/>", 1},
      {"<settings/>\n<settings/>", 2}};
  const std::string secret = std::filesystem::temp_directory_path() / "vel_parser_secret.txt";
  std::ofstream(secret) << "SECRET";
  VelSettingsParser parser;
  std::string value;
  ::testing::internal::CaptureStderr();
  for (const auto& [text, line] : malformed) {
    const VelStatus status = Parse(parser, text, "", nullptr);
    EXPECT_EQ(status, VelStatus(VelCommon::kHostXmlNotWellFormed, false)) << text;
    EXPECT_EQ(status.GetDiscreteDatum(0), line) << text;
    EXPECT_GT(status.GetDiscreteDatum(1), 0) << text;
  }
  // A failed parse leaves no document behind.
  EXPECT_EQ(parser.GetParameter("k", value).GetErrorCode(), VelCommon::kHostNotParsed);
  EXPECT_EQ(Parse(parser, "", "", "PMML").GetErrorCode(), VelCommon::kHostRootNotSettings);
  Parse(parser,
        "<!DOCTYPE settings [<!ENTITY x SYSTEM 'file://" + secret +
            "'>]><settings><param name='k'>&x;</param></settings>",
        "", nullptr);
  parser.GetParameter("k", value);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  std::remove(secret.c_str());
  EXPECT_EQ(value.find("SECRET"), std::string::npos) << value;
  ASSERT_TRUE(Parse(parser,
                    "<!DOCTYPE settings [<!ENTITY w 'world'>]><settings>"
                    "<param name='k'>a&amp;b &#233; &w;<![CDATA[<x>]]></param></settings>",
                    "", nullptr)
                  .IsOK());
  EXPECT_TRUE(parser.GetParameter("k", value).IsOK());
  EXPECT_EQ(value, "a&b \xC3\xA9 world<x>");
}

TEST(SettingsFields, InvalidDeclarationsNameTheirPosition) {
  const std::string f = "<field name='f' optype=", c = f + "'continuous' dataType='double'",
                    k = f + "'categorical' dataType='string'>";
  // clang-format off
  const std::string bad[] = {
      f + "'ordinal' dataType='string'/>", f + "'continuous' dataType='string'/>",
      "<field name='f' dataType='double'/>",
      "<field name='' optype='continuous' dataType='double'/>",
      "<field name='ok' optype='continuous' dataType='integer'/>", c + " min='2' max='1'/>",
      c + " min='1,5'/>", c + " minimum='0'/>", c + "><value value='1'/></field>",
      f + "'continuous' dataType='date' min='19000'/>",
      f + "'continuous' dataType='integer' generated='x'/>",
      k + "<value value='a'/><value value='b'/><value value='a'/></field>",
      k + "<value value='a' label='A'/><value value='b'/></field>", k + "<value/></field>",
      f + "'categorical' dataType='integer'><value value='1.5'/></field>", "<fiel name='f'/>"};
  // clang-format on
  for (const std::string& declaration : bad) {
    VelSettingsParser parser;
    ASSERT_TRUE(
        Parse(parser, "<field name='ok' optype='continuous' dataType='double'/>" + declaration)
            .IsOK());
    VelMTD::VelVarList list;
    const VelStatus status = parser.FillVarList(list, false);
    EXPECT_EQ(status.GetErrorCode(), VelCommon::kHostInvalidField) << declaration;
    EXPECT_EQ(status.GetDiscreteDatum(0), 1) << declaration;
    EXPECT_EQ(list.Size(), 0) << declaration;
  }
}

TEST(SettingsFields, DeclarationsBecomeVariables) {
  VelSettingsParser parser;
  ASSERT_TRUE(Parse(parser, R"(
    <field name="id" optype="continuous" dataType="integer" min=" -2 " generated="row-number"/>
    <field name="day" optype="continuous" dataType="date" min="1970-01-02" max="2024-03-01"/>
    <field name="species" optype="categorical" dataType="string" displayName="Species">
      <value value="setosa" label="Iris setosa"/><value value="versicolor" label=""/></field>
    <field name="fold" optype="categorical" dataType="integer" default="0">
      <value value="0"/><value value=" 2 "/></field>)")
                  .IsOK());
  VelMTD::VelVarList list;
  list.Add(std::make_unique<VelMTD::VelContVar>("old", 0.0, 1.0));
  ASSERT_TRUE(parser.FillVarList(list, false).IsOK());  // replaces what the list held
  ASSERT_EQ(list.Size(), 4);
  const auto* id = dynamic_cast<const VelMTD::VelContVar*>(list.GetVarAt(0));
  const auto* day = dynamic_cast<const VelMTD::VelContVar*>(list.GetVarAt(1));
  ASSERT_TRUE(id && day);
  EXPECT_TRUE(id->IsGeneratedRowNumber() && id->GetMin() == -2.0 && id->GetMax() == DBL_MAX);
  EXPECT_TRUE(day->GetDateKind() == VelMTD::kDate && day->GetMin() == 1 && day->GetMax() == 19783);
  const VelMTD::IVelVariable *species = list.GetVarAt(2), *fold = list.GetVarAt(3);
  EXPECT_EQ(species->GetDisplayName(), "Species");
  EXPECT_EQ(species->GetCategories()->CategoryLabels(),
            (std::vector<std::string>{"Iris setosa", ""}));
  EXPECT_EQ(fold->GetMeasureKind(), VelMTD::kNumericCategorical);
  EXPECT_EQ(fold->CategoryNumber(1), 2.0);
  EXPECT_TRUE(fold->HasDefault() && fold->GetDefaultText() == "0" && !species->HasDefault());

  // Declarations spread over two <fields> elements share one numbering.
  const std::string a = "<field name='a' optype='continuous' dataType='double'/>";
  ASSERT_TRUE(Parse(parser, a, "<fields>" + a + "</fields>").IsOK());
  EXPECT_EQ(parser.FillVarList(list, false).GetDiscreteDatum(0), 1);
}

// Each getter's answer as text; "-" when the value was left untouched.
std::string Get(VelSettingsParser& p, char type, const char* key, long& code) {
  std::ostringstream out;
  out.precision(15);
  // clang-format off
  bool b = true; int i = -1; double d = -1; std::string s = "-";
  std::vector<std::string> ss = {"-"}; std::vector<double> ds = {-1};
  switch (type) {
    case 'b': code = p.GetParameter(key, b).GetErrorCode(); out << b; break;
    case 'i': code = p.GetParameter(key, i).GetErrorCode(); out << i; break;
    case 'd': code = p.GetParameter(key, d).GetErrorCode(); out << d; break;
    case 's': code = p.GetParameter(key, s).GetErrorCode(); out << s; break;
    case 'l': code = p.GetArray(key, ss).GetErrorCode(); for (auto& x : ss) out << x << '|'; break;
    default: code = p.GetArray(key, ds).GetErrorCode(); for (double x : ds) out << x << '|';
  }
  // clang-format on
  const std::string text = out.str();
  return text == "-1" || text == "-|" || text == "-1|" ? "-" : text;
}

TEST(SettingsKeys, EachTypeReadsItsOwnForm) {
  VelSettingsParser parser;
  ASSERT_TRUE(Parse(parser, "", R"(
      <param name="zero"> 0 </param><param name="int">42</param><param name="empty"></param>
      <param name="self"/><param name="text">  Euclidean </param><param name="huge">1e11</param>
      <param name="twice">1</param><param name="twice"/>
      <param name="list"><item>p</item> <item>a b</item><item/></param>
      <param name="numbers"><item>0.5</item><item> 2 </item></param>
      <param name="stray"><item>a</item>loose</param><param name="nested"><item><b/></item></param>
      <other name="absent">5</other>)")
                  .IsOK());
  struct Case {
    char type;  // b bool, i int, d double, s text, l list, n number list
    const char* key;
    long code;
    const char* expected;
  };
  const long kBad = VelCommon::kHostKeyUnreadable, kNotItems = VelCommon::kHostListNotItems;
  // Number forms themselves are pinned in vel_convert_test.cpp.
  // clang-format off
  const Case cases[] = {
      {'b', "zero", 0, "0"}, {'b', "twice", kBad, "1"}, {'b', "list", kBad, "1"},
      {'i', "int", 0, "42"}, {'i', "huge", kBad, "-"}, {'i', "self", kBad, "-"},
      {'d', "huge", 0, "100000000000"}, {'d', "empty", kBad, "-"}, {'s', "text", 0, "  Euclidean "},
      {'s', "self", 0, ""}, {'s', "absent", 0, "-"}, {'s', "list", kBad, "-"},
      {'l', "list", 0, "p|a b||"}, {'l', "empty", 0, ""}, {'l', "absent", 0, "-"},
      {'l', "nested", kBad, "-"}, {'l', "stray", kNotItems, "-"}, {'l', "int", kNotItems, "-"},
      {'n', "numbers", 0, "0.5|2|"}, {'n', "list", kBad, "-"}};
  // clang-format on
  for (const Case& c : cases) {
    long code = -1;
    EXPECT_EQ(Get(parser, c.type, c.key, code), c.expected) << c.type << ' ' << c.key;
    EXPECT_EQ(code, c.code) << c.type << ' ' << c.key;
  }
}

}  // namespace
