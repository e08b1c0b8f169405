#include "model/knn_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "boundary/status_codes.h"
#include "host/vel_missing.h"
#include "support/model_fixtures.h"

namespace {

using knn_test::IrisColumns;
using knn_test::SearchTable;

class IrisModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(knn_test::LoadIris(table_, cols_));
    // The raw records, kept to score them again as new records.
    knn_test::MemoryDataSource& source = table_.Source();
    source.Rewind();
    while (const VelCommon::Record* r = source.NextRecord()) rawRows_.push_back(r->Values());
  }

  // Prepares the data with the settings a test has set and builds a model over it.
  VelCommon::VelStatus Build() {
    const VelCommon::VelStatus prepared = table_.Prepare();
    EXPECT_FALSE(prepared.IsError()) << prepared.GetErrorCode();
    model_ = std::make_unique<KNNModel>(&table_.Settings(), &table_.Variables(), &table_.Stop(),
                                        &table_.Data());
    return model_->Build();
  }
  std::vector<int> Measures() const {
    return {cols_.sepalLength, cols_.sepalWidth, cols_.petalLength, cols_.petalWidth};
  }
  // The iris record with that case ID (1-based), as the host would deliver it.
  VelCommon::Record IrisRecord(int id) const {
    return VelCommon::Record(rawRows_.at(static_cast<size_t>(id - 1)));
  }
  // The stored row of the case with that case ID.
  const double* CaseRow(double id) {
    const KNNDataPreparation& data = table_.Data();
    for (int i = 0; i < data.caseCount; ++i) {
      const double* row = data.caseRows[static_cast<size_t>(i)];
      if (static_cast<int>(row[cols_.id]) == static_cast<int>(id)) return row;
    }
    ADD_FAILURE() << "no case with ID " << id;
    return data.caseRows[0];
  }

  SearchTable table_;
  IrisColumns cols_;
  std::unique_ptr<KNNModel> model_;
  std::vector<std::vector<double>> rawRows_;
};

// ---------------------------------------------------------------------------------------
// Edge cases of the model as a whole

TEST_F(IrisModelTest, NoResponseGivesNeighboursOnly) {
  table_.Settings().SpecifiedK = 4;
  ASSERT_TRUE(Build().IsOK());
  EXPECT_EQ(model_->GetResponseCount(), 0);
  ASSERT_EQ(model_->GetResponseModels().size(), 1u);
  EXPECT_EQ(model_->GetResponseModel(0)->GetResponseIndex(), -1);
  EXPECT_EQ(model_->GetSelection(), nullptr);
  EXPECT_EQ(model_->GetMaximumK(), 4);

  std::vector<std::vector<double>> results;
  ASSERT_TRUE(model_->ScoreRecord(IrisRecord(10), results).IsOK());
  ASSERT_EQ(results.size(), 1u);
  ASSERT_EQ(results[0].size(), 12u);  // 4 IDs, 4 distances, 4 labels
  for (int i = 0; i < 4; ++i) {
    EXPECT_NE(results[0][static_cast<size_t>(i)], 10.0) << "own case left out";
    if (i > 0) {
      EXPECT_LE(results[0][static_cast<size_t>(3 + i)], results[0][static_cast<size_t>(4 + i)]);
    }
    EXPECT_EQ(results[0][static_cast<size_t>(8 + i)], VelMV::gMissingValue) << "no label field";
  }
}

TEST_F(IrisModelTest, CaseIdDecidesSelfExclusion) {
  table_.Settings().SpecifiedK = 3;
  table_.Settings().ResponseCategorical = {cols_.species};
  table_.Settings().AllFeatures = Measures();
  ASSERT_TRUE(Build().IsOK());
  std::vector<std::vector<double>> withId, withoutId;
  VelCommon::Record record = IrisRecord(42);
  ASSERT_TRUE(model_->ScoreRecord(record, withId).IsOK());
  record[cols_.id] = VelMV::gMissingValue;
  ASSERT_TRUE(model_->ScoreRecord(record, withoutId).IsOK());
  const std::vector<double>& a = withId[0];
  const std::vector<double>& b = withoutId[0];
  EXPECT_EQ(std::count(a.begin(), a.begin() + 3, 42.0), 0);
  EXPECT_EQ(std::count(b.begin(), b.begin() + 3, 42.0), 1);
  EXPECT_EQ(b[3], 0.0) << "the identical stored case is nearest";
  // Layout: 3 IDs, 3 distances, 3 probabilities + 3 predicted codes, 3 labels.
  EXPECT_EQ(a.size(), 3u + 3u + 6u + 3u);
}

