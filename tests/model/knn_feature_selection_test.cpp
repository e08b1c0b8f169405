#include "model/knn_feature_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>

#include "support/model_fixtures.h"

namespace {

using knn_test::SearchTable;

// Relative change of the last step's error against the one before: keep and stop when it is
// within the range (0.005, 0.05), go on when it is worse but not much (0.015) or much better,
// undo and stop on a large worsening (0.05, 0.25) or a perfect fit.
TEST(AutoStopRule, DecidesAndUndoes) {
  const std::tuple<double, double, double, bool, bool> cases[] = {
      {0.2, 0.199, 0.01, false, false}, {0.2, 0.203, 0.01, true, false},
      {0.2, 0.21, 0.01, false, true},   {0.2, 0.15, 0.01, true, false},
      {0.2, 0.0, 0.01, false, true},    {10.0, 9.5, 0.1, false, false},
      {10.0, 12.5, 0.1, false, true}};
  for (const auto& [prev, last, range, goOn, undo] : cases) {
    SCOPED_TRACE(::testing::Message() << prev << " then " << last << ", range " << range);
    KNNSettings settings;
    settings.SpecifiedErrRange = range;
    KNNAutoFS strategy(&settings, nullptr, {});
    strategy.selected = {4, 7};
    strategy.stepErrors = {prev, last};
    EXPECT_EQ(strategy.ContinueSelection(), goOn);
    EXPECT_EQ(strategy.selected, (undo ? std::vector<int>{4} : std::vector<int>{4, 7}));
    EXPECT_EQ(strategy.stepErrors.size(), undo ? 1u : 2u);
  }
}

// A fixed count (beyond the candidates: all of them), on both responses and inside the
// combined search with its own K; the model's K is not the selection's to change. Forced
// features come first, are no candidates and are evaluated as one step that does not count.
// Every recorded step is checked against brute force: the error of the selected prefix, and
// that the feature taken was the best remaining one (earliest on equal errors).
TEST(FeatureSelectionTest, ForwardStepsTakeTheBestCandidate) {
  knn_test::SyntheticColumns cols;  // 2 informative and 4 noise features, K 5
  const auto prepare = [&cols](SearchTable& table, bool continuous) {
    knn_test::FillSynthetic(table, cols, 120, 2, 4, continuous, 0, 17u);
    table.Settings().SpecifiedK = 5;
    table.Settings().IsFeaSelection = true;
    return table.Prepare().IsError();
  };
  SearchTable first;
  ASSERT_FALSE(prepare(first, false));  // for the column numbers
  const std::tuple<bool, int, bool, int, std::vector<int>> configs[] = {
      {false, 3, false, 5, {}},
      {true, 2, false, 5, {}},
      {false, 2, true, 9, {}},
      {false, 50, false, 5, {}},
      {false, 1, false, 5, {cols.noise[2], cols.noise[0]}},
      {false, 0, false, 5, {cols.informative[1]}}};
  for (const auto& [continuous, count, combined, K, forced] : configs) {
    SCOPED_TRACE(::testing::Message() << "continuous " << continuous << ", count " << count
                                      << ", forced " << forced.size());
    SearchTable table;
    ASSERT_FALSE(prepare(table, continuous));
    KNNSettings& s = table.Settings();
    s.SpecifiedFeaNum = count;
    s.ForcedVariables = forced;
    KNNResponseModels models;
    models.push_back(
        std::make_unique<KNNSingleResponseModel>(&table.Data(), cols.response, continuous));
    KNNFeatureSelection fs(&s, models, &table.Stop(), combined);
    std::vector<int> remaining = fs.Candidates();
    EXPECT_EQ(remaining.size(), 6 - forced.size()) << "forced features are no candidates";
    ASSERT_TRUE(fs.Run(combined ? K : -1).IsOK());
    const std::vector<int>& features = fs.RecordedFeatures()[0];
    const std::vector<double>& errors = fs.RecordedErrors()[0];
    const size_t firstStep = forced.empty() ? 0 : 1;
    ASSERT_EQ(features.size(), forced.size() + size_t(std::min(count, 6)));
    ASSERT_EQ(features.size(), forced.size() + errors.size() - firstStep);
    EXPECT_TRUE(std::equal(forced.begin(), forced.end(), features.begin()));
    EXPECT_EQ(models[0]->GetK(), 5);
    EXPECT_TRUE(combined || models[0]->GetFeatures() == features);
    EXPECT_TRUE(!continuous || features[0] == cols.informative[0]) << "the signal is ignored";
    const auto error = [&](const std::vector<int>& list) {
      return knn_test::BruteForceError(table.Data(), list, K, cols.response, continuous, 0);
    };
    for (size_t t = 0; t < errors.size(); ++t) {
      std::vector<int> list(features.begin(),
                            features.begin() + long(forced.size() + t + 1 - firstStep));
      EXPECT_NEAR(errors[t], error(list), 1e-9) << "step " << t;
      if (t < firstStep) continue;
      const int chosen = list.back();
      double best = DBL_MAX;
      int expected = -1;
      for (int candidate : remaining) {
        list.back() = candidate;
        if (const double e = error(list); e < best - 1e-12)
          std::tie(best, expected) = std::tuple{e, candidate};
      }
      EXPECT_EQ(chosen, expected) << "step " << t;
      remaining.erase(std::find(remaining.begin(), remaining.end(), chosen));
    }
  }
}

// A table whose tie and zero-error behaviour is known by construction: `twin` is an exact
// copy of `a`, `label` a categorical copy of the response y.
TEST(ConstructedSelectionTest, TiesAndPerfectFits) {
  SearchTable table;
  table.AddCaseId("id");
  const auto continuous = [&table](const char* name) { return table.AddContinuous(name, 0, 10); };
  const int twin = continuous("twin"), noise = continuous("noise"), a = continuous("a");
  const int label = table.AddCategorical("label", 2), y = table.AddCategorical("y", 2);
  KNNSettings& s = table.Settings();
  s.ResponseCategorical = {y};
  s.SpecifiedK = 3;
  s.IsFeaSelection = true;
  for (int r = 0; r < 60; ++r) {
    const double x = (r * 37 % 60) / 6.0;
    const double code = (x + 0.3 * ((r * 7) % 5) > 5.0) ? 1.0 : 0.0;
    table.AddRow({r + 1.0, x, (r * 11 % 60) / 6.0 + 0.01 * r, x, code, code});
  }
  ASSERT_FALSE(table.Prepare().IsError());
  KNNResponseModels models;
  models.push_back(std::make_unique<KNNSingleResponseModel>(&table.Data(), y, false));
  const struct {
    std::vector<int> all, forced;
    int count;  // -1: automatic stop
    std::vector<int> expected;
    bool perfect;
  } cases[] = {
      {{twin, noise, a}, {}, 1, {twin}, false},       // equal errors: the earlier candidate
      {{noise, a, label}, {}, -1, {label}, true},     // automatic: stop at the first perfect fit
      {{noise, label}, {noise}, -1, {noise}, false},  // a later perfect step is undone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "first expected " << c.expected[0]);
    s.AllFeatures = c.all;
    s.ForcedVariables = c.forced;
    s.SpecifiedFeaNum = c.count;
    s.IsAutoFeaSelection = c.count < 0;
    KNNFeatureSelection fs(&s, models, &table.Stop(), false);
    ASSERT_TRUE(fs.Run(-1).IsOK());
    EXPECT_EQ(fs.RecordedFeatures()[0], c.expected);
    ASSERT_EQ(fs.RecordedErrors()[0].size(), 1u);
    EXPECT_EQ(fs.RecordedErrors()[0][0] == 0.0, c.perfect);
  }
}

// Trial passes answered by shared searches (the first step, and from the third on) must give the
// very errors and choices of one tree per candidate list: both responses, both metrics, data with
// many equally distant cases (handed back to per-list trees) and forced features.
TEST(FeatureSelectionTest, SharedSearchesGiveTheErrorsOfOneTreePerList) {
  for (const bool continuousResponse : {true, false}) {
    for (const int metric : {0, 1}) {
      for (const bool forced : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "continuous " << continuousResponse << " metric "
                                          << metric << " forced " << forced);
        SearchTable table;
        table.AddCaseId("id");
        std::vector<int> features;
        for (int j = 0; j < 7; ++j) {
          features.push_back(table.AddContinuous("x" + std::to_string(j), -5.0, 5.0));
        }
        features.push_back(table.AddCategorical("c", 4));
        const int y = continuousResponse ? table.AddContinuous("y", -100.0, 100.0)
                                         : table.AddCategorical("y", 3);
        KNNSettings& s = table.Settings();
        (continuousResponse ? s.ResponseContinuous : s.ResponseCategorical) = {y};
        s.DistMetric = metric;
        s.SpecifiedK = 4;
        s.IsFeaSelection = true;
        s.SpecifiedFeaNum = 6;
        std::mt19937 random(91u + unsigned(metric));
        std::normal_distribution<double> gauss(0.0, 1.0);
        std::uniform_int_distribution<int> grid(-2, 2);
        for (int i = 0; i < 400; ++i) {
          std::vector<double> row{i + 1.0};
          double signal = 0.0;
          for (int j = 0; j < 7; ++j) {
            // Columns 0-2 on a coarse grid: many equal sums.
            const double v = j < 3 ? double(grid(random)) : gauss(random);
            signal += v / (j + 1.0);
            row.push_back(v);
          }
          row.push_back(i % 4);
          row.push_back(continuousResponse ? signal + 0.1 * gauss(random)
                                           : double(signal > 0.5    ? 2
                                                    : signal > -0.5 ? 1
                                                                    : 0));
          table.AddRow(row);
        }
        ASSERT_FALSE(table.Prepare().IsError());
        s.AllFeatures = features;
        s.ForcedVariables = forced ? std::vector<int>{features[5]} : std::vector<int>{};
        std::vector<int> candidates = features;
        if (forced) candidates.erase(candidates.begin() + 5);
        // Continuous candidates only: the first pass searches each one alone in value order.
        if (metric == 1) candidates.pop_back();

        std::vector<std::vector<int>> selected;
        std::vector<std::vector<double>> errors;
        for (const bool shared : {true, false}) {
          KNNSingleResponseModel model(&table.Data(), y, continuousResponse);
          KNNPredictionFactory factory({model.GetPredictor()}, &table.Stop(), false);
          KNNSpecificNumFS strategy(&s, &factory, candidates);
          strategy.sharedSearches = shared;
          ASSERT_TRUE(strategy.Select(model, 4).IsOK());
          selected.push_back(strategy.selected);
          errors.push_back(strategy.stepErrors);

          // The last pass leaves its winner's answers for scoring that list again: they give
          // the scores of a fresh search, and only for that tree and K.
          ASSERT_TRUE(model.BuildTreeForFeatures(strategy.selected, -1).IsOK());
          // (A last pass with one candidate left builds its one tree instead.)
          const size_t added = strategy.selected.size() - (forced ? 1 : 0);
          if (!shared || candidates.size() - (added - 1) < 2) {
            EXPECT_EQ(model.KeptAnswers(4), nullptr);
            continue;
          }
          ASSERT_NE(model.KeptAnswers(4), nullptr);
          EXPECT_EQ(model.KeptAnswers(5), nullptr);
          const KNNCaseRows& rows = table.Data().caseRows;
          ASSERT_TRUE(factory.ScoreCases(model, rows, -1, 4).IsOK());
          const double kept = factory.GetErrors()[0];
          EXPECT_EQ(std::memcmp(&kept, &errors.back().back(), sizeof kept), 0);
          std::vector<int> reordered = strategy.selected;
          std::swap(reordered[0], reordered[1]);
          ASSERT_TRUE(model.BuildTreeForFeatures(reordered, -1).IsOK());
          EXPECT_EQ(model.KeptAnswers(4), nullptr);
          std::vector<double> heavier(strategy.selected.size(), 1.0);
          heavier[0] = 2.0;
          ASSERT_TRUE(model.GetTree()->Build(strategy.selected, -1, &heavier).IsOK());
          EXPECT_EQ(model.KeptAnswers(4), nullptr);
          heavier[0] = 1.0;
          ASSERT_TRUE(model.GetTree()->Build(strategy.selected, -1, &heavier).IsOK());
          ASSERT_NE(model.KeptAnswers(4), nullptr);
          model.KeepAnswers({});  // a fresh search from here
          ASSERT_TRUE(factory.ScoreCases(model, rows, -1, 4).IsOK());
          const double searched = factory.GetErrors()[0];
          EXPECT_EQ(std::memcmp(&kept, &searched, sizeof kept), 0);
        }
        EXPECT_EQ(selected[0], selected[1]);
        ASSERT_EQ(errors[0].size(), errors[1].size());
        for (size_t i = 0; i < errors[0].size(); ++i) {
          EXPECT_EQ(std::memcmp(&errors[0][i], &errors[1][i], sizeof(double)), 0) << "step " << i;
        }
      }
    }
  }
}

}  // namespace
