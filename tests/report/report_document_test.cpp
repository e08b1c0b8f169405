#include "report/report_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "report/report_html.h"
#include "report/svg_test_support.h"

namespace knnreport {
namespace {

using testing::ReportFixture;

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
            ("knn-report-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ / name, std::ios::binary) << content;
    return (path_ / name).string();
  }

 private:
  fs::path path_;
};

ReportDocument ReadOk(const std::string& path) {
  ReportDocument document;
  std::string error;
  EXPECT_TRUE(ReadReportDocument(path, document, error)) << error;
  return document;
}

TEST(ReportDocumentTest, ReadsAClassificationModel) {
  const ReportDocument d = ReadOk(ReportFixture("small-classification.pmml"));
  EXPECT_EQ(d.applicationName, "NearestNeighbor");
  ASSERT_EQ(d.dataFields.size(), 4u);
  EXPECT_EQ(d.dataFields[1].displayName, "Width & <height>");
  EXPECT_EQ(d.dataFields[3].values, (std::vector<std::string>{"a", "b", "type c (Type C)"}));
  EXPECT_EQ(d.dataFields[0].closure, "openClosed");
  ASSERT_EQ(d.models.size(), 1u);
  const ModelEntry& m = d.models[0];
  EXPECT_EQ(m.numberOfNeighbors, "3");
  EXPECT_EQ(m.Target(), "kind");
  ASSERT_TRUE(m.kSelection);
  ASSERT_EQ(m.kSelection->rows.size(), 4u);
  EXPECT_EQ(m.kSelection->rows[2], (std::vector<std::string>{"3", "0.125"}));
  EXPECT_FALSE(m.featureSelection);
  ASSERT_TRUE(m.neighbours);
  EXPECT_EQ(m.neighbours->neighbourCount, 3);
  EXPECT_EQ(m.neighbours->nearestDistances,
            (std::vector<double>{0.1, 0.1, 0.15, 0.3, 0.3, 0.25, 0.05, 0.05}));
  EXPECT_EQ(m.neighbours->finalPredictions, (std::vector<double>{0, 0, 0, 1, 1, 2, 2, 2}));
  ASSERT_TRUE(m.confusion);
  EXPECT_EQ(m.confusion->labels, (std::vector<std::string>{"a", "b", "type c"}));
  EXPECT_EQ(m.confusion->counts,
            (std::vector<std::vector<double>>{{3, 0, 0}, {0, 2, 1}, {0, 0, 2}}));
  ASSERT_NE(m.Parameter("percentIncorrectlyClassifiedCases"), nullptr);
  EXPECT_EQ(*m.Parameter("percentIncorrectlyClassifiedCases"), "0.125");
  EXPECT_EQ(m.Parameter("nonsense"), nullptr);
  EXPECT_EQ(m.miningFields.at(0).importanceText, "0.6");
  EXPECT_EQ(m.knnInputs, (std::vector<std::string>{"norm_x1", "norm_x2"}));
  // The settings are found by structure; the vendor's extension name does not matter.
  ASSERT_FALSE(d.settings.empty());
  EXPECT_EQ(d.settings.front().name, "CaseIDVar");
  EXPECT_TRUE(d.settings.back().isList);
  EXPECT_EQ(d.settings.back().list, (std::vector<std::string>{"x1", "x2"}));
}

TEST(ReportDocumentTest, ReadsARegressionModelWithItsTrainingTargets) {
  const ReportDocument d = ReadOk(ReportFixture("small-regression.pmml"));
  ASSERT_EQ(d.models.size(), 1u);
  const ModelEntry& m = d.models[0];
  EXPECT_EQ(m.sumSquaredErrorText, "1400");
  EXPECT_FALSE(m.confusion);
  ASSERT_TRUE(m.featureKSelection);
  EXPECT_EQ(m.featureKSelection->rows.size(), 5u);
  EXPECT_EQ(m.statsFields, (std::vector<std::string>{"f1", "f3", "f2", "y"}));
  EXPECT_EQ(m.miningFields.at(2).weightText, "0.3");
  EXPECT_EQ(m.targetValues, (std::vector<std::string>{"10", "20", "30", "40", "50", "65"}));
  EXPECT_EQ(m.instanceCaseIds, (std::vector<std::string>{"11", "12", "13", "14", "15", "16"}));
  EXPECT_EQ(m.neighbours->caseIds, m.instanceCaseIds);
  const auto forced = std::find_if(d.settings.begin(), d.settings.end(), [](const SettingEntry& s) {
    return s.name == "ForcedVariables";
  });
  ASSERT_NE(forced, d.settings.end());
  EXPECT_EQ(forced->list, (std::vector<std::string>{"f1"}));
}

TEST(ReportDocumentTest, SplitsTableCellsAndStringArrays) {
  EXPECT_EQ(SplitCells("a;b;;c"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitCells(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitCells("x;"), (std::vector<std::string>{"x", ""}));
  const std::pair<std::string, std::vector<std::string>> arrays[] = {
      {"\"a\" \"b c\" \"d\"", {"a", "b c", "d"}},
      {"no yes", {"no", "yes"}},
      {"  1   2\n3 ", {"1", "2", "3"}},
      {"x\\\"y z\\\\w", {"x\"y", "z\\w"}},
      {"\"say \\\"hi\\\"\" \"\"", {"say \"hi\"", ""}},
      {"", {}},
      {"\"unterminated", {"unterminated"}},
  };
  for (const auto& [text, expected] : arrays) EXPECT_EQ(SplitStringArray(text), expected) << text;
}

TEST(ReportDocumentTest, RejectsWhatIsNotXml) {
  TempDir dir;
  const std::pair<std::string, std::string> cases[] = {
      {"empty.pmml", ""},
      {"text.pmml", "hello, world"},
      {"unclosed.pmml", "<PMML version=\"4.3\"><Header>\n<DataDictionary>"},
      {"mismatch.pmml", "<PMML>\n<Header></DataDictionary>\n</PMML>"},
  };
  for (const auto& [name, content] : cases) {
    ReportDocument document;
    std::string error;
    EXPECT_FALSE(ReadReportDocument(dir.Write(name, content), document, error)) << name;
    EXPECT_NE(error.find("not a well-formed XML document"), std::string::npos) << error;
  }
  ReportDocument document;
  std::string error;
  EXPECT_FALSE(ReadReportDocument(dir.Write("x", "") + ".absent", document, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  std::string lineError;
  ReadReportDocument(dir.Write("late.pmml", "<PMML>\n\n\n<Header>\n</PMML>"), document, lineError);
  EXPECT_NE(lineError.find("line 5"), std::string::npos) << lineError;
}

TEST(ReportDocumentTest, NeverLoadsExternalEntitiesOrDtds) {
  TempDir dir;
  const std::string secret = dir.Write("secret.txt", "TOP-SECRET-CONTENT");
  const std::string document =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE PMML SYSTEM \"" +
      dir.Write("evil.dtd", "<!ENTITY dtdent \"FROM-DTD\">") +
      "\" [\n<!ENTITY ext SYSTEM \"file://" + secret +
      "\">\n]>\n"
      "<PMML version=\"4.3\"><Header copyright=\"x\"><Application name=\"&ext;\"/></Header>"
      "<NearestNeighborModel functionName=\"&ext;\"/></PMML>";
  ReportDocument read;
  std::string error;
  const bool ok = ReadReportDocument(dir.Write("evil.pmml", document), read, error);
  std::ostringstream html;
  if (ok) WriteReportHtml(read, "evil.pmml", html);
  EXPECT_EQ(html.str().find("TOP-SECRET-CONTENT"), std::string::npos);
  EXPECT_EQ(read.applicationName.find("TOP-SECRET"), std::string::npos);
  for (const auto& m : read.models) EXPECT_EQ(m.functionName.find("TOP-SECRET"), std::string::npos);
}

// Documents that are well-formed but odd: each must read, render, and keep its SVG valid.
TEST(ReportDocumentTest, OddDocumentsDegradeGracefully) {
  TempDir dir;
  const std::string model =
      "<PMML xmlns=\"http://www.dmg.org/PMML-4_3\" version=\"4.3\"><NearestNeighborModel "
      "functionName=\"classification\" numberOfNeighbors=\"K\">";
  const std::pair<std::string, std::string> cases[] = {
      {"empty model", "<PMML><NearestNeighborModel/></PMML>"},
      {"no namespace, no models", "<PMML><Header/><DataDictionary/></PMML>"},
      {"other root", "<svg><NearestNeighborModel functionName=\"regression\"/></svg>"},
      {"other model",
       "<PMML><TreeModel functionName=\"regression\"/><Extension name=\"x\"/></PMML>"},
      {"bad numbers", model + "<Extension><SimpleTable name=\"KSelection\"><ColumnNames>K;error"
                              "</ColumnNames><Row>x;y</Row><Row>2</Row><Row>;;;</Row><Row/>"
                              "</SimpleTable><Parameter name=\"percentIncorrectlyClassifiedCases\" "
                              "value=\"lots\"/></Extension></NearestNeighborModel></PMML>"},
      {"neighbours without header", model + "<Extension><SimpleTable name=\"neighborsDistances\">"
                                            "<Row>1;2;3;0.5</Row><Row>garbage</Row></SimpleTable>"
                                            "</Extension></NearestNeighborModel></PMML>"},
      {"short neighbour rows", model + "<Extension><SimpleTable name=\"neighborsDistances\">"
                                       "<ColumnNames>ID;id;neighbor1;distance1;prediction1"
                                       "</ColumnNames><Row>1;2</Row><Row>2;3;4;nan;1</Row>"
                                       "<Row>3;4;5;1e308;0</Row></SimpleTable></Extension>"
                                       "</NearestNeighborModel></PMML>"},
      {"non-square confusion", model +
                                   "<ModelExplanation><PredictiveModelQuality targetField=\"t\">"
                                   "<ConfusionMatrix><ClassLabels><Array>a b c</Array>"
                                   "</ClassLabels><Matrix><Array>1 2</Array><Array>3</Array>"
                                   "</Matrix></ConfusionMatrix></PredictiveModelQuality>"
                                   "</ModelExplanation></NearestNeighborModel></PMML>"},
      {"labels do not match", model + "<ModelExplanation><PredictiveModelQuality targetField=\"t\">"
                                      "<ConfusionMatrix><ClassLabels><Array>only</Array>"
                                      "</ClassLabels><Matrix><Array>1 x</Array><Array>-3 4</Array>"
                                      "</Matrix></ConfusionMatrix></PredictiveModelQuality>"
                                      "</ModelExplanation></NearestNeighborModel></PMML>"},
      {"empty confusion", model + "<ModelExplanation><PredictiveModelQuality targetField=\"t\">"
                                  "<ConfusionMatrix/></PredictiveModelQuality></ModelExplanation>"
                                  "</NearestNeighborModel></PMML>"},
      {"feature tables with junk", model + "<Extension><SimpleTable name=\"FeatureSelection\"><Row>"
                                           "0;a</Row><Row>one;b;0.2;yes</Row><Row>1;c;0.1</Row>"
                                           "</SimpleTable><SimpleTable name=\"FeatureKSelection\">"
                                           "<Row>1;a;x;0.3;yes</Row><Row>1;a;2;0.3;yes</Row>"
                                           "</SimpleTable></Extension><MiningSchema><MiningField "
                                           "name=\"a\" importance=\"big\" usageType=\"active\"/>"
                                           "<MiningField/></MiningSchema></NearestNeighborModel>"
                                           "</PMML>"},
      {"regression without training values",
       "<PMML><NearestNeighborModel functionName=\"regression\" numberOfNeighbors=\"2\">"
       "<Extension><SimpleTable name=\"neighborsDistances\"><ColumnNames>ID;id;neighbor1;"
       "neighbor2;distance1;distance2;prediction1;prediction2</ColumnNames><Row>1;1;2;3;0;1;5;6"
       "</Row><Row>9;2;1;3;0;1;5;6</Row></SimpleTable></Extension><MiningSchema><MiningField "
       "name=\"y\" usageType=\"predicted\"/></MiningSchema><ModelExplanation>"
       "<PredictiveModelQuality targetField=\"y\" sumSquaredError=\"NaN\"/></ModelExplanation>"
       "<TrainingInstances recordCount=\"-4\"><InstanceFields><InstanceField field=\"y\" "
       "column=\"y\"/></InstanceFields><InlineTable><row><y>abc</y></row></InlineTable>"
       "</TrainingInstances></NearestNeighborModel></PMML>"},
      {"huge K range", model + "<Extension><SimpleTable name=\"KSelection\"><Row>1;0.5</Row>"
                               "<Row>1e9;0.25</Row><Row>-7;1e300</Row></SimpleTable></Extension>"
                               "</NearestNeighborModel></PMML>"},
  };
  for (const auto& [name, content] : cases) {
    SCOPED_TRACE(name);
    ReportDocument document;
    std::string error;
    ASSERT_TRUE(ReadReportDocument(dir.Write("odd.pmml", content), document, error)) << error;
    std::ostringstream html;
    WriteReportHtml(document, "odd.pmml", html);
    const std::string page = html.str();
    EXPECT_NE(page.find("</html>"), std::string::npos);
    for (const auto& svg : testing::SvgFragments(page)) {
      EXPECT_TRUE(testing::ParseSvg(svg).ok) << svg.substr(0, 200);
    }
  }
}

// Random damage to the texts and attribute values of a real document (the markup stays
// intact): the reader and the report must cope with whatever numbers and names result.
TEST(ReportDocumentTest, SurvivesRandomlyDamagedValues) {
  TempDir dir;
  for (const char* fixture : {"small-classification.pmml", "small-regression.pmml"}) {
    const std::string original = testing::ReadFile(ReportFixture(fixture));
    ASSERT_FALSE(original.empty());
    std::mt19937 random(1234);
    const std::string alphabet = ";;;...--ee0123456789 xX\"'";
    for (int round = 0; round < 60; ++round) {
      std::string damaged = original;
      bool inTag = false;
      bool inEntity = false;
      char quote = 0;
      // Past the declarations; only text and attribute values change, never a character
      // reference.
      for (std::size_t i = damaged.find("<Header"); i < damaged.size(); ++i) {
        char& c = damaged[i];
        if (!inTag) {
          if (c == '<') {
            inTag = true;
            continue;
          }
        } else if (quote) {
          if (c == quote) {
            quote = 0;
            continue;
          }
        } else {
          if (c == '"' || c == '\'') quote = c;
          if (c == '>') inTag = false;
          continue;
        }
        if (c == '&') inEntity = true;
        if (inEntity) {
          inEntity = c != ';';
          continue;
        }
        if (c == '\n' || std::uniform_int_distribution<int>(0, 19)(random) != 0) continue;
        char replacement =
            alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
        if (quote && replacement == quote) replacement = 'x';
        c = replacement;
      }
      ReportDocument document;
      std::string error;
      ASSERT_TRUE(ReadReportDocument(dir.Write("damaged.pmml", damaged), document, error))
          << fixture << " round " << round << ": " << error;
      std::ostringstream html;
      WriteReportHtml(document, "damaged.pmml", html);
      for (const auto& svg : testing::SvgFragments(html.str())) {
        ASSERT_TRUE(testing::ParseSvg(svg).ok) << fixture << " round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace knnreport
