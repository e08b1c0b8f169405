#include "search/knn_candidate_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "search/knn_kd_tree.h"
#include "search/knn_search_kernel.h"
#include "support/search_fixtures.h"

namespace {

using knn_test::SearchTable;

// Every stored case searched for under base + c for each candidate c at once must get
// exactly what a KD-tree built for base + c reports (same cases in the same order, identical
// distances), or be handed back (count -1). Data made to produce ties, both metrics,
// weighted columns (one zero), categorical base and candidate columns, with and without a
// case ID (without one a case finds itself).
enum class Shape { kClusters, kDuplicates, kGrid, kCategorical, kHugeValues };

class CandidateSearchRandomised
    : public ::testing::TestWithParam<std::tuple<Shape, int, bool, unsigned, int>> {};

TEST_P(CandidateSearchRandomised, AgreesWithOneTreePerFeatureList) {
  const auto [shape, metric, withId, seed, cases] = GetParam();
  std::mt19937 random(seed);
  SearchTable table;
  if (withId) table.AddCaseId("id");
  std::vector<int> continuous;
  for (int j = 0; j < 5; ++j) {
    continuous.push_back(table.AddContinuous("x" + std::to_string(j), -1e9, 1e9));
  }
  const int c0 = table.AddCategorical("c0", 3);
  const int c1 = table.AddCategorical("c1", 7);
  table.Settings().DistMetric = metric;
  table.Settings().SpecifiedK = 1;
  table.Settings().RescaleMethod = 1;  // raw values
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::uniform_int_distribution<int> grid(-3, 3);
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < cases; ++i) {
    std::vector<double> row;
    if (withId) row.push_back(i + 1.0);
    for (int j = 0; j < 5; ++j) {
      double v = 4.0 * (i % 5) + gauss(random);
      if (shape == Shape::kGrid) v = 0.5 * grid(random);
      if (shape == Shape::kCategorical && j > 1) v = grid(random) > 1 ? 1.0 : 0.0;
      if (shape == Shape::kHugeValues) v *= 1e150;
      row.push_back(v);
    }
    row.push_back(std::uniform_int_distribution<int>(0, 2)(random));
    row.push_back(std::uniform_int_distribution<int>(0, 6)(random));
    if (shape == Shape::kDuplicates && i % 3 == 2) row = rows[size_t(i / 2)];
    if (withId) row[0] = i + 1.0;
    rows.push_back(row);
    table.AddRow(row);
  }
  ASSERT_TRUE(table.Prepare().IsOK());
  const KNNDataPreparation& data = table.Data();

