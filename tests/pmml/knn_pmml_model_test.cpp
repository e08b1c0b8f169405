// The NearestNeighborModel element: column names of the training table, stored values in the
// units of the input data, the model's attributes and the children that depend on settings.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/vel_missing.h"
#include "pmml/knn_pmml_writer.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_support.h"

namespace {

using knntest::CompactText;
using knntest::PmmlBuild;
using knntest::SettingsDoc;

TEST(ColumnName, SpacesAndSignsBecomeUnderscoresAndOtherNamesAreEncoded) {
  const struct {
    const char* field;
    const char* column;
  } cases[] = {
      {"age", "age"},
      {"2nd value", "_2nd_value"},
      {"a$b%c", "a_b_c"},
      {"x(1)", "x_x28_1_x29_"},
      {"a:b", "a_x3A_b"},
      {"gr\xC3\xB6\xC3\x9F"
       "e",
       ""},  // not 7-bit ASCII: the caller numbers it instead
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KNNPMMLWriter::ColumnName(c.field), c.column) << c.field;
    if (*c.column != '\0') {
      EXPECT_TRUE(knntest::IsWellFormed(std::string("<") + c.column + "/>"));
    }
  }
}

TEST(ColumnName, UniqueNamesStartAtTheVariableIndexAndSkipTakenOnes) {
  EXPECT_EQ(KNNPMMLWriter::UniqueColumnName(0, {}), "field0");
  EXPECT_EQ(KNNPMMLWriter::UniqueColumnName(3, {"ID", "field3", "field4"}), "field5");
  EXPECT_EQ(KNNPMMLWriter::UniqueColumnName(3, {"field2"}), "field3");
}

// Fields: 0 id, 1 x (10..20), 2 kind (string, labels with ";" and "\"), 3 num (numeric
// categorical 5/7), 4 focal, 5..7 three continuous targets.
SettingsDoc ValuesDoc() {
  return SettingsDoc()
      .Continuous("id", 1, 1000)
      .Continuous("x", 10, 20)
      .Categorical("kind", {"a;b", "c\\d", "plain"})
      .Categorical("num", {"5", "7"}, true)
      .Categorical("focal", {"0", "1"}, true)
      .Continuous("t1", 0, 10)
      .Continuous("t2", 0, 10)
      .Continuous("t3", 0, 10)
      .Targets({"t1", "t2", "t3"})
      .Inputs({"x", "kind", "num"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal")
      .Param("TempFileDir", "")
      .Param("SpecifiedK", 1);
}

const std::vector<std::vector<double>> kValuesRows = {
    {101, 12.5, 0, 0, 0, 1, 2, 3}, {102, 17.0, 1, 1, 0, 4, 5, 6}, {103, 19.5, 2, 0, 0, 7, 8, 9}};

class ModelElementTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};
  PmmlBuild build;
  std::unique_ptr<KNNPMMLWriter> writer;

  void Build(const SettingsDoc& doc, const std::vector<std::vector<double>>& rows) {
    const VelCommon::VelStatus status = build.Build(doc.Xml(), rows);
    ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
    writer = build.MakeWriter();
    ASSERT_NE(writer, nullptr);
  }
};

TEST_F(ModelElementTest, StoredValuesReadInTheUnitsOfTheInputData) {
  ASSERT_NO_FATAL_FAILURE(Build(ValuesDoc(), kValuesRows));
  const struct {
    double stored;
    int index;
    const char* text;
  } cases[] = {
      {0.0, 1, "15"},   // rescaled: the middle of [10, 20]
      {-1.0, 1, "10"},  //
      {1.0, 1, "20"},     {VelMV::gMissingValue, 1, "-1.79769313486232e+308"},
      {101.0, 0, "101"},  // the case identifier is stored as it came
      {0.0, 2, "a\\;b"},  // ";" and "\" are escaped in cells
      {1.0, 2, "c\\\\d"}, {2.0, 2, "plain"},
      {-1.0, 2, "-1"},                      // a missing category
      {1.0, 3, "7"},                        // numeric categories give their number
      {0.0, 3, "5"},      {2.5, 5, "2.5"},  // a continuous response is never rescaled
  };
  for (const auto& c : cases) {
    EXPECT_EQ(writer->ValueText(c.stored, c.index), c.text) << c.index << " " << c.stored;
  }
  EXPECT_EQ(writer->CategoryTexts(2), (std::vector<std::string>{"a\\;b", "c\\\\d", "plain"}));
}

