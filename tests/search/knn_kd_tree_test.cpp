#include "search/knn_kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "host/vel_display.h"
#include "host/vel_missing.h"
#include "search/knn_search_kernel.h"
#include "support/search_fixtures.h"

namespace {

using knn_test::BruteNeighbor;
using knn_test::SearchTable;

// Values of every "label: value" line the tree writes through the host display.
std::vector<std::string> Shown(KNNKdTree& tree, const std::string& label, bool dump = true) {
  std::ostringstream out;
  VelComponentDisplay::SetOutStream(&out);
  dump ? tree.Dump() : tree.Display(false);
  VelComponentDisplay::SetOutStream(nullptr);
  std::vector<std::string> values;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(label + ": ", 0) == 0) values.push_back(line.substr(label.size() + 2));
  }
  return values;
}

std::vector<int> Cases(const KNNNeighborList& list) {
  std::vector<int> cases;
  for (int i = 0; i < list.count; ++i) cases.push_back(list.items[size_t(i)].caseIndex);
  return cases;
}

std::vector<double> Distances(const KNNNeighborList& list) {
  std::vector<double> distances;
  for (int i = 0; i < list.count; ++i) distances.push_back(list.items[size_t(i)].distance);
  return distances;
}

// Equal up to a few ulps: the pruning may let two routes to one sum differ in the last bits.
bool NearlyEqual(double a, double b) {
  return std::fabs(a - b) <= 1e-12 * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

// One raw continuous column (no rescaling) plus a case ID: x = 0, 2, 2, 4 for cases 0-3.
class TieExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.AddCaseId("id");
    table_.AddContinuous("x", 0.0, 4.0);
    table_.Settings().RescaleMethod = 1;
    table_.Settings().SpecifiedK = 1;
    const double xs[] = {0.0, 2.0, 2.0, 4.0};
    for (int i = 0; i < 4; ++i) table_.AddRow({i + 1.0, xs[i]});
    ASSERT_TRUE(table_.Prepare().IsOK());
    tree_ = std::make_unique<KNNKdTree>(table_.Data());
    ASSERT_TRUE(tree_->Build({1}, -1, nullptr).IsOK());
  }
  SearchTable table_;
  std::unique_ptr<KNNKdTree> tree_;
};

