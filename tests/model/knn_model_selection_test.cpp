#include "model/knn_model_selection.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "boundary/status_codes.h"
#include "knn/progress_report.h"
#include "support/model_fixtures.h"

namespace {

using knn_test::SearchTable;
using knn_test::SyntheticColumns;

TEST(KSelectionBestIndex, SmallestErrorEarliestOnTies) {
  EXPECT_EQ(KNNAutoKSelection::BestIndex({0.25, 0.2, 0.2}), 1u);
  EXPECT_EQ(KNNAutoKSelection::BestIndex({0.1, 0.3, 0.1}), 0u);
  EXPECT_EQ(KNNAutoKSelection::BestIndex({5.0, 4.0, 3.0, 3.0}), 2u);
  EXPECT_EQ(KNNAutoKSelection::BestIndex({7.0}), 0u);
}

// Records the stage code of every notification.
class StageRecorder : public IVelProgressListener {
 public:
  void Notify(ProgressReport* report) override {
    stages.push_back(report->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> stages;
};

class ModelSelectionTest : public ::testing::Test {
 protected:
  void Prepare(bool continuous, int cases, int folds, int informative = 2, int noise = 2) {
    knn_test::FillSynthetic(table_, cols_, cases, informative, noise, continuous, folds, 5u);
    KNNSettings& s = table_.Settings();
    s.MinK = 2;
    s.MaxK = 7;
    ASSERT_FALSE(table_.Prepare().IsError());
    models_.push_back(
        std::make_unique<KNNSingleResponseModel>(&table_.Data(), cols_.response, continuous));
  }
  void Listen() {
    table_.Settings().progressListener = &recorder_;
    table_.Settings().reporter = new KNNReporter();
  }
  // Cross-validated error of one K computed by brute force over the folds.
  double CvError(int K, bool continuous, int folds) {
    double total = 0.0;
    const auto* counts =
        table_.Data().variables[static_cast<size_t>(cols_.fold)]->GetCategoryCounts();
    for (int f = 0; f < folds; ++f) {
      const int n = static_cast<int>((*counts)[static_cast<size_t>(f)]);
      total += knn_test::BruteForceError(table_.Data(), table_.Settings().AllFeatures, K,
                                         cols_.response, continuous, 0, cols_.fold, f, n) /
               folds;
    }
    return total;
  }

  void CheckGrid(bool continuous, int cases, int folds) {
    Prepare(continuous, cases, folds);
    table_.Settings().IsAutoKSelection = true;
    KNNModelSelection selection(&table_.Settings(), &table_.Variables(), &table_.Stop(), models_);
    ASSERT_TRUE(selection.Run().IsOK());
    const KNNAutoKSelection* ks = selection.GetKSelection();
    ASSERT_NE(ks, nullptr);
    ASSERT_EQ(ks->ErrorGrid().size(), 1u);
    const std::vector<double>& grid = ks->ErrorGrid()[0];
    ASSERT_EQ(grid.size(), 6u);
    for (int K = 2; K <= 7; ++K) {
      EXPECT_NEAR(grid[static_cast<size_t>(K - 2)], CvError(K, continuous, folds), 1e-9) << K;
    }
    const int expected = 2 + static_cast<int>(KNNAutoKSelection::BestIndex(grid));
    EXPECT_EQ(ks->SelectedK(), std::vector<int32_t>{expected});
    EXPECT_EQ(models_[0]->GetK(), expected);
    EXPECT_EQ(selection.GetFeatureSelection(), nullptr);
  }

  SearchTable table_;
  SyntheticColumns cols_;
  KNNResponseModels models_;
  StageRecorder recorder_;
};

// The grid holds, per K, the mean over folds of each fold's error (sum of squares or
// misclassification rate), so unequal folds (101 cases in 3: 34, 34, 33) weigh alike.
TEST_F(ModelSelectionTest, KSelectionGridIsMeanOfFoldSumsOfSquares) {
  CheckGrid(true, 150, 4);
}
TEST_F(ModelSelectionTest, KSelectionGridWeighsUnequalFoldsEqually) {
  CheckGrid(false, 101, 3);
}

TEST_F(ModelSelectionTest, CombinedSelectionKeepsKWithLowestFinalError) {
  Prepare(false, 90, 0);
  KNNSettings& s = table_.Settings();
  s.MinK = 3;
  s.MaxK = 5;
  s.IsAutoKSelection = true;
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 2;
  Listen();
  KNNModelSelection selection(&s, &table_.Variables(), &table_.Stop(), models_);
  ASSERT_TRUE(selection.Run().IsOK());
  EXPECT_EQ(selection.GetKSelection(), nullptr) << "no separate V-fold pass";
  const KNNBothKAndFeaSelection* both = selection.GetCombinedSelection();
  ASSERT_NE(both, nullptr);
  ASSERT_EQ(both->FeatureGrid().size(), 3u);
  double bestError = DBL_MAX;
  int bestK = -1;
  for (int i = 0; i < 3; ++i) {
    const std::vector<int>& features = both->FeatureGrid()[static_cast<size_t>(i)];
    const std::vector<double>& errors = both->ErrorGrid()[static_cast<size_t>(i)];
    ASSERT_EQ(features.size(), 2u);
    ASSERT_EQ(errors.size(), 2u);
    // The recorded final error is the error of the recorded list with that K.
    const double final =
        knn_test::BruteForceError(table_.Data(), features, 3 + i, cols_.response, false, 0);
    EXPECT_NEAR(errors.back(), final, 1e-12);
    if (errors.back() < bestError) {
      bestError = errors.back();
      bestK = 3 + i;
    }
  }
  EXPECT_EQ(both->BestK(), std::vector<int32_t>{bestK});
  EXPECT_EQ(models_[0]->GetK(), bestK);
  EXPECT_EQ(models_[0]->GetFeatures(), both->FeatureGrid()[static_cast<size_t>(bestK - 3)]);
  EXPECT_EQ(recorder_.stages, std::vector<int>{6});  // "kandFeatselection" only
}

TEST_F(ModelSelectionTest, FeatureStepSkippedWithoutCountOrAutomaticStop) {
  Prepare(false, 60, 0);
  KNNSettings& s = table_.Settings();
  s.IsFeaSelection = true;
  s.IsAutoFeaSelection = false;
  s.SpecifiedFeaNum = -1;
  KNNModelSelection selection(&s, &table_.Variables(), &table_.Stop(), models_);
  ASSERT_TRUE(selection.Run().IsOK());
  EXPECT_EQ(selection.GetFeatureSelection(), nullptr);
  EXPECT_EQ(models_[0]->GetFeatures(), s.AllFeatures);
}

TEST_F(ModelSelectionTest, ImportanceBecomesWeightsAndStagesAreReported) {
  Prepare(false, 80, 4);
  KNNSettings& s = table_.Settings();
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 2;
  s.IsFeaImportance = true;
  s.IsFeaWeight = true;
  Listen();
  KNNModelSelection selection(&s, &table_.Variables(), &table_.Stop(), models_);
  ASSERT_TRUE(selection.Run().IsOK());
  ASSERT_EQ(models_[0]->GetImportance().size(), models_[0]->GetFeatures().size());
  EXPECT_EQ(models_[0]->GetWeights(), models_[0]->GetImportance());
  EXPECT_EQ(recorder_.stages, (std::vector<int>{5, 7, 8}));
}

TEST_F(ModelSelectionTest, KSelectionStagesAndInterrupt) {
  Prepare(true, 100, 5);
  table_.Settings().IsAutoKSelection = true;
  knn_test::CountingInterruptCheck check(50);  // inside the first fold's pass
  table_.Stop().interruptCheck = &check;
  KNNModelSelection selection(&table_.Settings(), &table_.Variables(), &table_.Stop(), models_);
  EXPECT_EQ(selection.Run().GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(selection.GetStatus().GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_TRUE(table_.Stop().stopRequested.load());
  EXPECT_EQ(check.Questions(), 50);
  EXPECT_EQ(models_[0]->GetK(), table_.Settings().SpecifiedK) << "K untouched after an error";
  table_.Stop().interruptCheck = nullptr;
}

TEST_F(ModelSelectionTest, FailedSquareBecomesKSelectionError) {
  // Responses of 1e200 overflow any squared error.
  table_.AddCaseId("id");
  const int x = table_.AddContinuous("x", 0.0, 10.0);
  const int y = table_.AddContinuous("y", -1e300, 1e300);
  const int fold = table_.AddCategorical("fold", 2);
  for (int r = 0; r < 20; ++r) {
    table_.AddRow({static_cast<double>(r + 1), r * 0.5, (r % 2 ? 1e200 : -1e200),
                   static_cast<double>(r % 2)});
  }
  KNNSettings& s = table_.Settings();
  s.ResponseContinuous = {y};
  s.VFoldVariable = fold;
  s.VFoldValue = 2;
  s.AllFeatures = {x};
  s.MinK = 1;
  s.MaxK = 3;
  ASSERT_FALSE(table_.Prepare().IsError());
  models_.push_back(std::make_unique<KNNSingleResponseModel>(&table_.Data(), y, true));

  s.IsAutoKSelection = true;
  KNNModelSelection kSel(&s, &table_.Variables(), &table_.Stop(), models_);
  EXPECT_EQ(kSel.Run().GetErrorCode(), KNNStatus::kKSelectionError);

  s.IsAutoKSelection = false;
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 1;
  KNNModelSelection fSel(&s, &table_.Variables(), &table_.Stop(), models_);
  EXPECT_EQ(fSel.Run().GetErrorCode(), KNNStatus::kFeatureSelectionError);

  s.IsAutoKSelection = true;
  KNNModelSelection both(&s, &table_.Variables(), &table_.Stop(), models_);
  EXPECT_EQ(both.Run().GetErrorCode(), KNNStatus::kKAndFeatureSelectionError);
}

TEST_F(ModelSelectionTest, CombinedSelectionInterruptKeepsModelUntouched) {
  Prepare(false, 60, 0);
  KNNSettings& s = table_.Settings();
  s.MinK = 3;
  s.MaxK = 6;
  s.IsAutoKSelection = true;
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 2;
  // Each K costs 4 + 3 passes of 60 cases; stop inside the second K.
  knn_test::CountingInterruptCheck check(7 * 60 + 30);
  table_.Stop().interruptCheck = &check;
  KNNModelSelection selection(&s, &table_.Variables(), &table_.Stop(), models_);
  EXPECT_EQ(selection.Run().GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(selection.GetCombinedSelection()->GetStatus().GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(check.Questions(), 7 * 60 + 30);
  EXPECT_TRUE(table_.Stop().stopRequested.load());
  // The first K's cell was recorded, the others not.
  EXPECT_EQ(selection.GetCombinedSelection()->FeatureGrid()[0].size(), 2u);
  EXPECT_TRUE(selection.GetCombinedSelection()->FeatureGrid()[1].empty());
  EXPECT_EQ(models_[0]->GetK(), s.SpecifiedK);
  table_.Stop().interruptCheck = nullptr;
}

TEST_F(ModelSelectionTest, EmptyKRangeTakesLargestAllowedK) {
  Prepare(true, 40, 2);
  table_.Settings().IsAutoKSelection = true;
  table_.Settings().MinK = 5;
  table_.Settings().MaxK = 4;  // as validation leaves it for a tiny data set
  KNNModelSelection selection(&table_.Settings(), &table_.Variables(), &table_.Stop(), models_);
  ASSERT_TRUE(selection.Run().IsOK());
  EXPECT_EQ(models_[0]->GetK(), 4);
  EXPECT_TRUE(selection.GetKSelection()->ErrorGrid()[0].empty());
}

}  // namespace
