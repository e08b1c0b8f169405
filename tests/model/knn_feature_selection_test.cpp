#include "model/knn_feature_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>

#include "boundary/status_codes.h"
#include "support/model_fixtures.h"

namespace {

using knn_test::SearchTable;
using knn_test::SyntheticColumns;

// ---------------------------------------------------------------------------------------
// Stopping rules (no search involved)

// Relative change of the last step's error against the one before: keep and stop when it is
// within the range, undo and stop on a large worsening or a perfect fit, else go on.
TEST(AutoStopRule, DecidesAndUndoes) {
  const struct {
    double prev, last, range;
    bool expectContinue, expectUndo;
  } cases[] = {
      {0.200, 0.199, 0.01, false, false},  // rel 0.005: keep and stop
      {0.200, 0.203, 0.01, true, false},   // rel 0.015: worse, go on
      {0.200, 0.210, 0.01, false, true},   // rel 0.05: undo and stop
      {0.200, 0.150, 0.01, true, false},   // big improvement: go on
      {0.200, 0.0, 0.01, false, true},     // perfect fit: undo
      {0.200, 0.201, 0.01, true, false},   // slightly worse: kept, go on
      {10.0, 9.5, 0.1, false, false},      // sums of squares alike
      {10.0, 12.5, 0.1, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.prev << " then " << c.last << ", range " << c.range);
    KNNSettings settings;
    settings.SpecifiedErrRange = c.range;
    KNNAutoFS strategy(&settings, nullptr, {});
    strategy.selected = {4, 7};
    strategy.stepErrors = {c.prev, c.last};
    EXPECT_EQ(strategy.ContinueSelection(), c.expectContinue);
    if (c.expectUndo) {
      EXPECT_EQ(strategy.selected, std::vector<int>{4});
      EXPECT_EQ(strategy.stepErrors, std::vector<double>{c.prev});
    } else {
      EXPECT_EQ(strategy.selected, (std::vector<int>{4, 7}));
      EXPECT_EQ(strategy.stepErrors, (std::vector<double>{c.prev, c.last}));
    }
  }
}

TEST(SpecificNumStopRule, CountsAddedFeaturesOnly) {
  KNNSettings settings;
  settings.SpecifiedFeaNum = 2;
  KNNSpecificNumFS strategy(&settings, nullptr, {});
  strategy.stepErrors = {0.3};
  EXPECT_TRUE(strategy.ContinueSelection());
  strategy.stepErrors = {0.3, 0.2};
  EXPECT_FALSE(strategy.ContinueSelection());
  strategy.forcedSetEvaluated = true;  // the first error belongs to the forced set
  EXPECT_TRUE(strategy.ContinueSelection());
  strategy.stepErrors = {0.3, 0.2, 0.1};
  EXPECT_FALSE(strategy.ContinueSelection());
}

// ---------------------------------------------------------------------------------------
// Selection over prepared data

class FeatureSelectionTest : public ::testing::Test {
 protected:
  // 2 informative and 4 noise features, categorical response.
  void Prepare(bool continuous = false, int cases = 120) {
    knn_test::FillSynthetic(table_, cols_, cases, 2, 4, continuous, 0, 17u);
    table_.Settings().SpecifiedK = 5;
    table_.Settings().IsFeaSelection = true;
    ASSERT_FALSE(table_.Prepare().IsError());
    models_.push_back(
        std::make_unique<KNNSingleResponseModel>(&table_.Data(), cols_.response, continuous));
  }
  double Error(const std::vector<int>& features, int K) {
    return knn_test::BruteForceError(table_.Data(), features, K, cols_.response,
                                     models_[0]->IsContinuousResponse(), 0);
  }
  // Checks every recorded step against brute force: the error of the selected prefix, and
  // that the feature taken was the best remaining one (earliest on equal errors).
  void ExpectForwardSteps(const KNNFeatureSelection& fs, int K, size_t forcedCount) {
    const std::vector<int>& features = fs.RecordedFeatures()[0];
    const std::vector<double>& errors = fs.RecordedErrors()[0];
    const size_t firstStep = forcedCount > 0 ? 1 : 0;
    ASSERT_EQ(features.size(), forcedCount + errors.size() - firstStep);
    std::vector<int> remaining = fs.Candidates();
    for (size_t t = 0; t < errors.size(); ++t) {
      const size_t prefix = forcedCount + t + 1 - firstStep;
      std::vector<int> list(features.begin(), features.begin() + static_cast<long>(prefix));
      EXPECT_NEAR(errors[t], Error(list, K), 1e-9) << "step " << t;
      if (t < firstStep) continue;
      const int chosen = list.back();
      double best = DBL_MAX;
      int expected = -1;
      for (int candidate : remaining) {
        list.back() = candidate;
        const double e = Error(list, K);
        if (e < best - 1e-12) {
          best = e;
          expected = candidate;
        }
      }
      EXPECT_EQ(chosen, expected) << "step " << t;
      remaining.erase(std::find(remaining.begin(), remaining.end(), chosen));
    }
  }