// The build, worked by hand. Root cell [0, 4], ideal 2 = cv. Pass 1 leaves case 0 below cv
// (br1 = 1); pass 2 finds cases 1 and 2 equal to cv (br2 = 3) and the descending sort makes
// the index 0, 2, 1, 3. n_lo = min(br2, n/2) = 2: low child {0, 2}, high child {1, 3}.
// Low child cell [0, 2], cut at 1: case 0 low (node 3), case 2 high (node 4). High child
// cell [2, 4], cut at 3: case 1 low (node 5), case 3 high (node 6).
// Query x = 1: the root sends it low (near) with the high child's cell at distance 1; in node
// 1 the query sits on the cut (e = 0), so the high leaf (case 2) comes first, then case 0.
// With K = 2 the list is full at distance 1 and the root's high child (cell distance 1) is not
// visited, so case 1, equally distant, is not reported. With K = 3 it is, after the others.
TEST_F(TieExampleTest, EquallyDistantCasesFollowTheBuildLayout) {
  const double query[] = {99.0, 1.0};
  const KNNNeighborList& two = tree_->FindNearest(query, 2, true);
  EXPECT_EQ(Cases(two), (std::vector<int>{2, 0}));
  EXPECT_EQ(Distances(two), (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(Cases(tree_->FindNearest(query, 3, true)), (std::vector<int>{2, 0, 1}));

  EXPECT_EQ(Shown(*tree_, "Leaves are", false), (std::vector<std::string>{"3", "1", "2", "0"}));
  EXPECT_EQ(Shown(*tree_, "Node Num", false),
            (std::vector<std::string>{"6", "2", "5", "0", "4", "1", "3"}));
  EXPECT_EQ(Shown(*tree_, "cv", false), (std::vector<std::string>{"3", "2", "1"}));
}

// The own case (distance 0 and the same case ID) is left out, an identical twin is not; K
// beyond the indexed cases returns them all.
TEST_F(TieExampleTest, OwnCaseLeftOutButIdenticalTwinReported) {
  const double* case2 = table_.Data().caseRows[2];
  const KNNNeighborList& withoutSelf = tree_->FindNearest(case2, 10, false);
  EXPECT_EQ(withoutSelf.k, 10);
  ASSERT_EQ(withoutSelf.count, 3);
  EXPECT_EQ(withoutSelf.items[0].caseIndex, 1);
  EXPECT_EQ(withoutSelf.items[0].distance, 0.0);
  const std::vector<int> cases = Cases(withoutSelf);
  EXPECT_EQ(std::count(cases.begin(), cases.end(), 2), 0);
  EXPECT_EQ(tree_->FindNearest(case2, 10, true).count, 4);

  // A cleared tree finds nothing. After a rebuild, the stored ID is truncated before the
  // comparison: 3.7 stored still matches query ID 3; the query's own ID is not truncated.
  std::vector<double> query(case2, case2 + 2);
  table_.Data().caseStore[2 * 2] = 3.7;
  tree_->Clear();
  EXPECT_EQ(tree_->FindNearest(query.data(), 4, false).count, 0);
  ASSERT_TRUE(tree_->Build({1}, -1, nullptr).IsOK());
  EXPECT_EQ(tree_->PointCount(), 4);
  EXPECT_EQ(tree_->FindNearest(query.data(), 4, false).count, 3);
  query[0] = 3.7;
  EXPECT_EQ(tree_->FindNearest(query.data(), 4, false).count, 4);
}

TEST(KdTreeBuildTest, EqualCasesAndWeightedColumns) {
  // All cases equal in every feature: one leaf, all found at distance 0 in index order.
  SearchTable same;
  same.AddCaseId("id");
  const int x = same.AddContinuous("x");
  const int c = same.AddCategorical("c", 3);
  for (int i = 0; i < 6; ++i) same.AddRow({i + 1.0, 0.25, 1.0});
  same.Settings().AllFeatures = {0};  // the features are constant on purpose
  ASSERT_TRUE(same.Prepare().IsOK());
  KNNKdTree one(same.Data());
  one.Build({x, c}, -1, nullptr);
  EXPECT_TRUE(Shown(one, "Split").empty());
  EXPECT_EQ(Shown(one, "The leaves numbers are"), (std::vector<std::string>{"6"}));
  EXPECT_EQ(Cases(one.FindNearest(same.Data().caseRows[0], 6, true)),
            (std::vector<int>{0, 1, 2, 3, 4, 5}));

  // Cases 1-4 share x = 0.5 inside the cell [-1, 1] that cases 0 and 5 span: separated.
  SearchTable wide;
  wide.AddCaseId("id");
  wide.AddContinuous("x");
  const double xs[] = {-1.0, 0.5, 0.5, 0.5, 0.5, 1.0};
  for (int i = 0; i < 6; ++i) wide.AddRow({i + 1.0, xs[i]});
  ASSERT_TRUE(wide.Prepare().IsOK());
  KNNKdTree separated(wide.Data());
  separated.Build({1}, -1, nullptr);
  EXPECT_EQ(Shown(separated, "The leaves numbers are"), std::vector<std::string>(6, "1"));

  // A zero-weight column is never cut, however wide; with weight it is cut first. Weights
  // given for some columns leave the others' earlier weights in place.
  SearchTable weighted;
  weighted.AddCaseId("id");
  const int wideColumn = weighted.AddContinuous("wide", 0.0, 1000.0);
  const int narrow = weighted.AddContinuous("narrow", 0.0, 1.0);
  weighted.Settings().RescaleMethod = 1;  // keep the columns' own widths
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 40; ++i) weighted.AddRow({i + 1.0, 1000.0 * unit(random), unit(random)});
  ASSERT_TRUE(weighted.Prepare().IsOK());
  KNNKdTree tree(weighted.Data());
  EXPECT_EQ(tree.Weights(), (std::vector<double>{1.0, 1.0, 1.0}));
  const std::vector<double> zero = {0.0, 1.0}, four = {4.0, 9.0}, half = {0.5};
  tree.Build({wideColumn, narrow}, -1, &zero);
  const std::vector<std::string> splits = Shown(tree, "Split");
  ASSERT_FALSE(splits.empty());
  EXPECT_EQ(splits, std::vector<std::string>(splits.size(), std::to_string(narrow)));
  tree.Clear();
  tree.Build({wideColumn, narrow}, -1, &four);
  EXPECT_EQ(Shown(tree, "Split").front(), std::to_string(wideColumn));
  tree.Clear();
  tree.Build({narrow}, -1, &half);
  tree.Clear();
  tree.Build({wideColumn}, -1, nullptr);
  EXPECT_EQ(tree.Weights(), (std::vector<double>{1.0, 4.0, 0.5}));
  // Only the wide column counts now, with weight 4: twice the smallest difference.
  const KNNDataPreparation& data = weighted.Data();
  double nearest = DBL_MAX;
  for (int i = 1; i < 40; ++i) {
    nearest = std::min(nearest, std::fabs(data.caseRows[size_t(i)][1] - data.caseRows[0][1]));
  }
  EXPECT_DOUBLE_EQ(tree.FindNearest(data.caseRows[0], 1, false).items[0].distance, 2 * nearest);
}

// A categorical column is cut at the code whose count is closest to half the cases (the
// lowest code on ties); such a cut keeps no cell.
TEST(KdTreeBuildTest, CategoricalCutSeparatesTheCodeClosestToHalf) {
  const struct {
    std::vector<int> codes;
    const char* cut;
  } cases[] = {{{0, 1, 2, 2, 1, 2, 0, 2, 1, 2}, "2"},  // counts 2, 3, 5 of 10: exactly half
               {{2, 1, 0, 0, 1, 2}, "0"},              // 2, 2, 2: the lowest code
               {{3, 0, 3, 3}, "0"},                    // 1, 0, 0, 3: |2 - 1| = |2 - 3|
               {{1, 3, 1, 0, 1, 3, 1}, "1"}};          // 1, 4, 0, 2: 0.5 beats 1.5
  for (const auto& p : cases) {
    SCOPED_TRACE(::testing::Message() << "cut " << p.cut << ", " << p.codes.size() << " cases");
    SearchTable table;
    table.AddCaseId("id");
    table.AddCategorical("c", 4);
    for (size_t i = 0; i < p.codes.size(); ++i) table.AddRow({i + 1.0, double(p.codes[i])});
    ASSERT_TRUE(table.Prepare().IsOK());
    KNNKdTree tree(table.Data());
    tree.Build({1}, -1, nullptr);
    ASSERT_FALSE(Shown(tree, "cv").empty());
    EXPECT_EQ(Shown(tree, "cv").front(), p.cut);  // the root comes first
    EXPECT_EQ(Shown(tree, "lbnd").front(), "0");
    EXPECT_EQ(Shown(tree, "hbnd").front(), "1");
  }
}

// Randomised comparisons on data made to produce ties, over both metrics, weights (one of
// them zero), held-out folds, training cases without themselves and queries off the data
// or outside its range:
// the search must agree with a brute-force scan, and the bucketed search with the canonical
// walk alone bit for bit (same case numbers in the same order, identical distances).
enum class Shape { kClusters, kDuplicates, kMixedGrid, kCategoricalHeavy, kHugeValues };

class KdTreeRandomised : public ::testing::TestWithParam<std::tuple<Shape, int, unsigned, int>> {};

// id, four continuous columns (1-4), three categorical ones (5-7: 3, 10, 12 codes) and a
// fold column (8, four folds) drawn in the given shape; returns the fold column.
int FillRandomised(SearchTable& table, Shape shape, int metric, unsigned seed, int cases) {
  std::mt19937 random(seed);
  table.AddCaseId("id");
  for (int j = 0; j < 4; ++j) table.AddContinuous("x" + std::to_string(j), -1e9, 1e9);
  const int codes[] = {3, 10, 12};
  for (int g = 0; g < 3; ++g) table.AddCategorical("c" + std::to_string(g), codes[g]);
  const int fold = table.AddCategorical("fold", 4);
  table.Settings().VFoldVariable = fold;
  table.Settings().DistMetric = metric;
  table.Settings().SpecifiedK = 1;
  table.Settings().RescaleMethod = 1;  // raw values
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::uniform_int_distribution<int> grid(-3, 3);
  std::vector<double> centres(6 * 4);  // six clusters
  for (double& v : centres) v = 5.0 * gauss(random);
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < cases; ++i) {
    std::vector<double> row(9);
    row[0] = i + 1.0;
    for (size_t j = 0; j < 4; ++j) {
      double v = centres[size_t(i % 6) * 4 + j] + gauss(random);
      if (shape == Shape::kMixedGrid && i % 4 != 0) v = 1.25 * grid(random);
      if (shape == Shape::kCategoricalHeavy) {
        v = j == 0 ? 0.25 * grid(random) : (grid(random) > 2 ? 1.0 : 0.0);
      }
      if (shape == Shape::kHugeValues) v *= 1e149;
      row[1 + j] = v;
    }
    for (int g = 0; g < 3; ++g) {
      row[size_t(5 + g)] = std::uniform_int_distribution<int>(0, codes[g] - 1)(random);
    }
    row[8] = i % 4;
    // Duplicates: every third case repeats an earlier one in all features.
    if (shape == Shape::kDuplicates && i % 3 == 2) {
      std::copy(rows[size_t(i / 2)].begin() + 1, rows[size_t(i / 2)].begin() + 8, row.begin() + 1);
    }
    rows.push_back(row);
    table.AddRow(row);
  }
  return fold;
}

