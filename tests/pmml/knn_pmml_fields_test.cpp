// Field descriptions: the data dictionary, each model's mining schema and its local
// transformations, and the two rules they share (which fields are rescaled, derived names).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "model/knn_model.h"
#include "support/pmml_fixture.h"

namespace {

using knntest::CompactText;
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

class FieldsTest : public knntest::PmmlWriterTest {
 protected:
  void Build(const SettingsDoc& doc) { PmmlWriterTest::Build(doc, MixedRows()); }
  std::string DataField(int v) {
    return CompactText(writer->WriteDataField(*writer->variables.GetVarAt(v), v));
  }
  KNNSingleResponseModel& Model(int i) { return *writer->models[static_cast<size_t>(i)]; }
};

// The identifier and the focal flag are held by the golden documents.
TEST_F(FieldsTest, DataFieldsByKind) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc()));
  const struct {
    int index;
    std::string text;
  } cases[] = {
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
  };
  for (const auto& c : cases) EXPECT_EQ(DataField(c.index), c.text) << c.index;
}

TEST_F(FieldsTest, DictionaryCountRescalingAndDerivedNames) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Targets({"y", "colour"}).Inputs({"x1", "x2", "num"})));
  writer->WriteDataDictionary();
  const std::string text = CompactText(writer->root.release());
  EXPECT_EQ(text.rfind("<PMML><DataDictionary numberOfFields=\"8\"><DataField name=\"id\"", 0), 0u)
      << text;
  // Of the continuous fields only ordinary ones are rescaled (dates too), never the
  // identifier, the focal flag or a response. Derived names: categories by label, else by value.
  using Names = std::vector<std::string>;
  const struct {
    int index;
    int rescaled;  // -1: not checked
    Names names;   // empty: not checked
  } cases[] = {{0, 0, {}},
               {1, 1, {"norm_x1"}},
               {2, 1, {}},
               {3, 1, {}},
               {4, -1, {"colour_red", "colour_blue"}},
               {5, -1, {"num_1", "num_2"}},
               {6, 0, {}},
               {7, 0, {"y"}}};
  for (const auto& c : cases) {
    if (c.rescaled >= 0) {
      EXPECT_EQ(writer->IsRescaled(c.index), c.rescaled == 1) << c.index;
    }
    if (!c.names.empty()) {
      EXPECT_EQ(writer->DerivedFieldNames(c.index), c.names) << c.index;
    }
  }
  writer->settings.RescaleMethod = 1;
  EXPECT_FALSE(writer->IsRescaled(1));
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

TEST_F(FieldsTest, NoTransformationsWithoutRescalingOrCategories) {
  ASSERT_NO_FATAL_FAILURE(Build(MixedDoc().Inputs({"x1", "x2"}).Flag("RescaleMethod", false)));
  EXPECT_EQ(CompactText(writer->WriteLocalTransformations(0)), "<null>");
}

}  // namespace
