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

TEST_F(SingleResponseModelTest, PredictorFeaturesAndWeightsFromTheSettings) {
  KNNSingleResponseModel none(&table_.Data(), -1, false);
  EXPECT_EQ(none.GetPredictor(), nullptr);
  EXPECT_EQ(none.GetK(), 4);

  KNNSingleResponseModel model(&table_.Data(), cols_.species, false);
  EXPECT_EQ(model.GetFeatures(), (std::vector<int>{cols_.sepalLength, cols_.sepalWidth,
                                                   cols_.petalLength, cols_.petalWidth}));
  EXPECT_EQ(model.GetWeights(), std::vector<double>(4, 1.0));
  auto* predictor = dynamic_cast<KNNCatPredictionSummary*>(model.GetPredictor());
  ASSERT_NE(predictor, nullptr);
  EXPECT_EQ(predictor->CategoryCount(), 3);
  EXPECT_EQ(predictor->ResponseColumn(), cols_.species);
  EXPECT_EQ(predictor->CaseCount(), 150);

  table_.Settings().SpecifiedFeatures = {cols_.petalWidth, cols_.sepalLength};
  table_.Settings().SpecifiedFeatureWeights = {0.25, 2.0};
  table_.Settings().ComputePredValFunc = 1;
  KNNSingleResponseModel specified(&table_.Data(), cols_.petalWidth, true);
  EXPECT_EQ(specified.GetFeatures(), (std::vector<int>{cols_.petalWidth, cols_.sepalLength}));
  EXPECT_EQ(specified.GetWeights(), (std::vector<double>{0.25, 2.0}));
  auto* median = dynamic_cast<KNNContPredictionSummary*>(specified.GetPredictor());
  ASSERT_NE(median, nullptr);
  EXPECT_TRUE(median->UsesMedian());
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
  size_t at = 0;
  for (const char* part : {"KNNSingleResponseModel display start", "Number of K", "7",
                           "number of K", "7", "KNNSingleResponseModel display end"}) {
    at = text.find(part, at);
    ASSERT_NE(at, std::string::npos) << part << " in order";
  }
}

}  // namespace