  void CheckForward(bool continuous, int count, bool combined, int K) {
    Prepare(continuous);
    table_.Settings().SpecifiedFeaNum = count;
    KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), combined);
    ASSERT_TRUE(fs.GetStatus().IsOK());
    ASSERT_TRUE(fs.Run(combined ? K : -1).IsOK());
    ASSERT_EQ(fs.RecordedFeatures()[0].size(), static_cast<size_t>(count));
    EXPECT_EQ(models_[0]->GetK(), 5) << "K is not the selection's to change";
    if (!combined) {
      EXPECT_EQ(models_[0]->GetFeatures(), fs.RecordedFeatures()[0]);
    }
    ExpectForwardSteps(fs, K, 0);
    // The informative features carry the signal.
    if (continuous) {
      EXPECT_EQ(fs.RecordedFeatures()[0][0], cols_.informative[0]);
    }
  }

  SearchTable table_;
  SyntheticColumns cols_;
  KNNResponseModels models_;
};

// Fixed count, categorical and continuous, and inside the combined search with its own K.
TEST_F(FeatureSelectionTest, FixedNumberFollowsBestCandidate) {
  CheckForward(false, 3, false, 5);
}
TEST_F(FeatureSelectionTest, ContinuousSelectsOnSumOfSquares) {
  CheckForward(true, 2, false, 5);
}
TEST_F(FeatureSelectionTest, CombinedModeUsesTheGivenK) {
  CheckForward(false, 2, true, 9);
}

TEST_F(FeatureSelectionTest, ForcedFeaturesComeFirstAndAreEvaluated) {
  Prepare();
  table_.Settings().ForcedVariables = {cols_.noise[2], cols_.noise[0]};
  table_.Settings().SpecifiedFeaNum = 1;
  KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), false);
  EXPECT_EQ(std::count(fs.Candidates().begin(), fs.Candidates().end(), cols_.noise[2]), 0);
  EXPECT_EQ(fs.Candidates().size(), 4u);
  ASSERT_TRUE(fs.Run(-1).IsOK());
  const std::vector<int>& features = fs.RecordedFeatures()[0];
  ASSERT_EQ(features.size(), 3u);
  EXPECT_EQ(features[0], cols_.noise[2]);
  EXPECT_EQ(features[1], cols_.noise[0]);
  EXPECT_EQ(fs.RecordedErrors()[0].size(), 2u);
  ExpectForwardSteps(fs, 5, 2);
}

TEST_F(FeatureSelectionTest, ForcedOnlyWhenNothingToAddAndStopWhenNoneRemains) {
  Prepare();
  table_.Settings().ForcedVariables = {cols_.informative[1]};
  table_.Settings().SpecifiedFeaNum = 0;
  KNNFeatureSelection forcedOnly(&table_.Settings(), models_, &table_.Stop(), false);
  ASSERT_TRUE(forcedOnly.Run(-1).IsOK());
  EXPECT_EQ(forcedOnly.RecordedFeatures()[0], std::vector<int>{cols_.informative[1]});
  ASSERT_EQ(forcedOnly.RecordedErrors()[0].size(), 1u);
  EXPECT_NEAR(forcedOnly.RecordedErrors()[0][0], Error({cols_.informative[1]}, 5), 1e-12);

  table_.Settings().ForcedVariables.clear();
  table_.Settings().SpecifiedFeaNum = 50;
  KNNFeatureSelection all(&table_.Settings(), models_, &table_.Stop(), false);
  ASSERT_TRUE(all.Run(-1).IsOK());
  EXPECT_EQ(all.RecordedFeatures()[0].size(), 6u);
  EXPECT_EQ(all.RecordedErrors()[0].size(), 6u);
}

