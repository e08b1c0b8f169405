// The NearestNeighborModel element: column names of the training table and stored values in
// the units of the input data. Attributes, statistics, comparison measure and inputs are held
// byte for byte by the golden documents.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/vel_missing.h"
#include "support/pmml_fixture.h"

namespace {

using knntest::SettingsDoc;

TEST(ColumnName, SpacesAndSignsBecomeUnderscoresOtherNamesAreEncodedAndUniqueNamesNumbered) {
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
  // Unique names start at the variable's index and skip the ones taken.
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

using ModelElementTest = knntest::PmmlWriterTest;

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

}  // namespace
