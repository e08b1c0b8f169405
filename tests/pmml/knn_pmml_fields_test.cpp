// Field descriptions: the data dictionary and each model's local transformations, for field
// kinds the golden documents do not hold (dates, display names). The mining schema and the
// labelled, numeric, identifier and focal fields are held by the goldens.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/pmml_fixture.h"

namespace {

using FieldsTest = knntest::PmmlWriterTest;

TEST_F(FieldsTest, DataFieldsByKindAndTransformationsOfFeaturesAndACategoricalResponse) {
  // Fields: 0 id, 1 x1, 2 x2, 3 day (date), 4 colour (labelled), 5 num (numeric), 6 y, 7 focal.
  const auto doc = [](bool dates) {
    knntest::SettingsDoc d;
    d.Continuous("id", 1, 100).Continuous("x1", 0, 10);
    d.Field("x2", {{"optype", "continuous"},
                   {"dataType", "double"},
                   {"min", "-5"},
                   {"max", "5"},
                   {"displayName", "Second & last"}});
    d.Field("day", {{"optype", "continuous"},
                    {"dataType", "date"},
                    {"min", "2024-01-01"},
                    {"max", "2024-12-31"}});
    d.Categorical("colour", {"r", "b"}, {"red", "blue"}, false)
        .Categorical("num", {"1", "2"}, true);
    d.Continuous("y", 0, 100).Categorical("focal", {"0", "1"}, true);
    d.Targets({dates ? "colour" : "y"}).Param("CaseIDVar", "id").Param("FocalVar", "focal");
    if (dates) d.Inputs({"x1", "num", "x2", "day"});
    if (!dates) d.Inputs({"x1", "x2"});
    d.Param("TempFileDir", "").Param("SpecifiedK", 2);
    return d.Flag("RescaleMethod", dates);
  };
  const std::vector<std::vector<double>> rows = {{1, 1.5, -4.0, 19723, 0, 0, 10.0, 0},
                                                 {2, 3.2, 1.0, 19800, 1, 1, 35.0, 0},
                                                 {3, 6.7, 2.5, 19900, 0, 1, 60.0, 0},
                                                 {4, 8.1, -1.5, 20000, 1, 0, 80.0, 0},
                                                 {5, 9.4, 4.2, 20050, 0, 0, 95.0, 0}};
  ASSERT_NO_FATAL_FAILURE(Build(doc(true), rows));
  std::string document;
  ASSERT_TRUE(build.Write(document).IsOK());
  const std::pair<const char*, std::string> cases[] = {
      {"/p:PMML/p:DataDictionary/@numberOfFields", "numberOfFields=\"8\""},
      {"//p:DataField[@name='x2']",
       "<DataField name=\"x2\" displayName=\"Second &amp; last\" optype=\"continuous\" "
       "dataType=\"double\"><Interval closure=\"openClosed\" leftMargin=\"-5\" "
       "rightMargin=\"5\"/></DataField>"},
      // Dates are days since 1970-01-01.
      {"//p:DataField[@name='day']",
       "<DataField name=\"day\" optype=\"continuous\" dataType=\"date\"><Interval "
       "closure=\"openClosed\" leftMargin=\"19723\" rightMargin=\"20088\"/></DataField>"},
      // Features in field order, whatever the order of the inputs, then the response; dates
      // are rescaled too, categories named by label, else by value.
      {"//p:DerivedField/@name",
       "name=\"norm_x1\"\nname=\"norm_x2\"\nname=\"norm_day\"\nname=\"num_1\"\n"
       "name=\"num_2\"\nname=\"colour_red\"\nname=\"colour_blue\""},
      {"//p:DerivedField[@name='norm_x2']/*",
       "<NormContinuous field=\"x2\"><LinearNorm orig=\"-5\" norm=\"-1\"/><LinearNorm orig=\"5\" "
       "norm=\"1\"/></NormContinuous>"}};
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(knntest::SelectCanonical(document, path), expected + "\n") << path;
  }
  // Nothing to rescale and no categories: no transformations at all.
  writer.reset();  // it refers to the build about to be replaced
  ASSERT_NO_FATAL_FAILURE(Build(doc(false), rows));
  ASSERT_TRUE(build.Write(document).IsOK());
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:LocalTransformations"), "");
}

}  // namespace
