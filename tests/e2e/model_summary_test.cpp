// The build summary read back from a model document.
#include "model_summary.h"

#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace knncli {
namespace {

// Two models, and a MiningField outside any model that must not count.
constexpr const char* kDocument = R"(<?xml version="1.0"?>
<PMML version="4.3" xmlns="http://www.dmg.org/PMML-4_3">
  <MiningBuildTask><Extension><MiningField name="ignored" usageType="active"/></Extension></MiningBuildTask>
  <NearestNeighborModel functionName="classification" numberOfNeighbors="5">
    <Extension name="Orin Models">
      <Parameter name="percentIncorrectlyClassifiedCases" type="double" value="0.04"/>
      <Parameter name="selectedFeatures" type="integer" value="2"/>
    </Extension>
    <MiningSchema>
      <MiningField name="sepal_width" usageType="supplementary"/>
      <MiningField name="petal_length" usageType="active"/>
      <MiningField name="petal_width" usageType="active"/>
      <MiningField name="species" usageType="predicted"/>
    </MiningSchema>
    <TrainingInstances><InstanceFields/><InlineTable><row><MiningField name="x" usageType="active"/></row></InlineTable></TrainingInstances>
  </NearestNeighborModel>
  <NearestNeighborModel functionName="regression" numberOfNeighbors="3">
    <MiningSchema>
      <MiningField name="area" usageType="active"/>
      <MiningField name="rent" usageType="predicted"/>
    </MiningSchema>
    <ModelExplanation><PredictiveModelQuality targetField="rent" sumSquaredError="1234.5"/></ModelExplanation>
  </NearestNeighborModel>
  <NearestNeighborModel functionName="clustering" numberOfNeighbors="4"/>
</PMML>
)";

TEST(ModelSummaryTest, ReadsKFeaturesAndErrorPerModel) {
  clitest::TempDir dir;
  clitest::WriteText(dir.File("model.pmml"), kDocument);
  std::vector<ModelSummary> summaries;
  std::string error;
  ASSERT_TRUE(ReadModelSummaries(dir.File("model.pmml"), summaries, error)) << error;
  ASSERT_EQ(summaries.size(), 3u);
  EXPECT_EQ(summaries[0].error, 0.04);
  EXPECT_EQ(FormatSummary(summaries[0]),
            "species: K 5; features petal_length, petal_width; training error 0.04 "
            "(proportion misclassified)");
  EXPECT_EQ(FormatSummary(summaries[1]),
            "rent: K 3; features area; training error 1234.5 (sum of squared errors)");
  EXPECT_FALSE(summaries[2].hasError);
  EXPECT_EQ(FormatSummary(summaries[2]), "(no target): K 4; features (none)");

  // Broken and absent documents are reported.
  clitest::WriteText(dir.File("broken.pmml"),
                     "<PMML><NearestNeighborModel numberOfNeighbors=\"3\">");
  EXPECT_FALSE(ReadModelSummaries(dir.File("broken.pmml"), summaries, error));
  EXPECT_FALSE(ReadModelSummaries(dir.File("absent.pmml"), summaries, error));
}

}  // namespace
}  // namespace knncli