TEST_P(KdTreeRandomised, AgreesWithBruteForceAndWithTheCanonicalWalk) {
  const auto [shape, metric, seed, cases] = GetParam();
  SearchTable table;
  const int fold = FillRandomised(table, shape, metric, seed, cases);
  std::mt19937 random(seed + 1000);
  ASSERT_TRUE(table.Prepare().IsOK());
  const KNNDataPreparation& data = table.Data();
  // The last set is wider than the index copies (columns may repeat): its leaves are read
  // from the store rows.
  const std::vector<std::vector<int>> featureSets = {
      {1, 2, 3, 4}, {3, 6, 1, 7, 2, 5}, {5, 6, 7}, {4, 6}, {1, 2, 3, 4, 5, 6, 7, 4, 3, 2, 1, 6, 2}};
  std::uniform_real_distribution<double> weightDraw(0.0, 2.5);
  KNNKdTree fast(table.Data());
  KNNKdTree walk(table.Data());
  walk.ForceCanonicalWalk(true);
  long long searches = 0;
  // Held-out fold 1 is searched with the baseline vectors, the others with the wide leaf
  // scans where the processor has them.
  struct WideScans {
    ~WideScans() { knn_search_kernel::SetWideLeafScans(true); }
  } restore;
  for (size_t set = 0; set < featureSets.size(); ++set) {
    const std::vector<int>& features = featureSets[set];
    std::vector<double> weights(features.size(), 1.0);
    if (set % 2 == 1) {
      for (double& w : weights) w = weightDraw(random);
      if (set == 1) weights[0] = 0.0;
    }
    for (int held = -1; held < 4; held += 2) {
      knn_search_kernel::SetWideLeafScans(held != 1);
      fast.Clear();
      walk.Clear();
      ASSERT_TRUE(fast.Build(features, held, &weights).IsOK());
      ASSERT_TRUE(walk.Build(features, held, &weights).IsOK());
      for (int q = 0; q < 40; ++q) {
        const bool includeSelf = q % 4 == 3 || q % 8 == 5;
        const double* row = data.caseRows[size_t((q * 53 + held + 1) % cases)];
        std::vector<double> query(row, row + data.rowWidth);
        if (q % 4 == 3) query[size_t(1 + q % 4)] += 0.5;  // off the data
        if (q % 8 == 5) {                                 // outside the data's range
          for (size_t j = 1; j <= 4; ++j) query[j] = 3.0 * query[j] + (j % 2 ? 20.0 : -20.0);
        }
        const std::vector<BruteNeighbor> brute = knn_test::BruteForceScan(
            data, features, weights, metric == 0, query.data(), fold, held, 0, includeSelf);
        // Up to 10 and then 14: lists past the branch-free insertion's length too.
        for (int K = 1; K <= 14; K += K < 10 ? 1 : 4, ++searches) {
          SCOPED_TRACE(::testing::Message()
                       << "set " << set << " fold " << held << " q " << q << " K " << K);
          const KNNNeighborList& a = fast.FindNearest(query.data(), K, includeSelf);
          const std::vector<int> fastCases = Cases(a);
          const std::vector<double> fastDistances = Distances(a);
          const KNNNeighborList& b = walk.FindNearest(query.data(), K, includeSelf);
          ASSERT_EQ(fastCases, Cases(b));
          const std::vector<double> walkDistances = Distances(b);
          ASSERT_EQ(std::memcmp(fastDistances.data(), walkDistances.data(),
                                sizeof(double) * walkDistances.size()),
                    0);

          const size_t count = std::min<size_t>(size_t(K), brute.size());
          ASSERT_EQ(fastCases.size(), count);
          const double kth = brute[count - 1].distance;
          for (size_t i = 0; i < count; ++i) {
            ASSERT_TRUE(NearlyEqual(fastDistances[i], brute[i].distance)) << "rank " << i;
            // Every reported case really lies at its reported distance.
            const auto match = std::find_if(brute.begin(), brute.end(), [&](const auto& n) {
              return n.caseIndex == fastCases[i];
            });
            ASSERT_NE(match, brute.end());
            EXPECT_TRUE(NearlyEqual(match->distance, fastDistances[i]));
          }
          const std::set<int> reported(fastCases.begin(), fastCases.end());
          EXPECT_EQ(reported.size(), count);
          // Every case clearly closer than the K-th distance is among them.
          for (const BruteNeighbor& n : brute) {
            if (n.distance < kth && !NearlyEqual(n.distance, kth)) {
              EXPECT_EQ(reported.count(n.caseIndex), 1U) << "missing case " << n.caseIndex;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(walk.CanonicalWalkSearches(), searches);
  if (shape == Shape::kClusters) {
    // Without ties the walk answers only the categorical-only feature set.
    EXPECT_LE(fast.CanonicalWalkSearches(), searches / 4 + searches / 50);
  }
}

// A leave-self-out search of the whole tree answered from a held-out fold's search (the
// nearest cases outside the fold) and a search of the fold's own cases gives the whole
// tree's answer bit for bit, or declines (near ties), over both metrics and weights.
TEST_P(KdTreeRandomised, JoinedFoldSearchGivesTheWholeTreesAnswer) {
  const auto [shape, metric, seed, cases] = GetParam();
  SearchTable table;
  FillRandomised(table, shape, metric, seed, cases);
  ASSERT_TRUE(table.Prepare().IsOK());
  const KNNDataPreparation& data = table.Data();
  const std::vector<std::vector<int>> featureSets = {{1, 2, 3, 4}, {3, 6, 1, 7, 2, 5}};
  constexpr int kKept = 12;
  KNNKdTree whole(table.Data());
  KNNKdTree heldOut(table.Data());
  int joined = 0;
  int declined = 0;
  for (size_t set = 0; set < featureSets.size(); ++set) {
    const std::vector<int>& features = featureSets[set];
    std::vector<double> weights(features.size(), 1.0);
    if (set == 1) weights = {0.5, 2.0, 1.5, 0.25, 1.0, 3.0};
    whole.Clear();
    ASSERT_TRUE(whole.Build(features, -1, &weights).IsOK());
    for (int f = 0; f < 4; ++f) {
      heldOut.Clear();
      ASSERT_TRUE(heldOut.Build(features, f, &weights).IsOK());
      KNNKdTree own(table.Data());
      ASSERT_TRUE(own.BuildFold(whole, f).IsOK());
      EXPECT_EQ(own.PointCount() + heldOut.PointCount(), whole.PointCount());
      for (int i = f; i < cases; i += 4 * 3) {
        const double* query = data.caseRows[size_t(i)];
        const KNNNeighborList& outside = heldOut.FindNearest(query, kKept, false);
        if (!heldOut.LastAnswerExact()) continue;
        const std::vector<int> others = Cases(outside);
        for (int K : {1, 4, kKept - 1}) {
          SCOPED_TRACE(::testing::Message()
                       << "set " << set << " fold " << f << " case " << i << " K " << K);
          KNNNeighborList list(K);
          const int32_t count = std::min<int32_t>(int32_t(others.size()), K + 1);
          if (!own.FindNearestJoined(query, K, others.data(), count, whole, list)) {
            ++declined;
            continue;
          }
          ++joined;
          const KNNNeighborList& expected = whole.FindNearest(query, K, false);
          ASSERT_EQ(Cases(list), Cases(expected));
          const std::vector<double> a = Distances(list);
          const std::vector<double> b = Distances(expected);
          ASSERT_EQ(std::memcmp(a.data(), b.data(), sizeof(double) * a.size()), 0);
        }
      }
    }
  }
  // Declining is rare without ties, and duplicated cases always tie with their twins.
  if (shape == Shape::kClusters && cases > 100) {
    EXPECT_GT(joined, 20 * declined);
  }
  if (shape == Shape::kDuplicates) {
    EXPECT_GT(declined, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, KdTreeRandomised,
                         ::testing::Values(std::make_tuple(Shape::kClusters, 0, 11u, 2000),
                                           std::make_tuple(Shape::kClusters, 1, 12u, 700),
                                           std::make_tuple(Shape::kClusters, 0, 13u, 9),
                                           std::make_tuple(Shape::kDuplicates, 0, 14u, 400),
                                           std::make_tuple(Shape::kDuplicates, 1, 15u, 400),
                                           std::make_tuple(Shape::kMixedGrid, 0, 16u, 500),
                                           std::make_tuple(Shape::kMixedGrid, 1, 17u, 500),
                                           std::make_tuple(Shape::kMixedGrid, 1, 1234u, 57),
                                           std::make_tuple(Shape::kCategoricalHeavy, 0, 18u, 600),
                                           std::make_tuple(Shape::kCategoricalHeavy, 1, 19u, 600),
                                           std::make_tuple(Shape::kHugeValues, 0, 20u, 300),
                                           std::make_tuple(Shape::kHugeValues, 1, 21u, 300)));

// The search fails (count 0) exactly when the metric cannot form a squared term, in both
// ways of answering it.
TEST(KdTreeFastSearchTest, SearchFailsExactlyWhenASquareCannotBeFormed) {
  SearchTable table;
  table.AddCaseId("id");
  table.AddContinuous("x", 0.0, 5.0);
  table.AddContinuous("y", 0.0, 6.0);
  table.Settings().RescaleMethod = 1;  // raw values
  for (int i = 0; i < 50; ++i) table.AddRow({i + 1.0, i * 0.1, (i % 7) * 1.0});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree fast(table.Data()), walk(table.Data());
  walk.ForceCanonicalWalk(true);
  ASSERT_TRUE(fast.Build({1, 2}, -1, nullptr).IsOK());
  ASSERT_TRUE(walk.Build({1, 2}, -1, nullptr).IsOK());
  const double limit = std::sqrt(DBL_MAX) * (1.0 + 1e-15);
  for (double v :
       {1.0, -3.0, 1e150, 1e153, limit, -limit, 1e300, VelMV::gMissingValue,
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    double term = 0.0;
    const bool formable = KNNEuclideanDis().ComputeTerm(v, 1.0, true, term).IsOK();
    const std::vector<double> query = {0.0, v, 2.0};
    const std::vector<int> fastCases = Cases(fast.FindNearest(query.data(), 3, true));
    EXPECT_EQ(fastCases.size(), formable ? 3U : 0U) << v;
    EXPECT_EQ(fastCases, Cases(walk.FindNearest(query.data(), 3, true))) << v;
  }
}

// The tree keeps a few numbers per case; the rows stay in the store.
TEST(KdTreeFastSearchTest, MemoryStaysAFewNumbersPerCase) {
  SearchTable table;
  table.AddCaseId("id");
  for (int j = 0; j < 8; ++j) table.AddContinuous("x" + std::to_string(j));
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    std::vector<double> row(9, i + 1.0);
    for (size_t j = 1; j < 9; ++j) row[j] = unit(random);
    table.AddRow(row);
  }
  const std::vector<int> features = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  ASSERT_TRUE(tree.Build(features, -1, nullptr).IsOK());
  for (int i = 0; i < 200; ++i) tree.FindNearest(table.Data().caseRows[size_t(i)], 5, false);
  // Without ties the one-case-per-leaf tree is never made: the index is its copy of the
  // eight searched numbers per case and a few more.
  EXPECT_EQ(tree.CanonicalWalkSearches(), 0);
  const size_t copy = size_t(n) * features.size() * sizeof(double);
  EXPECT_LT(tree.MemoryBytes(), copy + size_t(n) * 24);
  tree.ForceCanonicalWalk(true);
  tree.FindNearest(table.Data().caseRows[0], 5, false);
  EXPECT_LT(tree.MemoryBytes(), copy + size_t(n) * 100);
  // A rebuild drops the walk's tree again.
  tree.ForceCanonicalWalk(false);
  tree.Clear();
  ASSERT_TRUE(tree.Build(features, -1, nullptr).IsOK());
  EXPECT_LT(tree.MemoryBytes(), copy + size_t(n) * 24);

  // Queries are ordered as a permutation that keeps each leaf's queries together.
  std::vector<const double*> queries(table.Data().caseRows.begin(),
                                     table.Data().caseRows.begin() + 3000);
  std::vector<int32_t> order;
  tree.QueryOrder(queries, order);
  std::vector<int32_t> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (int32_t i = 0; i < 3000; ++i) ASSERT_EQ(sorted[size_t(i)], i);
  EXPECT_FALSE(std::is_sorted(order.begin(), order.end()));
}

}  // namespace