TEST_F(IrisModelTest, RecordOfWrongSizeIsRejected) {
  table_.Settings().ResponseCategorical = {cols_.species};
  ASSERT_TRUE(Build().IsOK());
  std::vector<std::vector<double>> results;
  for (const size_t size : {rawRows_[0].size() - 1, rawRows_[0].size() + 1}) {
    std::vector<double> values = rawRows_[0];
    values.resize(size, 0.0);
    EXPECT_EQ(model_->ScoreRecord(VelCommon::Record(values), results).GetErrorCode(),
              KNNStatus::kBadScoreRecord)
        << size;
  }
}

TEST_F(IrisModelTest, TwoContinuousResponsesShareOneSearch) {
  KNNSettings& s = table_.Settings();
  s.ResponseContinuous = {cols_.petalLength, cols_.petalWidth};
  s.AllFeatures = {cols_.sepalLength, cols_.sepalWidth};
  s.IsAutoKSelection = true;
  s.MinK = 2;
  s.MaxK = 9;
  ASSERT_TRUE(Build().IsOK());
  ASSERT_TRUE(model_->IsSharedModel());
  const int k0 = model_->GetResponseModel(0)->GetK();
  const int k1 = model_->GetResponseModel(1)->GetK();
  const int maxK = std::max(k0, k1);
  EXPECT_EQ(model_->GetMaximumK(), maxK);
  const auto& grid = model_->GetSelection()->GetKSelection()->ErrorGrid();
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(k0, 2 + static_cast<int>(KNNAutoKSelection::BestIndex(grid[0])));
  EXPECT_EQ(k1, 2 + static_cast<int>(KNNAutoKSelection::BestIndex(grid[1])));

  std::vector<std::vector<double>> results;
  ASSERT_TRUE(model_->ScoreRecord(IrisRecord(77), results).IsOK());
  ASSERT_EQ(results.size(), 2u);
  const auto n = static_cast<size_t>(maxK);
  for (const auto& result : results) ASSERT_EQ(result.size(), 4 * n);
  // Same neighbours and distances for both; each prediction k is the mean of the first k.
  EXPECT_TRUE(std::equal(results[0].begin(), results[0].begin() + 2 * n, results[1].begin()));
  for (size_t r = 0; r < 2; ++r) {
    const int column = r == 0 ? cols_.petalLength : cols_.petalWidth;
    double sum = 0.0;
    for (size_t k = 1; k <= n; ++k) {
      sum += CaseRow(results[r][k - 1])[column];
      EXPECT_NEAR(results[r][2 * n + k - 1], sum / static_cast<double>(k), 1e-12);
    }
  }
}

TEST_F(IrisModelTest, TwoResponsesWithFeatureSelectionHaveOwnTrees) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.ResponseContinuous = {cols_.petalWidth};
  s.AllFeatures = {cols_.sepalLength, cols_.sepalWidth, cols_.petalLength};
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 1;
  s.SpecifiedK = 5;
  ASSERT_TRUE(Build().IsOK());
  EXPECT_FALSE(model_->IsSharedModel());
  EXPECT_EQ(model_->GetMaximumK(), model_->GetResponseModel(0)->GetK());
  const auto* fs = model_->GetSelection()->GetFeatureSelection();
  ASSERT_NE(fs, nullptr);
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(model_->GetResponseModel(r)->GetFeatures(),
              fs->RecordedFeatures()[static_cast<size_t>(r)]);
    EXPECT_EQ(model_->GetResponseModel(r)->GetFeatures().size(), 1u);
  }

  // Each result's distances come from its own model's feature.
  std::vector<std::vector<double>> results;
  VelCommon::Record record = IrisRecord(5);
  ASSERT_TRUE(model_->ScoreRecord(record, results).IsOK());
  ASSERT_EQ(results.size(), 2u);
  for (size_t r = 0; r < 2; ++r) {
    const int feature = model_->GetResponseModel(static_cast<int>(r))->GetFeatures()[0];
    const double* query = CaseRow(5.0);
    for (size_t i = 0; i < 5; ++i) {
      const double* neighbour = CaseRow(results[r][i]);
      EXPECT_NEAR(results[r][5 + i], std::fabs(query[feature] - neighbour[feature]), 1e-12);
    }
  }

  // Exactly the union of the selected features is marked as used.
  std::vector<int> used = model_->GetResponseModel(0)->GetFeatures();
  used.push_back(model_->GetResponseModel(1)->GetFeatures()[0]);
  for (int f : s.AllFeatures) {
    auto* variable =
        dynamic_cast<KNNContVariable*>(table_.Data().variables[static_cast<size_t>(f)]);
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(variable->used, std::find(used.begin(), used.end(), f) != used.end()) << f;
  }
}

