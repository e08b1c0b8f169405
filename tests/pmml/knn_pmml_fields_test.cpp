// Field descriptions: the data dictionary, each model's mining schema and its local
// transformations, and the two rules they share (which fields are rescaled, derived names).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_writer.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_support.h"

namespace {

using knntest::CompactText;
using knntest::PmmlBuild;
using knntest::SettingsDoc;

// Fields: 0 id, 1 x1, 2 x2, 3 day (date), 4 colour (labelled), 5 num (numeric 1/2),
// 6 focal (string n/y), 7 y (continuous target).
SettingsDoc MixedDoc() {
  return SettingsDoc()
      .Continuous("id", 1, 100)
      .Continuous("x1", 0, 10)
      .Field("x2", {{"optype", "continuous"},
                    {"dataType", "double"},
                    {"min", "-5"},
                    {"max", "5"},
                    {"displayName", "Second & last"}})
      .Field("day", {{"optype", "continuous"},
                     {"dataType", "date"},
                     {"min", "2024-01-01"},
                     {"max", "2024-12-31"}})
      .Categorical("colour", {"r", "b"}, {"red", "blue"}, false)
      .Categorical("num", {"1", "2"}, true)
      .Categorical("focal", {"n", "y"})
      .Continuous("y", 0, 100)
      .Target("y")
      .Inputs({"x1", "x2", "colour", "num"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal")
      .Param("FocalCaseValue", "y")
      .Param("TempFileDir", "")
      .Param("SpecifiedK", 2);
}

std::vector<std::vector<double>> MixedRows() {
  return {{1, 1.5, -4.0, 19723, 0, 0, 0, 10.0},
          {2, 3.2, 1.0, 19800, 1, 1, 0, 35.0},
          {3, 6.7, 2.5, 19900, 0, 1, 1, 60.0},
          {4, 8.1, -1.5, 20000, 1, 0, 0, 80.0},
          {5, 9.4, 4.2, 20050, 0, 0, 0, 95.0}};
}

class FieldsTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};
  PmmlBuild build;
  std::unique_ptr<KNNPMMLWriter> writer;

  void Build(const SettingsDoc& doc, const std::vector<std::vector<double>>& rows = MixedRows()) {
    const VelCommon::VelStatus status = build.Build(doc.Xml(), rows);
    ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
    writer = build.MakeWriter();
    ASSERT_NE(writer, nullptr);
  }
  std::string DataField(int v) {
    return CompactText(writer->WriteDataField(*writer->variables.GetVarAt(v), v));
  }
  KNNSingleResponseModel& Model(int i) { return *writer->models[static_cast<size_t>(i)]; }
};

TEST_F(FieldsTest, DataFieldsByKind) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc()));
  const struct {
    int index;
    std::string text;
  } cases[] = {
      {0,
       "<DataField name=\"id\" optype=\"continuous\" dataType=\"integer\"><Interval "
       "closure=\"openClosed\" leftMargin=\"1\" rightMargin=\"100\"/></DataField>"},
      {2,
       "<DataField name=\"x2\" displayName=\"Second &amp; last\" optype=\"continuous\" "
       "dataType=\"double\"><Interval closure=\"openClosed\" leftMargin=\"-5\" "
       "rightMargin=\"5\"/></DataField>"},
      // Dates are days since 1970-01-01.
      {3,
       "<DataField name=\"day\" optype=\"continuous\" dataType=\"date\"><Interval "
       "closure=\"openClosed\" leftMargin=\"19723\" rightMargin=\"20088\"/></DataField>"},
      {4,
       "<DataField name=\"colour\" optype=\"categorical\" dataType=\"string\"><Value value=\"r\" "
       "displayValue=\"red\" property=\"valid\"/><Value value=\"b\" displayValue=\"blue\" "
       "property=\"valid\"/></DataField>"},
      {5,
       "<DataField name=\"num\" optype=\"categorical\" dataType=\"double\"><Value value=\"1\" "
       "property=\"valid\"/><Value value=\"2\" property=\"valid\"/></DataField>"},
      // The focal flag of a string field names its true value after the categories.
      {6,
       "<DataField name=\"focal\" optype=\"categorical\" dataType=\"string\"><Value value=\"n\" "
       "property=\"valid\"/><Value value=\"y\" property=\"valid\"/><Extension extender=\"" +
           std::string(KNNPMML::kExtenderName) +
           "\" name=\"flagTypeTrueValue\" value=\"y\"/></DataField>"},
  };
  for (const auto& c : cases) EXPECT_EQ(DataField(c.index), c.text) << c.index;
}

TEST_F(FieldsTest, DataDictionaryCountsItsFieldsAsAPlainInteger) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc()));
  writer->WriteDataDictionary();
  const std::string text = CompactText(writer->root.release());
  EXPECT_EQ(text.rfind("<PMML><DataDictionary numberOfFields=\"8\"><DataField name=\"id\"", 0), 0u)
      << text;
}

TEST_F(FieldsTest, OnlyOrdinaryContinuousFieldsAreRescaled) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Targets({"y", "colour"}).Inputs({"x1", "x2", "num"})));
  const struct {
    int index;
    bool rescaled;
  } cases[] = {{0, false}, {1, true}, {2, true}, {3, true}, {6, false}, {7, false}};
  for (const auto& c : cases) EXPECT_EQ(writer->IsRescaled(c.index), c.rescaled) << c.index;

  writer->settings.RescaleMethod = 1;
  EXPECT_FALSE(writer->IsRescaled(1));
}

