// The NearestNeighborModel element: column names of the training table and stored values in
// the units of the input data. Attributes, statistics, comparison measure and inputs are held
// byte for byte by the golden documents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/vel_missing.h"
#include "support/pmml_fixture.h"

namespace {

// Encoding of other characters belongs to the element-name encoder.
TEST(ColumnName, SpacesAndSignsBecomeUnderscoresAndUniqueNamesAreNumbered) {
  EXPECT_EQ(KNNPMMLWriter::ColumnName("2nd value"), "_2nd_value");
  EXPECT_EQ(KNNPMMLWriter::ColumnName("a$b%c"), "a_b_c");
  EXPECT_EQ(KNNPMMLWriter::ColumnName("gr\xC3\xB6\xC3\x9F"
                                      "e"),
            "");  // the caller numbers it
  // Unique names start at the variable's index and skip the ones taken.
  EXPECT_EQ(KNNPMMLWriter::UniqueColumnName(3, {"ID", "field3", "field4"}), "field5");
  EXPECT_EQ(KNNPMMLWriter::UniqueColumnName(3, {"field2"}), "field3");
}

using ModelElementTest = knntest::PmmlWriterTest;

TEST_F(ModelElementTest, StoredValuesReadInTheUnitsOfTheInputData) {
  // Fields: 0 id, 1 x (10..20), 2 kind (labels with ";" and "\"), 3 num (numeric 5/7),
  // 4 focal, 5 t (continuous target).
  knntest::SettingsDoc d;
  d.Continuous("id", 1, 1000).Continuous("x", 10, 20).Categorical("kind", {"a;b", "c\\d", "plain"});
  d.Categorical("num", {"5", "7"}, true).Categorical("focal", {"0", "1"}, true);
  d.Continuous("t", 0, 10).Targets({"t"}).Inputs({"x", "kind", "num"}).Param("CaseIDVar", "id");
  d.Param("FocalVar", "focal").Param("TempFileDir", "").Param("SpecifiedK", 1);
  ASSERT_NO_FATAL_FAILURE(
      Build(d, {{101, 12.5, 0, 0, 0, 1}, {102, 17, 1, 1, 0, 4}, {103, 19.5, 2, 0, 0, 7}}));
  const struct {
    double stored;
    int index;
    const char* text;
  } cases[] = {
      {0.0, 1, "15"},  // rescaled: the middle of [10, 20]
      {-1.0, 1, "10"},    {VelMV::gMissingValue, 1, "-1.79769313486232e+308"},
      {101.0, 0, "101"},                    // the case identifier is stored as it came
      {0.0, 2, "a\\;b"},                    // ";" and "\" are escaped in cells
      {1.0, 2, "c\\\\d"}, {-1.0, 2, "-1"},  // a missing category
      {1.0, 3, "7"},                        // numeric categories give their number
      {2.5, 5, "2.5"},                      // a continuous response is never rescaled
  };
  for (const auto& c : cases) {
    EXPECT_EQ(writer->ValueText(c.stored, c.index), c.text) << c.index << " " << c.stored;
  }
}

}  // namespace