TEST_F(ModelElementTest, ThreeResponsesGiveThreeModelsWithTheSameTrainingTable) {
  ASSERT_NO_FATAL_FAILURE(Build(ValuesDoc(), kValuesRows));
  std::string document;
  ASSERT_TRUE(build.Write(document).IsOK());
  EXPECT_EQ(knntest::UntoleratedIssues(document).size(), 0u);
  const std::string tables = knntest::SelectCanonical(document, "//p:TrainingInstances");
  const std::string first =
      knntest::SelectCanonical(document, "/p:PMML/p:NearestNeighborModel[1]/p:TrainingInstances");
  EXPECT_EQ(tables, first + first + first);
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:PredictiveModelQuality/@targetField"),
            "targetField=\"t1\"\ntargetField=\"t2\"\ntargetField=\"t3\"\n");
  // Rows hold the values as they came in, with the extra row-number column first.
  EXPECT_EQ(knntest::SelectCanonical(document, "/p:PMML/p:NearestNeighborModel[1]//p:row[2]"),
            "<row><ID>2</ID><id>102</id><x>17</x><kind>c\\\\d</kind><num>7</num><focal>0</focal>"
            "<t1>4</t1><t2>5</t2><t3>6</t3></row>\n");
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST_F(ModelElementTest, AttributesFollowTheKindOfModel) {
  const struct {
    SettingsDoc doc;
    const char* attributes;
  } cases[] = {
      {ValuesDoc().Targets({"t1"}).Param("ComputePredValFunc", "Median"),
       "functionName=\"regression\"\nnumberOfNeighbors=\"1\"\ncontinuousScoringMethod=\"median\"\n"
       "categoricalScoringMethod=\"majorityVote\"\n"},
      {ValuesDoc().Targets({"focal"}).Param("FocalVar", "num").Inputs({"x", "kind"}),
       "functionName=\"classification\"\nnumberOfNeighbors=\"1\"\n"
       "continuousScoringMethod=\"average\"\ncategoricalScoringMethod=\"majorityVote\"\n"},
      {ValuesDoc().Targets({}),
       "functionName=\"clustering\"\nnumberOfNeighbors=\"1\"\ncontinuousScoringMethod=\"average\"\n"
       "categoricalScoringMethod=\"majorityVote\"\ninstanceIdVariable=\"ID\"\n"},
  };
  for (const auto& c : cases) {
    PmmlBuild one;
    ASSERT_FALSE(one.Build(c.doc.Xml(), kValuesRows).IsError());
    std::string document;
    ASSERT_TRUE(one.Write(document).IsOK());
    EXPECT_EQ(knntest::SelectCanonical(document, "//p:NearestNeighborModel/@*"), c.attributes);
  }
}

TEST_F(ModelElementTest, ClusteringHasNoQualityNoSelectionTableAndCountsAllFeatures) {
  ASSERT_NO_FATAL_FAILURE(Build(ValuesDoc().Targets({}), kValuesRows));
  std::string document;
  ASSERT_TRUE(build.Write(document).IsOK());
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:ModelExplanation"), "");
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:Extension/p:Parameter"),
            "<Parameter name=\"selectedFeatures\" type=\"integer\" value=\"3\"/>\n");
  EXPECT_EQ(knntest::SelectCanonical(document, "count(//p:SimpleTable)"), "1");
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:SimpleTable/@name"),
            "name=\"neighborsDistances\"\n");
}

TEST_F(ModelElementTest, ComparisonMeasureAndInputsFollowTheSettings) {
  ASSERT_NO_FATAL_FAILURE(
      Build(ValuesDoc().Targets({"t1"}).Param("DistMetric", "CityBlock"), kValuesRows));
  EXPECT_EQ(CompactText(writer->WriteComparisonMeasure()),
            "<ComparisonMeasure kind=\"distance\"><cityBlock/></ComparisonMeasure>");
  writer->settings.DistMetric = 0;
  EXPECT_EQ(CompactText(writer->WriteComparisonMeasure()),
            "<ComparisonMeasure kind=\"distance\"><euclidean/></ComparisonMeasure>");
  EXPECT_EQ(CompactText(writer->WriteKNNInputs(0)),
            "<KNNInputs>"
            "<KNNInput field=\"norm_x\" compareFunction=\"absDiff\"/>"
            "<KNNInput field=\"kind_a;b\" compareFunction=\"absDiff\"/>"
            "<KNNInput field=\"kind_c\\d\" compareFunction=\"absDiff\"/>"
            "<KNNInput field=\"kind_plain\" compareFunction=\"absDiff\"/>"
            "<KNNInput field=\"num_5\" compareFunction=\"absDiff\"/>"
            "<KNNInput field=\"num_7\" compareFunction=\"absDiff\"/>"
            "</KNNInputs>");
}

TEST_F(ModelElementTest, StatisticsOfFeaturesAndResponse) {
  ASSERT_NO_FATAL_FAILURE(Build(ValuesDoc().Targets({"t1"}), kValuesRows));
  EXPECT_EQ(CompactText(writer->WriteModelStats(0)),
            "<ModelStats>"
            "<UnivariateStats field=\"x\"><NumericInfo minimum=\"10\" maximum=\"20\"/>"
            "</UnivariateStats>"
            "<UnivariateStats field=\"kind\"><DiscrStats><Array type=\"int\" n=\"3\">1 1 1</Array>"
            "</DiscrStats></UnivariateStats>"
            "<UnivariateStats field=\"num\"><DiscrStats><Array type=\"int\" n=\"2\">2 1</Array>"
            "</DiscrStats></UnivariateStats>"
            "<UnivariateStats field=\"t1\"><NumericInfo minimum=\"0\" maximum=\"10\"/>"
            "</UnivariateStats>"
            "</ModelStats>");
}

}  // namespace