TEST_F(FieldsTest, DerivedFieldNames) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc()));
  using Names = std::vector<std::string>;
  EXPECT_EQ(writer->DerivedFieldNames(1), Names{"norm_x1"});
  EXPECT_EQ(writer->DerivedFieldNames(4), (Names{"colour_red", "colour_blue"}));  // labels
  EXPECT_EQ(writer->DerivedFieldNames(5), (Names{"num_1", "num_2"}));             // values
  EXPECT_EQ(writer->DerivedFieldNames(7), Names{"y"});  // a continuous response
  writer->settings.RescaleMethod = 1;
  EXPECT_EQ(writer->DerivedFieldNames(1), Names{"x1"});
}

TEST_F(FieldsTest, MiningSchemaPairsEachFieldWithItsOwnImportanceAndWeight) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Flag("IsFeatureWeight", true)));
  // Features in an order other than the inputs' (as selection leaves them), with values
  // that tell the positions apart.
  Model(0).SetFeatures({5, 2, 1});
  Model(0).SetImportance({0.5, 0.3, 0.2});
  Model(0).SetWeights({0.05, 0.03, 0.02, 9.0});
  EXPECT_EQ(CompactText(writer->WriteMiningSchema(0)),
            "<MiningSchema>"
            "<MiningField name=\"x1\" importance=\"0.2\" usageType=\"active\">"
            "<Extension name=\"weight\" value=\"0.02\"/></MiningField>"
            "<MiningField name=\"x2\" importance=\"0.3\" usageType=\"active\">"
            "<Extension name=\"weight\" value=\"0.03\"/></MiningField>"
            "<MiningField name=\"colour\" usageType=\"supplementary\"/>"
            "<MiningField name=\"num\" importance=\"0.5\" usageType=\"active\">"
            "<Extension name=\"weight\" value=\"0.05\"/></MiningField>"
            "<MiningField name=\"y\" usageType=\"predicted\"/>"
            "</MiningSchema>");

  writer->settings.IsFeaWeight = false;  // importance without weights
  const std::string noWeights = CompactText(writer->WriteMiningSchema(0));
  EXPECT_NE(noWeights.find("<MiningField name=\"x1\" importance=\"0.2\" usageType=\"active\"/>"),
            std::string::npos)
      << noWeights;
  EXPECT_EQ(noWeights.find("weight"), std::string::npos);
}

TEST_F(FieldsTest, LocalTransformationsOfFeaturesAndACategoricalResponse) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Targets({"colour"}).Inputs({"x1", "num", "x2"})));
  EXPECT_EQ(CompactText(writer->WriteLocalTransformations(0)),
            "<LocalTransformations>"
            "<DerivedField name=\"norm_x1\" optype=\"continuous\" dataType=\"double\">"
            "<NormContinuous field=\"x1\"><LinearNorm orig=\"0\" norm=\"-1\"/>"
            "<LinearNorm orig=\"10\" norm=\"1\"/></NormContinuous></DerivedField>"
            "<DerivedField name=\"norm_x2\" optype=\"continuous\" dataType=\"double\">"
            "<NormContinuous field=\"x2\"><LinearNorm orig=\"-5\" norm=\"-1\"/>"
            "<LinearNorm orig=\"5\" norm=\"1\"/></NormContinuous></DerivedField>"
            "<DerivedField name=\"num_1\" optype=\"continuous\" dataType=\"double\">"
            "<NormDiscrete field=\"num\" value=\"1\"/></DerivedField>"
            "<DerivedField name=\"num_2\" optype=\"continuous\" dataType=\"double\">"
            "<NormDiscrete field=\"num\" value=\"2\"/></DerivedField>"
            "<DerivedField name=\"colour_red\" optype=\"continuous\" dataType=\"double\">"
            "<NormDiscrete field=\"colour\" value=\"r\"/></DerivedField>"
            "<DerivedField name=\"colour_blue\" optype=\"continuous\" dataType=\"double\">"
            "<NormDiscrete field=\"colour\" value=\"b\"/></DerivedField>"
            "</LocalTransformations>");
}

TEST_F(FieldsTest, AContinuousResponseIsPredictedButNeverTransformed) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Inputs({"x1"})));
  const std::string text = CompactText(writer->WriteLocalTransformations(0));
  EXPECT_NE(text.find("norm_x1"), std::string::npos);
  EXPECT_EQ(text.find("\"y\""), std::string::npos) << text;
  EXPECT_EQ(text.find("norm_y"), std::string::npos) << text;
}

TEST_F(FieldsTest, NoTransformationsWithoutRescalingOrCategories) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Inputs({"x1", "x2"}).Flag("RescaleMethod", false)));
  VelXML::XMLElement* none = writer->WriteLocalTransformations(0);
  EXPECT_EQ(none, nullptr);
  delete none;
}

TEST_F(FieldsTest, WithoutResponsesOnlyFeaturesAppear) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Targets({}).Inputs({"x1", "colour"})));
  ASSERT_EQ(writer->responseCount, 0u);
  const std::string schema = CompactText(writer->WriteMiningSchema(0));
  EXPECT_EQ(schema,
            "<MiningSchema><MiningField name=\"x1\" usageType=\"active\"/>"
            "<MiningField name=\"colour\" usageType=\"active\"/></MiningSchema>");
  const std::string transformations = CompactText(writer->WriteLocalTransformations(0));
  EXPECT_NE(transformations.find("colour_red"), std::string::npos);
  EXPECT_EQ(transformations.find("\"y\""), std::string::npos);
}

}  // namespace
