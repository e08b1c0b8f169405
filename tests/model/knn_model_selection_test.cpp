#include "model/knn_model_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <memory>
#include <tuple>

#include "boundary/status_codes.h"
#include "predict/knn_prediction_factory.h"
#include "support/model_fixtures.h"

namespace {

class ModelSelectionTest : public ::testing::Test {
 protected:
  // A fresh synthetic table (2 informative, 2 noise features, K range 3..6) and its model.
  KNNSettings& Prepare(bool continuous, int cases, int folds) {
    selection_.reset();
    models_.clear();
    table_ = std::make_unique<knn_test::SearchTable>();
    knn_test::FillSynthetic(*table_, cols_, cases, 2, 2, continuous, folds, 5u);
    table_->Settings().MinK = 3;
    table_->Settings().MaxK = 6;
    EXPECT_FALSE(table_->Prepare().IsError());
    models_.push_back(
        std::make_unique<KNNSingleResponseModel>(&table_->Data(), cols_.response, continuous));
    return table_->Settings();
  }
  VelCommon::VelStatus Run() {
    selection_ = std::make_unique<KNNModelSelection>(&table_->Settings(), &table_->Variables(),
                                                     &table_->Stop(), models_);
    return selection_->Run();
  }
  double Error(const std::vector<int>& features, int K, int fold = -1, int count = 0) {
    return knn_test::BruteForceError(table_->Data(), features, K, cols_.response,
                                     models_[0]->IsContinuousResponse(), 0,
                                     fold < 0 ? -1 : cols_.fold, fold, count);
  }

