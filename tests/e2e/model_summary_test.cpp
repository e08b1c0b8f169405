#include "model_summary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A model element as the component writes it: per-case tables first (one of them empty),
// then the schema and the error, then the training cases.
std::string Model(const std::string& target, int k, double sse, int rows) {
  std::string text = "<NearestNeighborModel functionName=\"regression\" numberOfNeighbors=\"" +
                     std::to_string(k) + "\">\n<Extension name=\"Models\">\n";
  text += "<SimpleTable name=\"KSelection\"><Row>3;1.5</Row></SimpleTable>\n";
  text += "<SimpleTable name=\"predictionProbability\"/>\n";
  text += "<SimpleTable name=\"neighborsDistances\">\n";
  for (int i = 0; i < rows; ++i) {
    text += "<Row>" + std::to_string(i) + ";7;8;0.25;0.5;1.5</Row>\n";
  }
  text += "</SimpleTable>\n</Extension>\n<MiningSchema>\n";
  text += "<MiningField name=\"x\" usageType=\"active\"/>\n";
  text += "<MiningField name=\"" + target + "\" usageType=\"predicted\"/>\n</MiningSchema>\n";
  text += "<ModelExplanation><PredictiveModelQuality targetField=\"" + target +
          "\" sumSquaredError=\"" + std::to_string(sse) + "\"/></ModelExplanation>\n";
  text += "<TrainingInstances recordCount=\"" + std::to_string(rows) + "\"><InlineTable>\n";
  for (int i = 0; i < rows; ++i) text += "<row><x>" + std::to_string(i) + "</x></row>\n";
  text += "</InlineTable></TrainingInstances>\n";
  text += "<ComparisonMeasure kind=\"distance\"><euclidean/></ComparisonMeasure>\n";
  return text + "</NearestNeighborModel>\n";
}

// The summary skips the large tables without parsing them; tables longer than its read
// block, tags across block boundaries and empty tables must not change what it finds.
TEST(ModelSummaryTest, FindsEveryModelPastLargeTables) {
  const std::string path = ::testing::TempDir() + "summary_test.pmml";
  for (const int rows : {0, 3, 40000, 70001}) {
    SCOPED_TRACE(::testing::Message() << rows << " rows");
    {
      std::ofstream out(path, std::ios::binary);
      out << "<?xml version=\"1.0\"?>\n<PMML version=\"4.3\">\n"
          << Model("a", 3, 12.5, rows) << Model("b", 7, 0.25, rows + 1) << "</PMML>\n";
    }
    std::vector<knncli::ModelSummary> summaries;
    std::string error;
    ASSERT_TRUE(knncli::ReadModelSummaries(path, summaries, error)) << error;
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0].target, "a");
    EXPECT_EQ(summaries[0].k, 3);
    EXPECT_EQ(summaries[0].features, std::vector<std::string>{"x"});
    EXPECT_TRUE(summaries[0].hasError);
    EXPECT_EQ(summaries[0].error, 12.5);
    EXPECT_EQ(summaries[1].target, "b");
    EXPECT_EQ(summaries[1].k, 7);
    EXPECT_EQ(summaries[1].error, 0.25);
  }
  // A document cut inside a skipped table is reported, not summarised.
  {
    std::ofstream out(path, std::ios::binary);
    out << "<PMML>" << Model("a", 3, 1.0, 10).substr(0, 400);
  }
  std::vector<knncli::ModelSummary> summaries;
  std::string error;
  EXPECT_FALSE(knncli::ReadModelSummaries(path, summaries, error));
  EXPECT_NE(error.find("not well-formed"), std::string::npos) << error;
  std::remove(path.c_str());
}

}  // namespace
