#include "model/knn_feature_importance.h"

#include <gtest/gtest.h>

#include "boundary/status_codes.h"
#include "support/model_fixtures.h"

namespace {

using knn_test::SearchTable;
using knn_test::SyntheticColumns;

TEST(FeatureImportanceNormalise, SmoothsAndSumsToOne) {
  struct Case {
    std::vector<double> errors;
    std::vector<double> expected;
  };
  const std::vector<Case> cases{
      {{0.2, 0.1, 0.1}, {(0.2 + 1.0 / 3) / 1.4, (0.1 + 1.0 / 3) / 1.4, (0.1 + 1.0 / 3) / 1.4}},
      {{0.0, 0.0, 0.0, 0.0}, {0.25, 0.25, 0.25, 0.25}},
      {{0.0}, {1.0}},
      {{3.0, 1.0}, {3.5 / 5.0, 1.5 / 5.0}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    std::vector<double> row = c.errors;
    KNNFeatureImportance::Normalise(row);
    ASSERT_EQ(row.size(), c.expected.size());
    for (size_t i = 0; i < row.size(); ++i) EXPECT_NEAR(row[i], c.expected[i], 1e-15);
  }
}

class FeatureImportanceTest : public ::testing::Test {
 protected:
  void Prepare(bool continuous) {
    knn_test::FillSynthetic(table_, cols_, 90, 2, 1, continuous, 0, 99u);
    table_.Settings().SpecifiedK = 4;
    ASSERT_FALSE(table_.Prepare().IsError());
    models_.push_back(
        std::make_unique<KNNSingleResponseModel>(&table_.Data(), cols_.response, continuous));
  }
  // Importances computed from brute-force leave-one-out errors.
  std::vector<double> Expected(const std::vector<int>& features, int K, int response,
                               bool continuous) {
    std::vector<double> row;
    for (size_t i = 0; i < features.size(); ++i) {
      std::vector<int> reduced = features;
      reduced.erase(reduced.begin() + static_cast<long>(i));
      row.push_back(features.size() == 1 ? 0.0
                                         : knn_test::BruteForceError(table_.Data(), reduced, K,
                                                                     response, continuous, 0));
    }
    KNNFeatureImportance::Normalise(row);
    return row;
  }
  SearchTable table_;
  SyntheticColumns cols_;
  KNNResponseModels models_;
};

TEST_F(FeatureImportanceTest, LeaveOneOutErrorsOverAllFeatures) {
  Prepare(true);
  KNNFeatureImportance importance(&table_.Settings(), models_, &table_.Stop());
  ASSERT_TRUE(importance.SetUp().IsOK());
  ASSERT_TRUE(importance.Run().IsOK());
  const std::vector<double> expected =
      Expected(table_.Settings().AllFeatures, 4, cols_.response, true);
  const std::vector<double>& got = models_[0]->GetImportance();
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-12) << i;
  // Removing the strongest informative feature hurts most.
  EXPECT_GT(got[0], got[2]);
}

// With feature selection each model's own list (and K) is used; a lone feature gets 1.
TEST_F(FeatureImportanceTest, OwnFeatureListsWithFeatureSelection) {
  Prepare(false);
  table_.Settings().IsFeaSelection = true;
  models_[0]->SetK(3);
  for (const std::vector<int>& features :
       {std::vector<int>{cols_.informative[1], cols_.noise[0]}, {cols_.noise[0]}}) {
    models_[0]->SetFeatures(features);
    KNNFeatureImportance importance(&table_.Settings(), models_, &table_.Stop());
    ASSERT_TRUE(importance.SetUp().IsOK());
    ASSERT_TRUE(importance.Run().IsOK());
    const std::vector<double> expected = Expected(features, 3, cols_.response, false);
    const std::vector<double>& got = models_[0]->GetImportance();
    ASSERT_EQ(got.size(), features.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-12) << i;
  }
  EXPECT_EQ(models_[0]->GetImportance(), std::vector<double>{1.0});
}

TEST_F(FeatureImportanceTest, NoPredictorAndInterruptLeaveImportanceEmpty) {
  Prepare(true);
  KNNResponseModels none;
  none.push_back(std::make_unique<KNNSingleResponseModel>(&table_.Data(), -1, false));
  KNNFeatureImportance without(&table_.Settings(), none, &table_.Stop());
  EXPECT_EQ(without.SetUp().GetErrorCode(), KNNStatus::kNoPredictionObject);
  EXPECT_EQ(without.Run().GetErrorCode(), KNNStatus::kNoPredictionObject);

  knn_test::CountingInterruptCheck check(100);  // in the second left-out feature's pass
  table_.Stop().interruptCheck = &check;
  KNNFeatureImportance importance(&table_.Settings(), models_, &table_.Stop());
  importance.SetUp();
  EXPECT_EQ(importance.Run().GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_TRUE(table_.Stop().stopRequested.load());
  EXPECT_EQ(check.Questions(), 100);
  EXPECT_TRUE(models_[0]->GetImportance().empty());
  table_.Stop().interruptCheck = nullptr;
}

}  // namespace
