// The selection tables of each model's extension, compared with the records that the
// selection stages kept.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "support/pmml_fixture.h"

namespace {

using knntest::CompactText;
using knntest::SettingsDoc;

// Fields: 0 id, 1 x1, 2 x2, 3 x3, 4 c, 5 fold, 6 focal, 7 y (a/b).
SettingsDoc SelectionDoc() {
  return SettingsDoc()
      .Continuous("id", 1, 1000)
      .Continuous("x1", 0, 10)
      .Continuous("x2", 0, 10)
      .Continuous("x3", 0, 10)
      .Categorical("c", {"p", "q"})
      .Categorical("fold", {"0", "1", "2"}, true)
      .Categorical("focal", {"0", "1"}, true)
      .Categorical("y", {"a", "b"})
      .Target("y")
      .Inputs({"x1", "x2", "x3", "c"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal")
      .Param("TempFileDir", "")
      .Param("MinK", 2)
      .Param("MaxK", 4);
}

std::vector<std::vector<double>> SelectionRows() {
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < 24; ++i) {
    const double x1 = (i * 37 % 100) / 10.0;
    const double x2 = (i * 53 % 100) / 10.0 + 0.013 * i;
    const double x3 = (i * 71 % 97) / 9.7;
    const double c = (i * 7 % 5) < 2 ? 0 : 1;
    const double y = (x1 + 0.5 * x2 > 7.0) ? 1 : 0;
    rows.push_back({static_cast<double>(1 + i), x1, x2, x3, c, static_cast<double>(i % 3), 0, y});
  }
  return rows;
}

// A selection table's compact text; feature tables name their method first.
std::string Table(const std::string& name, const std::string& columns,
                  const std::vector<std::string>& rows) {
  std::string text = "<SimpleTable name=\"" + name + "\">";
  if (name != "KSelection") text += "<Metadata name=\"method\" value=\"forwardSelection\"/>";
  text += "<RowNames/><ColumnNames>" + columns + "</ColumnNames>";
  for (const std::string& row : rows) text += "<Row>" + row + "</Row>";
  return text + "</SimpleTable>";
}

class SelectionTablesTest : public knntest::PmmlWriterTest {
 protected:
  void Build(const SettingsDoc& doc) { PmmlWriterTest::Build(doc, SelectionRows()); }
  const KNNModelSelection& Selection() { return *build.Knn()->GetModel()->GetSelection(); }
  std::string Name(int v) { return writer->VariableName(v); }
  // The selection table that the model's extension carries (by name), as compact text.
  std::string ExtensionTable(const char* name) {
    std::string document;
    EXPECT_TRUE(build.Write(document).IsOK());
    return knntest::SelectCanonical(document, std::string("//p:SimpleTable[@name='") + name + "']");
  }
};

TEST_F(SelectionTablesTest, FeatureSelectionStartsWithTheForcedSetJoinedByPlus) {
  ASSERT_NO_FATAL_FAILURE(Build(SelectionDoc()
                                    .Flag("IsFeatureSelection", true)
                                    .ParamList("ForcedVariables", {"x3", "c"})
                                    .Param("NSpecifiedFeatures", 2)));
  const std::vector<int>& features = Selection().GetFeatureSelection()->RecordedFeatures()[0];
  const std::vector<double>& errors = Selection().GetFeatureSelection()->RecordedErrors()[0];
  ASSERT_EQ(features.size(), 4u);
  ASSERT_EQ(errors.size(), 3u);
  const std::vector<std::string> rows = {
      "0;x3+c;" + KNNPMML::NumberText(errors[0]) + ";no",
      "1;" + Name(features[2]) + ";" + KNNPMML::NumberText(errors[1]) + ";yes",
      "2;" + Name(features[3]) + ";" + KNNPMML::NumberText(errors[2]) + ";yes"};
  const std::string expected = Table("FeatureSelection", "model;features;error;selected", rows);
  EXPECT_EQ(CompactText(writer->WriteFeatureSelectionTable(0)), expected);
  EXPECT_EQ(ExtensionTable("FeatureSelection"), expected + "\n");
}

TEST_F(SelectionTablesTest, AutomaticFeatureSelectionShowsOnlyTheStepsKept) {
  ASSERT_NO_FATAL_FAILURE(Build(SelectionDoc()
                                    .Flag("IsFeatureSelection", true)
                                    .Flag("IsAutoFeatureSelection", true)
                                    .Param("SpecifiedK", 3)));
  const std::vector<int>& features = Selection().GetFeatureSelection()->RecordedFeatures()[0];
  const std::vector<double>& errors = Selection().GetFeatureSelection()->RecordedErrors()[0];
  ASSERT_EQ(features.size(), errors.size());
  std::vector<std::string> rows;
  for (size_t t = 0; t < errors.size(); ++t) {
    rows.push_back(std::to_string(t + 1) + ";" + Name(features[t]) + ";" +
                   KNNPMML::NumberText(errors[t]) + ";yes");
  }
  EXPECT_EQ(CompactText(writer->WriteFeatureSelectionTable(0)),
            Table("FeatureSelection", "model;features;error;selected", rows));
  // The model uses exactly the features of the rows.
  EXPECT_EQ(build.Knn()->GetModel()->GetResponseModel(0)->GetFeatures(), features);
}

TEST_F(SelectionTablesTest, FeatureKSelectionMarksEveryStepOfTheChosenK) {
  ASSERT_NO_FATAL_FAILURE(Build(SelectionDoc()
                                    .Flag("IsAutoKSelection", true)
                                    .Flag("IsFeatureSelection", true)
                                    .ParamList("ForcedVariables", {"x2"})
                                    .Param("NSpecifiedFeatures", 1)));
  const KNNBothKAndFeaSelection& combined = *Selection().GetCombinedSelection();
  const int bestK = combined.BestK()[0];
  EXPECT_EQ(build.Knn()->GetModel()->GetResponseModel(0)->GetK(), bestK);
  std::vector<std::string> rows;
  int yes = 0;
  for (int i = 0; i < 3; ++i) {
    const int K = 2 + i;
    const std::vector<int>& features = combined.FeatureGrid()[static_cast<size_t>(i)];
    const std::vector<double>& errors = combined.ErrorGrid()[static_cast<size_t>(i)];
    ASSERT_EQ(features.size(), 2u);
    ASSERT_EQ(errors.size(), 2u);
    rows.push_back("0;x2;" + std::to_string(K) + ";" + KNNPMML::NumberText(errors[0]) + ";no");
    rows.push_back("1;" + Name(features[1]) + ";" + std::to_string(K) + ";" +
                   KNNPMML::NumberText(errors[1]) + (K == bestK ? ";yes" : ";no"));
    yes += K == bestK ? 1 : 0;
  }
  EXPECT_EQ(yes, 1);
  EXPECT_EQ(ExtensionTable("FeatureKSelection"),
            Table("FeatureKSelection", "model;features;K;error;selected", rows) + "\n");
}

TEST_F(SelectionTablesTest, WhichTableTheSettingsChoose) {
  ASSERT_NO_FATAL_FAILURE(Build(SelectionDoc()));
  struct Choice {
    bool feaSelection, autoK, autoFea;
    int specifiedFeaNum;
    const char* table;  // empty: none
  };
  const Choice choices[] = {
      {false, false, false, 0, ""},
      {false, true, false, 0, "KSelection"},
      {true, true, false, 0, "FeatureKSelection"},
      {true, false, true, -1, "FeatureSelection"},
      {true, false, false, 0, "FeatureSelection"},
      {true, false, false, -1, ""},
  };
  for (const Choice& c : choices) {
    writer = build.MakeWriter();
    writer->settings.IsFeaSelection = c.feaSelection;
    writer->settings.IsAutoKSelection = c.autoK;
    writer->settings.IsAutoFeaSelection = c.autoFea;
    writer->settings.SpecifiedFeaNum = c.specifiedFeaNum;
    const std::string extension = CompactText(writer->WriteModelsExtension(0));
    const size_t at = extension.find("<SimpleTable name=\"");
    ASSERT_NE(at, std::string::npos);
    const std::string first = extension.substr(at + 19, extension.find('"', at + 19) - at - 19);
    EXPECT_EQ(first, *c.table != '\0' ? c.table : "neighborsDistances")
        << c.feaSelection << c.autoK << c.autoFea << c.specifiedFeaNum;
  }
  EXPECT_TRUE(scratch.Entries().empty());
}

}  // namespace
