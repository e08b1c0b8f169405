#include "model/knn_feature_importance.h"

#include <gtest/gtest.h>

#include <cmath>

#include "boundary/status_codes.h"
#include "support/model_fixtures.h"

namespace {

// The importance of a feature is the normalised leave-one-out error without it, over all
// features, or with feature selection over each model's own list and K (a lone feature: 1).
// Without a predictor nothing can be scored. Normalising adds 1/n to each error, then scales
// the row to sum to one.
TEST(FeatureImportanceTest, LeaveOneOutErrorsWithoutEachFeature) {
  std::vector<double> row = {3.0, 1.0}, zeros(4, 0.0), none;
  for (std::vector<double>* r : {&row, &zeros, &none}) KNNFeatureImportance::Normalise(*r);
  EXPECT_TRUE(row.size() == 2 && std::fabs(row[0] - 0.7) < 1e-15 &&
              std::fabs(row[1] - 0.3) < 1e-15);
  EXPECT_EQ(zeros, std::vector<double>(4, 0.25));
  EXPECT_TRUE(none.empty());
  for (const bool selection : {false, true}) {
    SCOPED_TRACE(selection ? "own lists" : "all features");
    knn_test::SearchTable table;
    knn_test::SyntheticColumns cols;
    knn_test::FillSynthetic(table, cols, 90, 2, 1, !selection, 0, 99u);
    table.Settings().SpecifiedK = 4;
    table.Settings().IsFeaSelection = selection;
    ASSERT_FALSE(table.Prepare().IsError());
    KNNResponseModels models;
    models.push_back(
        std::make_unique<KNNSingleResponseModel>(&table.Data(), cols.response, !selection));
    if (selection) models[0]->SetK(3);
    std::vector<std::vector<int>> lists = {table.Settings().AllFeatures};
    if (selection) lists = {{cols.informative[1], cols.noise[0]}, {cols.noise[0]}};
    for (const std::vector<int>& features : lists) {
      if (selection) models[0]->SetFeatures(features);
      KNNFeatureImportance importance(&table.Settings(), models, &table.Stop());
      ASSERT_TRUE(importance.SetUp().IsOK() && importance.Run().IsOK());
      std::vector<double> expected;
      for (size_t i = 0; i < features.size(); ++i) {
        std::vector<int> reduced = features;
        reduced.erase(reduced.begin() + long(i));
        expected.push_back(features.size() == 1
                               ? 0.0
                               : knn_test::BruteForceError(table.Data(), reduced, models[0]->GetK(),
                                                           cols.response, !selection, 0));
      }
      KNNFeatureImportance::Normalise(expected);
      const std::vector<double>& got = models[0]->GetImportance();
      ASSERT_EQ(got.size(), expected.size());
      for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-12) << i;
    }
    models[0] = std::make_unique<KNNSingleResponseModel>(&table.Data(), -1, false);
    KNNFeatureImportance without(&table.Settings(), models, &table.Stop());
    EXPECT_EQ(without.SetUp().GetErrorCode(), KNNStatus::kNoPredictionObject);
  }
}

}  // namespace