TEST_F(FeatureSelectionTest, InterruptEndsRunWithStatusOne) {
  Prepare();
  table_.Settings().SpecifiedFeaNum = 3;
  knn_test::CountingInterruptCheck check(200);  // yes in the second scoring pass
  table_.Stop().interruptCheck = &check;
  const std::vector<int> before = models_[0]->GetFeatures();
  KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), false);
  EXPECT_EQ(fs.Run(-1).GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_TRUE(table_.Stop().stopRequested.load());
  EXPECT_EQ(check.Questions(), 200) << "no question after the stop";
  EXPECT_EQ(models_[0]->GetFeatures(), before);
  table_.Stop().interruptCheck = nullptr;
}

TEST_F(FeatureSelectionTest, NoPredictorIsReported) {
  Prepare();
  models_.clear();
  models_.push_back(std::make_unique<KNNSingleResponseModel>(&table_.Data(), -1, false));
  KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), false);
  EXPECT_EQ(fs.GetStatus().GetErrorCode(), KNNStatus::kNoPredictionObject);
  EXPECT_EQ(fs.Run(-1).GetErrorCode(), KNNStatus::kNoPredictionObject);
}

// A table whose tie and zero-error behaviour is known by construction: `twin` is an exact
// copy of `a`; `label` is a categorical copy of the response.
class ConstructedSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    id_ = table_.AddCaseId("id");
    twin_ = table_.AddContinuous("twin", 0.0, 10.0);
    noise_ = table_.AddContinuous("noise", 0.0, 10.0);
    a_ = table_.AddContinuous("a", 0.0, 10.0);
    label_ = table_.AddCategorical("label", 2);
    y_ = table_.AddCategorical("y", 2);
    table_.Settings().ResponseCategorical = {y_};
    table_.Settings().SpecifiedK = 3;
    table_.Settings().IsFeaSelection = true;
    for (int r = 0; r < 60; ++r) {
      const double a = (r * 37 % 60) / 6.0;
      const double noise = (r * 11 % 60) / 6.0 + 0.01 * r;
      const double y = (a + 0.3 * ((r * 7) % 5) > 5.0) ? 1.0 : 0.0;
      table_.AddRow({static_cast<double>(r + 1), a, noise, a, y, y});
    }
    ASSERT_FALSE(table_.Prepare().IsError());
    models_.push_back(std::make_unique<KNNSingleResponseModel>(&table_.Data(), y_, false));
  }
  SearchTable table_;
  int id_, twin_, noise_, a_, label_, y_;
  KNNResponseModels models_;
};

TEST_F(ConstructedSelectionTest, EqualErrorsGoToTheEarlierCandidate) {
  table_.Settings().AllFeatures = {twin_, noise_, a_};
  table_.Settings().SpecifiedFeaNum = 1;
  KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), false);
  ASSERT_TRUE(fs.Run(-1).IsOK());
  EXPECT_EQ(fs.RecordedFeatures()[0], std::vector<int>{twin_});
}

TEST_F(ConstructedSelectionTest, AutomaticStopsAtFirstPerfectFeature) {
  table_.Settings().AllFeatures = {noise_, a_, label_};
  table_.Settings().IsAutoFeaSelection = true;
  table_.Settings().SpecifiedFeaNum = -1;
  KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), false);
  ASSERT_TRUE(fs.Run(-1).IsOK());
  EXPECT_EQ(fs.RecordedFeatures()[0], std::vector<int>{label_});
  EXPECT_EQ(fs.RecordedErrors()[0], std::vector<double>{0.0});
}

TEST_F(ConstructedSelectionTest, AutomaticUndoesLaterPerfectStep) {
  table_.Settings().AllFeatures = {noise_, label_};
  table_.Settings().ForcedVariables = {noise_};
  table_.Settings().IsAutoFeaSelection = true;
  table_.Settings().SpecifiedFeaNum = -1;
  KNNFeatureSelection fs(&table_.Settings(), models_, &table_.Stop(), false);
  ASSERT_TRUE(fs.Run(-1).IsOK());
  EXPECT_EQ(fs.RecordedFeatures()[0], std::vector<int>{noise_});
  ASSERT_EQ(fs.RecordedErrors()[0].size(), 1u);
  EXPECT_GT(fs.RecordedErrors()[0][0], 0.0);
}

}  // namespace