TEST_F(IrisModelTest, BuildErrorIsKeptAndNothingIsBuilt) {
  table_.Settings().ResponseCategorical = {cols_.species};
  table_.Settings().IsAutoKSelection = true;
  knn_test::CountingInterruptCheck check(1);
  ASSERT_FALSE(table_.Prepare().IsError());
  table_.Stop().interruptCheck = &check;
  KNNModel model(&table_.Settings(), &table_.Variables(), &table_.Stop(), &table_.Data());
  const VelCommon::VelStatus s = model.Build();
  EXPECT_EQ(s.GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(model.GetStatus().GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_FALSE(model.IsBuilt());
  EXPECT_EQ(model.GetMaximumK(), 0);
  table_.Stop().interruptCheck = nullptr;
}

// ---------------------------------------------------------------------------------------
// Builds on iris in every selection mode

TEST_F(IrisModelTest, FixedK) {
  table_.Settings().ResponseCategorical = {cols_.species};
  table_.Settings().SpecifiedK = 5;
  ASSERT_TRUE(Build().IsOK());
  const KNNSingleResponseModel& m = *model_->GetResponseModel(0);
  EXPECT_EQ(m.GetK(), 5);
  EXPECT_EQ(m.GetFeatures(), Measures());
  EXPECT_EQ(model_->GetMaximumK(), 5);
  EXPECT_EQ(model_->GetSelection()->GetKSelection(), nullptr);
  EXPECT_EQ(model_->GetSelection()->GetFeatureSelection(), nullptr);
  EXPECT_EQ(m.GetTree()->PointCount(), 150);
}

TEST_F(IrisModelTest, KByFiveFoldCrossValidation) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.IsAutoKSelection = true;
  s.MinK = 1;
  s.MaxK = 15;
  ASSERT_TRUE(Build().IsOK());
  const KNNAutoKSelection* ks = model_->GetSelection()->GetKSelection();
  ASSERT_NE(ks, nullptr);
  const std::vector<double>& grid = ks->ErrorGrid()[0];
  ASSERT_EQ(grid.size(), 15u);
  for (double e : grid) {
    EXPECT_GE(e, 0.0);
    EXPECT_LT(e, 0.2) << "iris is easy for every K";
  }
  const int k = model_->GetResponseModel(0)->GetK();
  EXPECT_GE(k, 1);
  EXPECT_LE(k, 15);
  const double best = *std::min_element(grid.begin(), grid.end());
  EXPECT_EQ(grid[static_cast<size_t>(k - 1)], best);
  for (int i = 0; i < k - 1; ++i) EXPECT_GT(grid[static_cast<size_t>(i)], best) << "smaller K";
  // Every fold's error is a multiple of 1/30, so the grid is a multiple of 1/150.
  for (double e : grid) EXPECT_NEAR(e * 150.0, std::round(e * 150.0), 1e-9);
}

TEST_F(IrisModelTest, FeatureSelectionFixedNumber) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 2;
  ASSERT_TRUE(Build().IsOK());
  const KNNFeatureSelection* fs = model_->GetSelection()->GetFeatureSelection();
  ASSERT_NE(fs, nullptr);
  const std::vector<int>& features = fs->RecordedFeatures()[0];
  ASSERT_EQ(features.size(), 2u);
  ASSERT_EQ(fs->RecordedErrors()[0].size(), 2u);
  EXPECT_EQ(model_->GetResponseModel(0)->GetFeatures(), features);
  // A petal measure alone separates the species best.
  EXPECT_TRUE(features[0] == cols_.petalLength || features[0] == cols_.petalWidth);
  EXPECT_LT(fs->RecordedErrors()[0][0], 0.1);
}

TEST_F(IrisModelTest, FeatureSelectionWithForcedFeature) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 1;
  s.ForcedVariables = {cols_.sepalWidth};
  ASSERT_TRUE(Build().IsOK());
  const KNNFeatureSelection* fs = model_->GetSelection()->GetFeatureSelection();
  const std::vector<int>& features = fs->RecordedFeatures()[0];
  ASSERT_EQ(features.size(), 2u);
  EXPECT_EQ(features[0], cols_.sepalWidth);
  ASSERT_EQ(fs->RecordedErrors()[0].size(), 2u);
  // Sepal width alone is a poor classifier; adding a petal measure fixes most of it.
  EXPECT_GT(fs->RecordedErrors()[0][0], fs->RecordedErrors()[0][1]);
}

