#include "model/knn_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/model_fixtures.h"

namespace {

// Shared searches, clustering, self-exclusion, the result layout and stopped builds are
// covered through the component by the model-document, command-line and reliability tests.
// With feature selection each response has its own tree over its own features, which scoring
// must use, and exactly the union of the selected features is marked as used.
TEST(KNNModelTest, TwoResponsesWithFeatureSelectionHaveOwnTrees) {
  knn_test::SearchTable table;
  knn_test::IrisColumns cols;
  ASSERT_TRUE(knn_test::LoadIris(table, cols));
  KNNSettings& s = table.Settings();
  s.ResponseCategorical = {cols.species};
  s.ResponseContinuous = {cols.petalWidth};
  s.AllFeatures = {cols.sepalLength, cols.sepalWidth, cols.petalLength};
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 1;
  s.SpecifiedK = 5;
  ASSERT_FALSE(table.Prepare().IsError());
  KNNModel model(&s, &table.Variables(), &table.Stop(), &table.Data());
  ASSERT_TRUE(model.Build().IsOK());
  EXPECT_FALSE(model.IsSharedModel());
  // The fifth record, scored as the host would deliver it (the file lists cases by ID).
  table.Source().Rewind();
  for (int i = 0; i < 4; ++i) table.Source().NextRecord();
  std::vector<std::vector<double>> results;
  ASSERT_TRUE(model.ScoreRecord(*table.Source().NextRecord(), results).IsOK());
  ASSERT_EQ(results.size(), 2u);
  const auto row = [&](double id) { return table.Data().caseRows.at(size_t(id) - 1); };
  std::vector<int> used;
  for (size_t r = 0; r < 2; ++r) {
    const std::vector<int>& features = model.GetResponseModel(int(r))->GetFeatures();
    EXPECT_EQ(features, model.GetSelection()->GetFeatureSelection()->RecordedFeatures()[r]);
    ASSERT_EQ(features.size(), 1u);
    used.push_back(features[0]);
    for (size_t i = 0; i < 5; ++i) {  // each result's distances come from its own feature
      EXPECT_NEAR(results[r][5 + i],
                  std::fabs(row(5)[features[0]] - row(results[r][i])[features[0]]), 1e-12);
    }
  }
  for (int f : s.AllFeatures) {
    auto* variable = dynamic_cast<KNNContVariable*>(table.Data().variables[size_t(f)]);
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(variable->used, std::count(used.begin(), used.end(), f) > 0) << f;
  }
}

}  // namespace
