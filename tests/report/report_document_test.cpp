// Whatever a file holds, the reader refuses it with a reason or reads it into a valid page.
#include "report/report_document.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "report/report_html.h"
#include "report/svg_test_support.h"

namespace knnreport {
namespace {

class ReportDocumentTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  std::string Write(const std::string& name, const std::string& content) {
    knntest::WriteFile(scratch.Path() + "/" + name, content);
    return scratch.Path() + "/" + name;
  }
  // Returns the reader's error, or "" when it read content; then the page it renders must
  // be whole, its charts must parse and no secret may leak into it.
  std::string ReadAndRender(const std::string& content) {
    ReportDocument document;
    std::string error;
    if (!ReadReportDocument(Write("odd.pmml", content), document, error)) return error;
    std::ostringstream html;
    WriteReportHtml(document, "odd.pmml", html);
    EXPECT_NE(html.str().find("</html>"), std::string::npos);
    EXPECT_EQ(html.str().find("TOP-SECRET"), std::string::npos);
    for (const auto& svg : testing::SvgFragments(html.str())) {
      EXPECT_TRUE(testing::ParseSvg(svg).ok) << svg.substr(0, 200);
    }
    return "";
  }
};

TEST(SplitTest, TableCellsAndStringArrays) {
  EXPECT_EQ(SplitCells("a;b;;c;"), (std::vector<std::string>{"a", "b", "", "c", ""}));
  const std::pair<std::string, std::vector<std::string>> arrays[] = {
      {"\"a\" \"b c\" \"d\"", {"a", "b c", "d"}},
      {"x\\\"y z\\\\w", {"x\"y", "z\\w"}},
      {"\"say \\\"hi\\\"\" \"\"", {"say \"hi\"", ""}},
      {"", {}},
      {"\"unterminated", {"unterminated"}}};
  for (const auto& [text, expected] : arrays) EXPECT_EQ(SplitStringArray(text), expected) << text;
}

// Every odd file is refused with a reason naming the fault, or read and rendered; entities
// and DTDs that point at other files are never loaded ("*": either outcome is right).
TEST_F(ReportDocumentTest, RefusesOrReadsOddDocumentsSafely) {
  const std::string model =
      "<PMML><NearestNeighborModel functionName=\"classification\" numberOfNeighbors=\"K\">";
  const std::string end = "</NearestNeighborModel></PMML>";
  const std::string table = "<Extension><SimpleTable name=\"";
  const std::string quality = "<ModelExplanation><PredictiveModelQuality targetField=\"t\">";
  const std::pair<std::string, std::string> cases[] = {
      {"", "not a well-formed XML document"},
      {"hello, world", "not a well-formed XML document"},
      {"<PMML version=\"4.3\"><Header>\n<DataDictionary>", "not a well-formed XML document"},
      {"<PMML>\n\n\n<Header>\n</PMML>", "line 5"},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE PMML SYSTEM \"" +
           Write("evil.dtd", "<!ENTITY dtdent \"FROM-DTD\">") +
           "\" [\n<!ENTITY ext SYSTEM \"file://" + Write("secret.txt", "TOP-SECRET-CONTENT") +
           "\">\n]>\n<PMML version=\"4.3\"><Header copyright=\"x\"><Application name=\"&ext;\"/>"
           "</Header><NearestNeighborModel functionName=\"&ext;\"/></PMML>",
       "*"},
      {"<PMML><NearestNeighborModel/></PMML>", ""},
      {"<svg><TreeModel functionName=\"regression\"/><Extension/></svg>", ""},
      {model + table + "KSelection\"><Row>x;y</Row><Row>1e9;0.25</Row><Row>-7;1e300</Row>" +
           "<Row/></SimpleTable><Parameter name=\"percentIncorrectlyClassifiedCases\" " +
           "value=\"lots\"/></Extension>" + end,
       ""},
      {model + table + "neighborsDistances\"><Row>1;2;3;0.5</Row><Row>garbage</Row>" +
           "<ColumnNames>ID;id;neighbor1;distance1;prediction1</ColumnNames><Row>1;2</Row>" +
           "<Row>2;3;4;nan;1</Row></SimpleTable></Extension>" + end,
       ""},
      {model + quality + "<ConfusionMatrix><ClassLabels><Array>a b c</Array></ClassLabels>" +
           "<Matrix><Array>1 x</Array><Array>-3</Array></Matrix></ConfusionMatrix>" +
           "</PredictiveModelQuality></ModelExplanation>" + end,
       ""},
      {model + table + "FeatureSelection\"><Row>0;a</Row><Row>one;b;0.2;yes</Row>" +
           "</SimpleTable><SimpleTable name=\"FeatureKSelection\"><Row>1;a;x;0.3;yes</Row>" +
           "</SimpleTable></Extension><MiningSchema><MiningField name=\"a\" " +
           "importance=\"big\" usageType=\"active\"/><MiningField/></MiningSchema>" + end,
       ""},
      {"<PMML><NearestNeighborModel functionName=\"regression\" numberOfNeighbors=\"2\">" + table +
           "neighborsDistances\"><Row>9;2;1;3;0;1;5;6</Row></SimpleTable>" +
           "</Extension><MiningSchema><MiningField name=\"y\" usageType=\"predicted\"/>" +
           "</MiningSchema>" + quality + "</PredictiveModelQuality></ModelExplanation>" +
           "<TrainingInstances recordCount=\"-4\"><InstanceFields><InstanceField " +
           "field=\"y\" column=\"y\"/></InstanceFields><InlineTable><row><y>abc</y></row>" +
           "</InlineTable></TrainingInstances>" + end,
       ""}};
  for (const auto& [content, reason] : cases) {
    SCOPED_TRACE(content);
    const std::string error = ReadAndRender(content);
    if (reason == "*") continue;
    EXPECT_EQ(error.empty(), reason.empty()) << error;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
  ReportDocument document;
  std::string error;
  EXPECT_FALSE(ReadReportDocument(scratch.Path() + "/absent.pmml", document, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

// Random damage to the texts and attribute values of a real document (markup and character
// references intact): the reader and the page must cope with whatever values result.
TEST_F(ReportDocumentTest, SurvivesRandomlyDamagedValues) {
  std::mt19937 random(1234);
  const std::string alphabet = ";;;...--ee0123456789 xX\"'";
  for (const char* fixture : {"small-classification.pmml", "small-regression.pmml"}) {
    const std::string original = knntest::ReadFile(testing::ReportFixture(fixture));
    ASSERT_FALSE(original.empty());
    for (int round = 0; round < 60; ++round) {
      SCOPED_TRACE(::testing::Message() << fixture << " round " << round);
      std::string damaged = original;
      bool inTag = false, inReference = false;
      char quote = 0;
      for (std::size_t i = damaged.find("<Header"); i < damaged.size(); ++i) {
        char& c = damaged[i];
        if (!inTag && c == '<')
          inTag = true;
        else if (inTag && !quote && (c == '"' || c == '\''))
          quote = c;
        else if (inTag && !quote && c == '>')
          inTag = false;
        else if (quote && c == quote)
          quote = 0;
        else if (!inTag || quote) {
          const bool reference = inReference || c == '&';
          inReference = reference && c != ';';
          if (reference || c == '\n' || random() % 20 != 0) continue;
          c = alphabet[random() % alphabet.size()];
          if (quote && c == quote) c = 'x';
        }
      }
      ASSERT_NE(damaged, original);
      EXPECT_EQ(ReadAndRender(damaged), "");
    }
  }
}

}  // namespace
}  // namespace knnreport