TEST_F(IrisModelTest, FeatureSelectionAutomatic) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.IsFeaSelection = true;
  s.IsAutoFeaSelection = true;
  s.SpecifiedFeaNum = -1;
  s.SpecifiedErrRange = 0.01;
  ASSERT_TRUE(Build().IsOK());
  const std::vector<double>& errors =
      model_->GetSelection()->GetFeatureSelection()->RecordedErrors()[0];
  const std::vector<int>& features =
      model_->GetSelection()->GetFeatureSelection()->RecordedFeatures()[0];
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(features.size(), errors.size());
  // Every kept step obeys the stopping rule: no perfect fit, no large worsening; every
  // step before the last was one after which selection had to go on.
  const double range = s.SpecifiedErrRange;
  for (size_t t = 0; t < errors.size(); ++t) EXPECT_NE(errors[t], 0.0);
  for (size_t t = 1; t < errors.size(); ++t) {
    const double prev = errors[t - 1], last = errors[t];
    const double rel = std::fabs(prev - last) / prev;
    EXPECT_FALSE(last > prev && rel > 2 * range) << "step " << t;
    if (t + 1 < errors.size()) {
      EXPECT_FALSE(rel <= range && last <= prev) << "step " << t;
    }
  }
}

TEST_F(IrisModelTest, CombinedKAndFeatureSelection) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.IsAutoKSelection = true;
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 2;
  s.MinK = 3;
  s.MaxK = 8;
  ASSERT_TRUE(Build().IsOK());
  const KNNBothKAndFeaSelection* both = model_->GetSelection()->GetCombinedSelection();
  ASSERT_NE(both, nullptr);
  ASSERT_EQ(both->ErrorGrid().size(), 6u);
  const int k = model_->GetResponseModel(0)->GetK();
  ASSERT_GE(k, 3);
  ASSERT_LE(k, 8);
  EXPECT_EQ(both->BestK(), std::vector<int32_t>{k});
  const double best = both->ErrorGrid()[static_cast<size_t>(k - 3)].back();
  for (size_t i = 0; i < 6; ++i) {
    const double e = both->ErrorGrid()[i].back();
    if (static_cast<int>(i) + 3 < k) {
      EXPECT_GT(e, best);
    } else {
      EXPECT_GE(e, best);
    }
  }
  EXPECT_EQ(model_->GetResponseModel(0)->GetFeatures(),
            both->FeatureGrid()[static_cast<size_t>(k - 3)]);
}

TEST_F(IrisModelTest, FeatureWeighting) {
  KNNSettings& s = table_.Settings();
  s.ResponseCategorical = {cols_.species};
  s.IsFeaImportance = true;
  s.IsFeaWeight = true;
  ASSERT_TRUE(Build().IsOK());
  const KNNSingleResponseModel& m = *model_->GetResponseModel(0);
  ASSERT_EQ(m.GetImportance().size(), 4u);
  EXPECT_EQ(m.GetWeights(), m.GetImportance());
  double sum = 0.0;
  for (double v : m.GetImportance()) {
    EXPECT_GT(v, 0.0);
    sum += v;
  }
  EXPECT_NEAR(sum, 1.0, 1e-12);
  // The final tree carries the importances as weights.
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(m.GetTree()->Weights()[static_cast<size_t>(m.GetFeatures()[i])],
                     m.GetImportance()[i]);
  }
}

TEST_F(IrisModelTest, MedianPrediction) {
  KNNSettings& s = table_.Settings();
  s.ResponseContinuous = {cols_.petalWidth};
  s.AllFeatures = {cols_.sepalLength, cols_.sepalWidth, cols_.petalLength};
  s.ComputePredValFunc = 1;
  s.SpecifiedK = 6;
  ASSERT_TRUE(Build().IsOK());
  std::vector<std::vector<double>> results;
  ASSERT_TRUE(model_->ScoreRecord(IrisRecord(120), results).IsOK());
  const std::vector<double>& r = results[0];
  ASSERT_EQ(r.size(), 24u);
  std::vector<double> values;
  for (size_t k = 1; k <= 6; ++k) {
    values.push_back(CaseRow(r[k - 1])[cols_.petalWidth]);
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const double median = k % 2 == 1 ? sorted[k / 2] : 0.5 * (sorted[k / 2 - 1] + sorted[k / 2]);
    EXPECT_DOUBLE_EQ(r[12 + k - 1], median) << "k " << k;
  }
}

}  // namespace