  // Without base features only continuous candidates are searched (in value order).
  const std::vector<std::pair<std::vector<int>, std::vector<int>>> lists = {
      {{continuous[0], continuous[1]}, {continuous[4], c1, continuous[0], continuous[2], c0}},
      {{continuous[3], c0, continuous[1]}, {continuous[4], c1, continuous[0], continuous[2], c0}},
      {{continuous[2]}, {continuous[4], c1, continuous[0], continuous[2], c0}},
      // More candidates than one vector group tests at a time.
      {{continuous[1], c1},
       {continuous[4], c1, continuous[0], continuous[2], c0, continuous[3], continuous[4],
        continuous[0], c0, continuous[2]}},
      {{}, {continuous[4], continuous[0], continuous[3]}}};
  const std::vector<std::vector<double>> weightings = {{},
                                                       {0.5, 2.0, 0.0, 1.5, 3.0, 0.25, 1.0, 0.75}};
  long long answered = 0;
  long long handedBack = 0;
  // Every other list is searched with the baseline vectors, the rest with the wide leaf
  // scans where the processor has them.
  struct WideScans {
    ~WideScans() { knn_search_kernel::SetWideLeafScans(true); }
  } restore;
  bool wide = false;
  for (const auto& [base, candidates] : lists) {
    wide = !wide;
    knn_search_kernel::SetWideLeafScans(wide);
    for (const std::vector<double>& weighting : weightings) {
      // 6: the longest list of the wide insertion; 13: past the branch-free list length.
      for (const int K : {1, 4, 6, 13}) {
        SCOPED_TRACE(::testing::Message()
                     << "base " << base.size() << " weighted " << !weighting.empty() << " K " << K);
        const auto weightOf = [&weighting](int f) {
          return weighting.empty() ? 1.0 : weighting[size_t(f) % weighting.size()];
        };
        std::vector<std::unique_ptr<KNNKdTree>> trees;
        std::vector<double> columnWeights(size_t(data.rowWidth), 1.0);
        const size_t r = candidates.size();
        for (size_t c = 0; c < r; ++c) {
          std::vector<int> features = base;
          features.push_back(candidates[c]);
          std::vector<double> weights;
          for (const int f : features) {
            weights.push_back(weightOf(f));
            columnWeights[size_t(f)] = weightOf(f);
          }
          trees.push_back(std::make_unique<KNNKdTree>(table.Data()));
          ASSERT_TRUE(trees.back()->Build(features, -1, &weights).IsOK());
        }
        KNNCandidateSearch search(data);
        ASSERT_TRUE(search.Build(base, candidates, columnWeights));
        std::vector<KNNNeighbor> found(r * size_t(K));
        std::vector<int32_t> counts(r);
        for (const int32_t caseNumber : search.CaseOrder()) {
          search.Search(caseNumber, K, found.data(), size_t(K), counts.data(), 1);
          for (size_t c = 0; c < r; ++c) {
            if (counts[c] < 0) {
              handedBack += weighting.empty() ? 1 : 0;  // a zero weight makes ties
              continue;
            }
            ++answered;
            const KNNNeighborList& expected =
                trees[c]->FindNearest(data.caseRows[size_t(caseNumber)], K, false);
            ASSERT_EQ(counts[c], expected.count) << "case " << caseNumber << " candidate " << c;
            for (int i = 0; i < expected.count; ++i) {
              const KNNNeighbor& a = found[c * size_t(K) + size_t(i)];
              const KNNNeighbor& b = expected.items[size_t(i)];
              ASSERT_EQ(a.caseIndex, b.caseIndex) << "case " << caseNumber << " rank " << i;
              ASSERT_EQ(std::memcmp(&a.distance, &b.distance, sizeof(double)), 0);
            }
          }
        }
      }
    }
  }
  if (shape != Shape::kHugeValues) {
    EXPECT_GT(answered, 0);
  }
  if (shape == Shape::kClusters) {
    // Continuous data without ties: nearly every answer comes from the shared search.
    EXPECT_LE(handedBack, answered / 20);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CandidateSearchRandomised,
                         ::testing::Values(std::make_tuple(Shape::kClusters, 0, true, 31u, 1500),
                                           std::make_tuple(Shape::kClusters, 1, true, 32u, 600),
                                           std::make_tuple(Shape::kClusters, 0, false, 33u, 300),
                                           std::make_tuple(Shape::kDuplicates, 0, true, 34u, 300),
                                           std::make_tuple(Shape::kDuplicates, 1, false, 35u, 300),
                                           std::make_tuple(Shape::kGrid, 0, true, 36u, 400),
                                           std::make_tuple(Shape::kGrid, 1, true, 37u, 400),
                                           std::make_tuple(Shape::kCategorical, 0, true, 38u, 400),
                                           std::make_tuple(Shape::kHugeValues, 0, true, 39u, 200),
                                           std::make_tuple(Shape::kClusters, 0, true, 40u, 3)));

// The shared search needs a continuous base column to cut, usable weights and a case.
TEST(CandidateSearchTest, RefusesWhatItCannotIndex) {
  SearchTable table;
  table.AddCaseId("id");
  const int x = table.AddContinuous("x");
  const int y = table.AddContinuous("y");
  const int c = table.AddCategorical("c", 3);
  for (int i = 0; i < 10; ++i) table.AddRow({i + 1.0, 0.1 * i, -0.05 * i, double(i % 3)});
  ASSERT_TRUE(table.Prepare().IsOK());
  std::vector<double> weights(size_t(table.Data().rowWidth), 1.0);
  KNNCandidateSearch search(table.Data());
  EXPECT_TRUE(search.Build({x}, {y, c}, weights));
  EXPECT_EQ(search.CaseOrder().size(), 10u);
  EXPECT_FALSE(search.Build({c}, {x, y}, weights)) << "categorical base only";
  EXPECT_TRUE(search.Build({}, {x, y}, weights)) << "each candidate alone";
  EXPECT_FALSE(search.Build({}, {x, c}, weights)) << "a categorical candidate alone";
  EXPECT_FALSE(search.Build({x}, {}, weights)) << "no candidate";
  EXPECT_FALSE(search.Build({x}, {y, 99}, weights)) << "unknown feature";
  weights[size_t(y)] = -1.0;
  EXPECT_FALSE(search.Build({x}, {y}, weights)) << "negative weight";
}

// The search looks no further than a tie with the K-th case could reach: a (K + 1)-th case
// within the tie tolerance must still be found (the answer is handed back), one beyond it
// leaves the answer to the search.
TEST(CandidateSearchTest, HandsBackANearTieWithTheKthCase) {
  for (const double gap : {2e-11, 1e-6}) {
    SearchTable table;
    table.AddCaseId("id");
    const int x = table.AddContinuous("x");
    const int y = table.AddContinuous("y");
    // Case 1 is searched: cases 2 and 3 at sums 1 and 4, case 4 at 4 (1 + gap), then many
    // far cases, so that the tree has several leaves to visit.
    table.AddRow({1.0, 0.0, 0.0});
    table.AddRow({2.0, 1.0, 0.0});
    table.AddRow({3.0, 2.0, 0.0});
    table.AddRow({4.0, -2.0 * std::sqrt(1.0 + gap), 0.0});
    for (int i = 0; i < 300; ++i) table.AddRow({5.0 + i, 50.0 + i, 0.5 * (i % 7)});
    ASSERT_TRUE(table.Prepare().IsOK());
    std::vector<double> weights(size_t(table.Data().rowWidth), 1.0);
    KNNCandidateSearch search(table.Data());
    ASSERT_TRUE(search.Build({x}, {y}, weights));
    constexpr int K = 2;
    std::vector<KNNNeighbor> found(K);
    int32_t count = 0;
    search.Search(0, K, found.data(), K, &count, 1);
    if (gap < 1e-8) {
      EXPECT_EQ(count, -1) << "a near tie between the 2nd and 3rd nearest";
    } else {
      ASSERT_EQ(count, K);
      EXPECT_EQ(found[0].caseIndex, 1);
      EXPECT_EQ(found[1].caseIndex, 2);
    }
  }
}

}  // namespace
