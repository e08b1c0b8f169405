#include "model/knn_single_response_model.h"

#include <gtest/gtest.h>

#include <sstream>

#include "host/vel_display.h"
#include "support/model_fixtures.h"

namespace {

using knn_test::IrisColumns;
using knn_test::SearchTable;

class SingleResponseModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(knn_test::LoadIris(table_, cols_));
    table_.Settings().ResponseCategorical = {cols_.species};
    table_.Settings().SpecifiedK = 4;
    ASSERT_FALSE(table_.Prepare().IsError());
  }
  SearchTable table_;
  IrisColumns cols_;
};

TEST_F(SingleResponseModelTest, NoResponseHasNoPredictor) {
  KNNSingleResponseModel model(&table_.Data(), -1, false);
  EXPECT_EQ(model.GetResponseIndex(), -1);
  EXPECT_EQ(model.GetPredictor(), nullptr);
  EXPECT_FALSE(model.IsContinuousResponse());
  EXPECT_EQ(model.GetK(), 4);
  EXPECT_NE(model.GetTree(), nullptr);
}

TEST_F(SingleResponseModelTest, StartsWithAllFeaturesAndUnitWeights) {
  KNNSingleResponseModel model(&table_.Data(), cols_.species, false);
  const std::vector<int> all{cols_.sepalLength, cols_.sepalWidth, cols_.petalLength,
                             cols_.petalWidth};
  EXPECT_EQ(model.GetFeatures(), all);
  EXPECT_EQ(model.GetWeights(), std::vector<double>(4, 1.0));
  EXPECT_TRUE(model.GetImportance().empty());
  auto* predictor = dynamic_cast<KNNCatPredictionSummary*>(model.GetPredictor());
  ASSERT_NE(predictor, nullptr);
  EXPECT_EQ(predictor->CategoryCount(), 3);
  EXPECT_EQ(predictor->ResponseColumn(), cols_.species);
  EXPECT_EQ(predictor->CaseCount(), 150);
}

TEST_F(SingleResponseModelTest, SpecifiedFeaturesReplaceFeaturesAndWeights) {
  table_.Settings().SpecifiedFeatures = {cols_.petalWidth, cols_.sepalLength};
  table_.Settings().SpecifiedFeatureWeights = {0.25, 2.0};
  KNNSingleResponseModel model(&table_.Data(), cols_.species, false);
  EXPECT_EQ(model.GetFeatures(), (std::vector<int>{cols_.petalWidth, cols_.sepalLength}));
  EXPECT_EQ(model.GetWeights(), (std::vector<double>{0.25, 2.0}));
}

TEST_F(SingleResponseModelTest, ContinuousResponseUsesMedianWhenAsked) {
  table_.Settings().ComputePredValFunc = 1;
  KNNSingleResponseModel model(&table_.Data(), cols_.petalWidth, true);
  auto* predictor = dynamic_cast<KNNContPredictionSummary*>(model.GetPredictor());
  ASSERT_NE(predictor, nullptr);
  EXPECT_TRUE(predictor->UsesMedian());
}

TEST_F(SingleResponseModelTest, TrialBuildsLeaveOwnListsAlone) {
  KNNSingleResponseModel model(&table_.Data(), cols_.species, false);
  const std::vector<int> features = model.GetFeatures();
  ASSERT_TRUE(model.BuildTreeForFeatures({cols_.petalLength}, 2).IsOK());
  EXPECT_EQ(model.GetFeatures(), features);
  EXPECT_EQ(model.GetWeights(), std::vector<double>(4, 1.0));
  // Fold 2 left out: 30 of 150 cases are not indexed.
  EXPECT_EQ(model.GetTree()->PointCount(), 120);
  ASSERT_TRUE(model.BuildTree().IsOK());
  EXPECT_EQ(model.GetTree()->PointCount(), 150);
}

TEST_F(SingleResponseModelTest, BuildTreeUsesOwnWeights) {
  KNNSingleResponseModel model(&table_.Data(), cols_.species, false);
  model.SetFeatures({cols_.sepalWidth, cols_.petalWidth});
  model.SetWeights({0.5, 3.0, 1.0, 1.0});  // longer than the features: only the first two count
  ASSERT_TRUE(model.BuildTree().IsOK());
  const std::vector<double>& w = model.GetTree()->Weights();
  EXPECT_DOUBLE_EQ(w[static_cast<size_t>(cols_.sepalWidth)], 0.5);
  EXPECT_DOUBLE_EQ(w[static_cast<size_t>(cols_.petalWidth)], 3.0);
}

TEST_F(SingleResponseModelTest, DisplayShowsKUnderBothLabels) {
  KNNSingleResponseModel model(&table_.Data(), cols_.species, false);
  model.SetK(7);
  std::ostringstream out;
  VelComponentDisplay::SetOutStream(&out);
  model.Display();
  VelComponentDisplay::SetOutStream(nullptr);
  const std::string text = out.str();
  const auto start = text.find("KNNSingleResponseModel display start");
  const auto first = text.find("Number of K");
  const auto second = text.find("number of K");
  const auto end = text.find("KNNSingleResponseModel display end");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(start, first);
  EXPECT_LT(first, second);
  EXPECT_LT(second, end);
  EXPECT_NE(text.find("7", first), std::string::npos);
}

}  // namespace