  std::unique_ptr<knn_test::SearchTable> table_;
  knn_test::SyntheticColumns cols_;
  KNNResponseModels models_;
  std::unique_ptr<KNNModelSelection> selection_;
};

// The grid holds, per K, the mean over folds of each fold's error (sum of squares or
// misclassification rate), so unequal folds (101 cases in 3: 34, 34, 33) weigh alike; the
// smallest error wins, the smaller K on ties.
TEST_F(ModelSelectionTest, KSelectionGridIsTheMeanOfFoldErrors) {
  EXPECT_EQ(KNNAutoKSelection::BestIndex({0.25, 0.2, 0.2}), 1u);
  EXPECT_EQ(KNNAutoKSelection::BestIndex({0.1, 0.3, 0.1}), 0u);
  for (const auto& [continuous, cases, folds] : {std::tuple{true, 150, 4}, {false, 101, 3}}) {
    SCOPED_TRACE(continuous ? "continuous" : "categorical");
    Prepare(continuous, cases, folds).IsAutoKSelection = true;
    ASSERT_TRUE(Run().IsOK());
    const KNNAutoKSelection* ks = selection_->GetKSelection();
    ASSERT_TRUE(ks != nullptr && ks->ErrorGrid().size() == 1u);
    const std::vector<double>& grid = ks->ErrorGrid()[0];
    ASSERT_EQ(grid.size(), 4u);
    const auto* counts = table_->Data().variables[size_t(cols_.fold)]->GetCategoryCounts();
    for (int K = 3; K <= 6; ++K) {
      double expected = 0.0;
      for (int f = 0; f < folds; ++f) {
        expected += Error(table_->Settings().AllFeatures, K, f, int((*counts)[size_t(f)])) / folds;
      }
      EXPECT_NEAR(grid[size_t(K - 3)], expected, 1e-9) << "K " << K;
    }
    const int best = 3 + static_cast<int>(KNNAutoKSelection::BestIndex(grid));
    EXPECT_EQ(ks->SelectedK(), std::vector<int32_t>{best});
    EXPECT_EQ(models_[0]->GetK(), best);
  }
}

// Every case's neighbours as a scoring pass reports them, case after case.
class NeighbourCapture : public KNNPredictionFactory {
 public:
  explicit NeighbourCapture(KNNSingleResponseModel& model)
      : KNNPredictionFactory({model.GetPredictor()}, nullptr, true) {}
  void Output(KNNNeighborList& list, const double*) override {
    for (int32_t i = 0; i < list.count; ++i) {
      cases.push_back(list.items[size_t(i)].caseIndex);
      distances.push_back(list.items[size_t(i)].distance);
    }
    cases.push_back(-1);
  }
  std::vector<int32_t> cases;
  std::vector<double> distances;
};

// K selection keeps each case's answer from its fold's search; the pass over all cases that
// follows (same features and weights) then searches only each case's own fold, and every
// case must get the neighbours a search of the whole tree gives it, distances bit for bit.
// Kept answers missing each case's nearest outside case must show in what is reported.
TEST_F(ModelSelectionTest, KeptFoldAnswersScoreLikeASearchOfAllCases) {
  KNNSettings& s = Prepare(true, 400, 4);
  s.IsAutoKSelection = true;
  s.MaxK = 9;
  ASSERT_TRUE(Run().IsOK());
  KNNSingleResponseModel& model = *models_[0];
  ASSERT_TRUE(model.BuildTree().IsOK());
  const KNNCaseRows& rows = table_->Data().caseRows;
  for (const int K : {1, 5, 8}) {
    SCOPED_TRACE(::testing::Message() << "K " << K);
    ASSERT_NE(model.FoldAnswers(K), nullptr);
    NeighbourCapture joined(model);
    ASSERT_TRUE(joined.ScoreCases(model, rows, -1, K).IsOK());
    const KNNFoldAnswers kept = *model.FoldAnswers(K);
    model.KeepFoldAnswers({});
    ASSERT_EQ(model.FoldAnswers(K), nullptr);
    NeighbourCapture whole(model);
    ASSERT_TRUE(whole.ScoreCases(model, rows, -1, K).IsOK());
    EXPECT_EQ(joined.cases, whole.cases);
    ASSERT_EQ(joined.distances.size(), whole.distances.size());
    EXPECT_EQ(std::memcmp(joined.distances.data(), whole.distances.data(),
                          sizeof(double) * whole.distances.size()),
              0);
    EXPECT_EQ(joined.GetErrors(), whole.GetErrors());

    KNNFoldAnswers wrong = kept;
    for (size_t i = 0; i < wrong.counts.size(); ++i) {
      int32_t* slot = wrong.cases.data() + i * size_t(wrong.K);
      if (wrong.counts[i] > 0) std::rotate(slot, slot + 1, slot + wrong.counts[i]--);
    }
    model.KeepFoldAnswers(wrong);
    NeighbourCapture misled(model);
    ASSERT_TRUE(misled.ScoreCases(model, rows, -1, K).IsOK());
    EXPECT_NE(misled.cases, whole.cases);
    model.KeepFoldAnswers(kept);
  }
  // The answers hold MaxK neighbours: a pass needing K + 1 = 10 of them searches as before.
  EXPECT_EQ(model.FoldAnswers(9), nullptr);
}

TEST_F(ModelSelectionTest, CombinedSelectionKeepsKWithLowestFinalError) {
  KNNSettings& s = Prepare(false, 90, 0);
  s.MaxK = 5;
  s.IsAutoKSelection = s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 2;
  ASSERT_TRUE(Run().IsOK());
  EXPECT_EQ(selection_->GetKSelection(), nullptr) << "no separate V-fold pass";
  const KNNBothKAndFeaSelection* both = selection_->GetCombinedSelection();
  ASSERT_TRUE(both != nullptr && both->FeatureGrid().size() == 3u);
  double bestError = DBL_MAX;
  int bestK = -1;
  for (int K = 3; K <= 5; ++K) {
    const std::vector<int>& features = both->FeatureGrid()[size_t(K - 3)];
    const std::vector<double>& errors = both->ErrorGrid()[size_t(K - 3)];
    ASSERT_TRUE(features.size() == 2u && errors.size() == 2u);
    // The recorded final error is the error of the recorded list with that K.
    EXPECT_NEAR(errors.back(), Error(features, K), 1e-12);
    if (errors.back() < bestError) std::tie(bestError, bestK) = std::tuple{errors.back(), K};
  }
  EXPECT_EQ(both->BestK(), std::vector<int32_t>{bestK});
  EXPECT_EQ(models_[0]->GetK(), bestK);
  EXPECT_EQ(models_[0]->GetFeatures(), both->FeatureGrid()[size_t(bestK - 3)]);
}

// A stage that fails ends the run at once with its own code and leaves the model's K,
// features and importance untouched (the combined search leaves the features of the last K it
// finished). An interrupt raises the stop flag and no question follows it; the combined search
// costs 4 + 3 passes of 60 cases per K, so it stops inside the second K with only the first
// K's cell kept. Responses of 1e200 overflow any squared error.
TEST_F(ModelSelectionTest, AFailedStageLeavesTheModelUntouched) {
  enum Stage { kK, kCombined, kFeatures, kImportance };
  const std::tuple<Stage, int, long> stages[] = {
      {kK, 50, KNNStatus::kInterrupted},
      {kCombined, 7 * 60 + 30, KNNStatus::kInterrupted},
      {kFeatures, 200, KNNStatus::kInterrupted},
      {kImportance, 100, KNNStatus::kInterrupted},
      {kK, 0, KNNStatus::kKSelectionError},
      {kCombined, 0, KNNStatus::kKAndFeatureSelectionError},
      {kFeatures, 0, KNNStatus::kFeatureSelectionError}};
  for (const auto& [stage, yesFrom, code] : stages) {
    SCOPED_TRACE(::testing::Message() << "stage " << stage << ", code " << code);
    KNNSettings& s = stage == kK ? Prepare(true, 100, 5) : Prepare(yesFrom == 0, 60, 0);
    s.IsAutoKSelection = stage == kK || stage == kCombined;
    s.IsFeaSelection = stage == kCombined || stage == kFeatures;
    s.IsFeaImportance = stage == kImportance;
    s.SpecifiedFeaNum = 2;
    for (int i = 0; yesFrom == 0 && i < table_->Data().caseCount; ++i) {
      table_->Data().caseRows[size_t(i)][cols_.response] = i % 2 ? 1e200 : -1e200;
    }
    const std::vector<int> features = models_[0]->GetFeatures();
    knn_test::CountingInterruptCheck check(yesFrom == 0 ? 1 << 30 : yesFrom);
    table_->Stop().interruptCheck = &check;
    EXPECT_EQ(Run().GetErrorCode(), code);
    EXPECT_EQ(selection_->GetStatus().GetErrorCode(), code);
    EXPECT_EQ(table_->Stop().stopRequested.load(), yesFrom > 0);
    EXPECT_TRUE(yesFrom == 0 || check.Questions() == yesFrom) << check.Questions();
    EXPECT_EQ(models_[0]->GetK(), s.SpecifiedK);
    EXPECT_TRUE(models_[0]->GetImportance().empty());
    if (stage != kCombined) {
      EXPECT_EQ(models_[0]->GetFeatures(), features);
    } else if (yesFrom > 0) {
      const KNNBothKAndFeaSelection* both = selection_->GetCombinedSelection();
      EXPECT_EQ(both->GetStatus().GetErrorCode(), KNNStatus::kInterrupted);
      EXPECT_EQ(both->FeatureGrid()[0].size(), 2u);
      EXPECT_TRUE(both->FeatureGrid()[1].empty());
    }
  }
}

}  // namespace
