// The combined K and feature selection table of a model's extension, compared with the
// records of the selection. Forward selection with a given number of features, K selection and
// the neighbour table are held by the golden documents and recomputed by the script beside
// them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "support/pmml_fixture.h"

namespace {

using SelectionTablesTest = knntest::PmmlWriterTest;

TEST_F(SelectionTablesTest, FeatureKSelectionRecordsEachKAndMarksEveryStepOfTheChosenK) {
  // Fields: 0 id, 1 x1, 2 x2, 3 x3, 4 c, 5 focal, 6 y (a/b).
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < 24; ++i) {
    const double x1 = (i * 37 % 100) / 10.0, x2 = (i * 53 % 100) / 10.0 + 0.013 * i;
    rows.push_back({1.0 + i, x1, x2, (i * 71 % 97) / 9.7, (i * 7 % 5) < 2 ? 0.0 : 1.0, 0,
                    x1 + 0.5 * x2 > 7.0 ? 1.0 : 0.0});
  }
  knntest::SettingsDoc d;
  d.Continuous("id", 1, 1000).Continuous("x1", 0, 10).Continuous("x2", 0, 10);
  d.Continuous("x3", 0, 10).Categorical("c", {"p", "q"}).Categorical("focal", {"0", "1"}, true);
  d.Categorical("y", {"a", "b"}).Target("y").Inputs({"x1", "x2", "x3", "c"});
  d.Param("CaseIDVar", "id").Param("FocalVar", "focal").Param("TempFileDir", "");
  d.Param("MinK", 2)
      .Param("MaxK", 4)
      .Flag("IsFeatureSelection", true)
      .Flag("IsAutoKSelection", true);
  ASSERT_NO_FATAL_FAILURE(
      Build(d.ParamList("ForcedVariables", {"x2", "x3"}).Param("NSpecifiedFeatures", 1), rows));
  const KNNBothKAndFeaSelection& combined =
      *build.Knn()->GetModel()->GetSelection()->GetCombinedSelection();
  const int bestK = combined.BestK()[0];
  EXPECT_EQ(build.Knn()->GetModel()->GetResponseModel(0)->GetK(), bestK);
  std::string expected =
      "<SimpleTable name=\"FeatureKSelection\"><Metadata name=\"method\" "
      "value=\"forwardSelection\"/><RowNames/><ColumnNames>model;features;K;error;selected"
      "</ColumnNames>";
  for (int K = 2; K <= 4; ++K) {
    const std::vector<int>& features = combined.FeatureGrid()[static_cast<size_t>(K - 2)];
    const std::vector<double>& errors = combined.ErrorGrid()[static_cast<size_t>(K - 2)];
    ASSERT_EQ(features.size(), 3u);
    ASSERT_EQ(errors.size(), 2u);
    // The forced set is step 0, joined by "+", and never counts as selected.
    expected += "<Row>0;x2+x3;" + std::to_string(K) + ";" + KNNPMML::NumberText(errors[0]) +
                ";no</Row><Row>1;" + writer->VariableName(features[2]) + ";" + std::to_string(K) +
                ";" + KNNPMML::NumberText(errors[1]) + (K == bestK ? ";yes" : ";no") + "</Row>";
  }
  std::string document;
  ASSERT_TRUE(build.Write(document).IsOK());
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:SimpleTable[@name='FeatureKSelection']"),
            expected + "</SimpleTable>\n");
}

}  // namespace
