#include "model/knn_single_response_model.h"

#include <gtest/gtest.h>

#include "support/model_fixtures.h"

namespace {

// User-given features and weights are taken as given; a trial build for other features (and
// a held-out fold) leaves the model's own lists alone, and its own build uses its own
// features and weights (only as many weights as features).
TEST(SingleResponseModelTest, ListsFromTheSettingsAndTrialBuildsLeaveThemAlone) {
  knn_test::SearchTable table;
  knn_test::IrisColumns cols;
  ASSERT_TRUE(knn_test::LoadIris(table, cols));
  KNNSettings& s = table.Settings();
  s.ResponseCategorical = {cols.species};
  s.SpecifiedK = 4;
  ASSERT_FALSE(table.Prepare().IsError());
  KNNSingleResponseModel model(&table.Data(), cols.species, false);
  const std::vector<int> features = model.GetFeatures();
  ASSERT_TRUE(model.BuildTreeForFeatures({cols.petalLength}, 2).IsOK());
  EXPECT_EQ(model.GetFeatures(), features);
  EXPECT_EQ(model.GetWeights(), std::vector<double>(4, 1.0));
  EXPECT_EQ(model.GetTree()->PointCount(), 120);  // fold 2 holds 30 of 150 cases
  model.SetFeatures({cols.sepalWidth, cols.petalWidth});
  model.SetWeights({0.5, 3.0, 1.0, 1.0});
  ASSERT_TRUE(model.BuildTree().IsOK());
  EXPECT_EQ(model.GetTree()->PointCount(), 150);
  EXPECT_DOUBLE_EQ(model.GetTree()->Weights()[size_t(cols.sepalWidth)], 0.5);
  EXPECT_DOUBLE_EQ(model.GetTree()->Weights()[size_t(cols.petalWidth)], 3.0);

  s.SpecifiedFeatures = {cols.petalWidth, cols.sepalLength};
  s.SpecifiedFeatureWeights = {0.25, 2.0};
  KNNSingleResponseModel specified(&table.Data(), cols.petalWidth, true);
  EXPECT_EQ(specified.GetFeatures(), (std::vector<int>{cols.petalWidth, cols.sepalLength}));
  EXPECT_EQ(specified.GetWeights(), (std::vector<double>{0.25, 2.0}));
}

}  // namespace
