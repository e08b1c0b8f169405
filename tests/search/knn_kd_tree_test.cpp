#include "search/knn_kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/vel_display.h"
#include "host/vel_missing.h"
#include "support/search_fixtures.h"

namespace {

using knn_test::BruteForceScan;
using knn_test::BruteNeighbor;
using knn_test::SearchTable;

// Captures everything written through the host display while alive.
class DisplayCapture {
 public:
  DisplayCapture() { VelComponentDisplay::SetOutStream(&out_); }
  ~DisplayCapture() { VelComponentDisplay::SetOutStream(nullptr); }
  std::string Text() const { return out_.str(); }
  // Values of every "label: value" line with that label.
  std::vector<std::string> Values(const std::string& label) const {
    std::vector<std::string> values;
    std::istringstream lines(out_.str());
    std::string line;
    const std::string prefix = label + ": ";
    while (std::getline(lines, line)) {
      if (line.rfind(prefix, 0) == 0) values.push_back(line.substr(prefix.size()));
    }
    return values;
  }

 private:
  std::ostringstream out_;
};

std::vector<int> Cases(const KNNNeighborList& list) {
  std::vector<int> cases;
  for (int i = 0; i < list.count; ++i)
    cases.push_back(list.items[static_cast<size_t>(i)].caseIndex);
  return cases;
}

std::vector<double> Distances(const KNNNeighborList& list) {
  std::vector<double> distances;
  for (int i = 0; i < list.count; ++i) {
    distances.push_back(list.items[static_cast<size_t>(i)].distance);
  }
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
    id_ = table_.AddCaseId("id");
    x_ = table_.AddContinuous("x", 0.0, 4.0);
    table_.Settings().RescaleMethod = 1;
    table_.Settings().SpecifiedK = 1;
    const double xs[] = {0.0, 2.0, 2.0, 4.0};
    for (int i = 0; i < 4; ++i) table_.AddRow({i + 1.0, xs[i]});
    ASSERT_TRUE(table_.Prepare().IsOK());
  }

  SearchTable table_;
  int id_ = 0;
  int x_ = 0;
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
  KNNKdTree tree(table_.Data());
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  const double query[] = {99.0, 1.0};

  const KNNNeighborList& two = tree.FindNearest(query, 2, true);
  EXPECT_EQ(Cases(two), (std::vector<int>{2, 0}));
  EXPECT_EQ(Distances(two), (std::vector<double>{1.0, 1.0}));

  const KNNNeighborList& three = tree.FindNearest(query, 3, true);
  EXPECT_EQ(Cases(three), (std::vector<int>{2, 0, 1}));

  DisplayCapture capture;
  tree.Display(false);
  EXPECT_EQ(capture.Values("Leaves are"), (std::vector<std::string>{"3", "1", "2", "0"}));
  EXPECT_EQ(capture.Values("Node Num"),
            (std::vector<std::string>{"6", "2", "5", "0", "4", "1", "3"}));
  EXPECT_EQ(capture.Values("cv"), (std::vector<std::string>{"3", "2", "1"}));
}

TEST_F(TieExampleTest, OwnCaseLeftOutButIdenticalTwinReported) {
  KNNKdTree tree(table_.Data());
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  const double* case2 = table_.Data().caseRows[2];

  const KNNNeighborList& withoutSelf = tree.FindNearest(case2, 4, false);
  ASSERT_EQ(withoutSelf.count, 3);
  EXPECT_EQ(withoutSelf.items[0].caseIndex, 1);
  EXPECT_EQ(withoutSelf.items[0].distance, 0.0);
  std::vector<int> cases = Cases(withoutSelf);
  EXPECT_EQ(std::count(cases.begin(), cases.end(), 2), 0);

  const KNNNeighborList& withSelf = tree.FindNearest(case2, 4, true);
  EXPECT_EQ(withSelf.count, 4);
  // The stored ID is truncated before the comparison: 3.7 stored still matches query ID 3.
  std::vector<double> query(case2, case2 + 2);
  table_.Data().caseStore[2 * 2 + id_] = 3.7;
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  EXPECT_EQ(tree.FindNearest(query.data(), 4, false).count, 3);
  query[static_cast<size_t>(id_)] = 3.7;  // the query's own ID is not truncated
  EXPECT_EQ(tree.FindNearest(query.data(), 4, false).count, 4);
}

TEST_F(TieExampleTest, KLargerThanIndexedCases) {
  KNNKdTree tree(table_.Data());
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  EXPECT_EQ(tree.FindNearest(table_.Data().caseRows[0], 10, true).count, 4);
  EXPECT_EQ(tree.FindNearest(table_.Data().caseRows[0], 10, false).count, 3);
  EXPECT_EQ(tree.FindNearest(table_.Data().caseRows[0], 10, false).k, 10);
}

TEST_F(TieExampleTest, ClearedTreeFindsNothingUntilRebuilt) {
  KNNKdTree tree(table_.Data());
  const double query[] = {0.0, 1.0};
  EXPECT_EQ(tree.FindNearest(query, 1, true).count, 0);
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  EXPECT_EQ(tree.PointCount(), 4);
  tree.Clear();
  EXPECT_EQ(tree.FindNearest(query, 1, true).count, 0);
  DisplayCapture capture;
  tree.DisplayStatus(false);
  EXPECT_NE(capture.Text().find("    Null tree."), std::string::npos);
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  EXPECT_EQ(tree.FindNearest(query, 1, true).count, 1);
}

// The search fails (count 0) exactly when the metric object cannot form a squared term.
TEST_F(TieExampleTest, SearchFailsExactlyWhenASquareCannotBeFormed) {
  KNNKdTree tree(table_.Data());
  ASSERT_TRUE(tree.Build({x_}, -1, nullptr).IsOK());
  KNNEuclideanDis metric;
  const double limit = std::sqrt(DBL_MAX);
  const double values[] = {1.0,
                           -3.0,
                           1e150,
                           1e153,
                           limit * (1.0 + 1e-15),
                           -limit * (1.0 + 1e-15),
                           1e300,
                           VelMV::gMissingValue,
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()};
  for (double v : values) {
    double term = 0.0;
    const bool formable = metric.ComputeTerm(v, 1.0, true, term).IsOK();
    const double query[] = {0.0, v};
    EXPECT_EQ(tree.FindNearest(query, 2, true).count, formable ? 2 : 0) << v;
  }
}

// Build layouts checked through the tree's own dump.
class BuildShapeTest : public ::testing::Test {
 protected:
  // Splits and leaf sizes of a build, from its dump.
  static void Shape(KNNKdTree& tree, std::vector<std::string>& splits,
                    std::vector<std::string>& leafSizes, std::vector<std::string>& cuts) {
    DisplayCapture capture;
    tree.Dump();
    splits = capture.Values("Split");
    leafSizes = capture.Values("The leaves numbers are");
    cuts = capture.Values("cv");
  }
};

TEST_F(BuildShapeTest, AllEqualCasesMakeOneLeaf) {
  SearchTable table;
  const int id = table.AddCaseId("id");
  const int x = table.AddContinuous("x");
  const int c = table.AddCategorical("c", 3);
  for (int i = 0; i < 6; ++i) table.AddRow({i + 1.0, 0.25, 1.0});
  table.Settings().AllFeatures = {id};  // the features are constant on purpose
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  tree.Build({x, c}, -1, nullptr);
  std::vector<std::string> splits, leaves, cuts;
  Shape(tree, splits, leaves, cuts);
  EXPECT_TRUE(splits.empty());
  EXPECT_EQ(leaves, (std::vector<std::string>{"6"}));
  // All of them are found at distance 0, in index order.
  const KNNNeighborList& list = tree.FindNearest(table.Data().caseRows[0], 6, true);
  EXPECT_EQ(Cases(list), (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(BuildShapeTest, EqualCasesInAWideCellAreSeparated) {
  // Cases 1-4 share x = 0.5 inside the cell [-1, 1] that case 0 and 5 span.
  SearchTable table;
  table.AddCaseId("id");
  const int x = table.AddContinuous("x");
  const double xs[] = {-1.0, 0.5, 0.5, 0.5, 0.5, 1.0};
  for (int i = 0; i < 6; ++i) table.AddRow({i + 1.0, xs[i]});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  tree.Build({x}, -1, nullptr);
  std::vector<std::string> splits, leaves, cuts;
  Shape(tree, splits, leaves, cuts);
  EXPECT_EQ(leaves.size(), 6U);
  for (const std::string& size : leaves) EXPECT_EQ(size, "1");
}

TEST_F(BuildShapeTest, ZeroWeightColumnIsNeverCut) {
  SearchTable table;
  table.AddCaseId("id");
  const int wide = table.AddContinuous("wide", 0.0, 1000.0);
  const int narrow = table.AddContinuous("narrow", 0.0, 1.0);
  table.Settings().RescaleMethod = 1;  // keep the columns' own widths
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 40; ++i) table.AddRow({i + 1.0, 1000.0 * unit(random), unit(random)});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  const std::vector<double> weights = {0.0, 1.0};
  tree.Build({wide, narrow}, -1, &weights);
  std::vector<std::string> splits, leaves, cuts;
  Shape(tree, splits, leaves, cuts);
  ASSERT_FALSE(splits.empty());
  for (const std::string& cd : splits) EXPECT_EQ(cd, std::to_string(narrow));
  // Without the weight the wide column is cut first.
  const std::vector<double> even = {1.0, 1.0};
  tree.Clear();
  tree.Build({wide, narrow}, -1, &even);
  Shape(tree, splits, leaves, cuts);
  EXPECT_EQ(splits.front(), std::to_string(wide));
}

struct CategoricalCase {
  const char* name;
  std::vector<int> codes;
  std::string expectedCut;
};

class CategoricalCutTest : public ::testing::TestWithParam<CategoricalCase> {};

TEST_P(CategoricalCutTest, FirstSplitSeparatesTheCodeClosestToHalf) {
  const CategoricalCase& p = GetParam();
  SearchTable table;
  table.AddCaseId("id");
  const int c = table.AddCategorical("c", 4);
  for (size_t i = 0; i < p.codes.size(); ++i) {
    table.AddRow({i + 1.0, static_cast<double>(p.codes[i])});
  }
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  tree.Build({c}, -1, nullptr);
  DisplayCapture dump;
  tree.Dump();  // the root comes first
  ASSERT_FALSE(dump.Values("cv").empty());
  EXPECT_EQ(dump.Values("cv").front(), p.expectedCut) << p.name;
  // Categorical cuts keep no cell: lbnd 0 and hbnd the column's scale.
  EXPECT_EQ(dump.Values("lbnd").front(), "0");
  EXPECT_EQ(dump.Values("hbnd").front(), "1");
  // Cases of the query's code come first at distance 0, all others at sqrt(2).
  const int code = p.codes.back();
  const double query[] = {0.0, static_cast<double>(code)};
  const int n = static_cast<int>(p.codes.size());
  const KNNNeighborList& list = tree.FindNearest(query, n, true);
  ASSERT_EQ(list.count, n);
  const int same = static_cast<int>(std::count(p.codes.begin(), p.codes.end(), code));
  for (int i = 0; i < n; ++i) {
    const KNNNeighbor& item = list.items[static_cast<size_t>(i)];
    EXPECT_EQ(item.distance, i < same ? 0.0 : std::sqrt(2.0)) << p.name << " rank " << i;
    EXPECT_EQ(p.codes[static_cast<size_t>(item.caseIndex)] == code, i < same) << p.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, CategoricalCutTest,
                         ::testing::Values(
                             // counts 2, 3, 5 of 10: code 2 holds exactly half.
                             CategoricalCase{"half", {0, 1, 2, 2, 1, 2, 0, 2, 1, 2}, "2"},
                             // counts 2, 2, 2: equally close, the lowest code wins.
                             CategoricalCase{"tie_lowest", {2, 1, 0, 0, 1, 2}, "0"},
                             // counts 1, 0, 0, 3 of 4: |2 - 1| = |2 - 3|, the lower code 0 wins.
                             CategoricalCase{"tie_skips_empty", {3, 0, 3, 3}, "0"},
                             // counts 1, 4, 0, 2 of 7: code 1 (|3.5 - 4| = 0.5) beats code 3 (1.5).
                             CategoricalCase{"closest_above_half", {1, 3, 1, 0, 1, 3, 1}, "1"}),
                         [](const ::testing::TestParamInfo<CategoricalCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(KdTreeFoldTest, HeldOutFoldIsAbsentFromEveryLeaf) {
  SearchTable table;
  table.AddCaseId("id");
  const int x = table.AddContinuous("x");
  const int fold = table.AddCategorical("fold", 3);
  table.Settings().VFoldVariable = fold;
  for (int i = 0; i < 30; ++i) table.AddRow({i + 1.0, -1.0 + i / 15.0, double(i % 3)});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  for (int held = -1; held < 3; ++held) {
    tree.Clear();
    tree.Build({x}, held, nullptr);
    EXPECT_EQ(tree.PointCount(), held == -1 ? 30 : 20);
    const KNNNeighborList& list = tree.FindNearest(table.Data().caseRows[0], 30, true);
    ASSERT_EQ(list.count, tree.PointCount());
    for (int i = 0; i < list.count; ++i) {
      EXPECT_NE(list.items[static_cast<size_t>(i)].caseIndex % 3, held);
    }
  }
}

TEST(KdTreeWeightsTest, WeightsPersistForColumnsNotGivenAgain) {
  SearchTable table;
  table.AddCaseId("id");
  const int a = table.AddContinuous("a");
  const int b = table.AddContinuous("b");
  table.AddRow({1, -1.0, 0.5});
  table.AddRow({2, 1.0, -0.5});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  EXPECT_EQ(tree.Weights(), (std::vector<double>{1.0, 1.0, 1.0}));
  const std::vector<double> first = {4.0, 9.0};
  tree.Build({a, b}, -1, &first);
  tree.Clear();
  const std::vector<double> second = {0.5};
  tree.Build({b}, -1, &second);
  EXPECT_EQ(tree.Weights(), (std::vector<double>{1.0, 4.0, 0.5}));
  tree.Clear();
  tree.Build({a}, -1, nullptr);
  EXPECT_EQ(tree.Weights(), (std::vector<double>{1.0, 4.0, 0.5}));
  // Only a counts now, with weight 4: distance between the two cases sqrt(4 * 2^2) = 4.
  const KNNNeighborList& list = tree.FindNearest(table.Data().caseRows[0], 2, false);
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.items[0].distance, 4.0);
}

TEST(KdTreeDisplayTest, DisplayAllShowsPointsBoundsAndTree) {
  SearchTable table;
  table.AddCaseId("id");
  const int x = table.AddContinuous("x");
  table.AddRow({1, -1.0});
  table.AddRow({2, 1.0});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  tree.Build({x}, -1, nullptr);
  DisplayCapture capture;
  tree.DisplayAll();
  const std::string text = capture.Text();
  for (const char* expected :
       {"Display all used points", "Points display end", "Bound display", "Bound display end",
        "Tree discription", "Tree discription end", "Tree status"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(capture.Values("one point").size(), 2U);
  EXPECT_EQ(capture.Values("Tree number"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(capture.Values("Point size"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(capture.Values("bucket size"), (std::vector<std::string>{"1"}));
  // Bounds in case units: the id column is not a feature, x spans [-1, 1].
  EXPECT_EQ(capture.Values("Bound"), (std::vector<std::string>{"0 0", "1 -1"}));
}

// Randomised comparison with a brute-force scan over mixed columns.
struct RandomSetup {
  unsigned seed;
  int metric;  // 0 Euclidean, 1 city block
  int cases;
};

class KdTreeVersusBruteForce : public ::testing::TestWithParam<RandomSetup> {};

TEST_P(KdTreeVersusBruteForce, SameNeighboursAsAFullScan) {
  const RandomSetup setup = GetParam();
  std::mt19937 random(setup.seed);
  SearchTable table;
  const int id = table.AddCaseId("id");
  const int x1 = table.AddContinuous("x1", 0.0, 10.0);
  const int c1 = table.AddCategorical("c1", 3);
  const int x2 = table.AddContinuous("x2", -5.0, 5.0);
  const int x3 = table.AddContinuous("x3", 0.0, 1.0);
  const int c2 = table.AddCategorical("c2", 5);
  const int fold = table.AddCategorical("fold", 3);
  table.Settings().VFoldVariable = fold;
  table.Settings().DistMetric = setup.metric;
  table.Settings().SpecifiedK = 1;

  // Coarse grids make exact ties and duplicate cases common.
  std::uniform_int_distribution<int> grid(0, 8);
  std::uniform_int_distribution<int> code3(0, 2);
  std::uniform_int_distribution<int> code5(0, 4);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (int i = 0; i < setup.cases; ++i) {
    const bool fine = i % 4 == 0;
    table.AddRow({i + 1.0, fine ? 5.0 + 2.0 * noise(random) : 1.25 * grid(random),
                  double(code3(random)), fine ? noise(random) : -4.0 + grid(random),
                  0.125 * grid(random), double(code5(random)), double(i % 3)});
  }
  ASSERT_TRUE(table.Prepare().IsOK());
  const KNNDataPreparation& data = table.Data();

  const std::vector<std::vector<int>> featureSets = {
      {x1, c1, x2, x3, c2}, {c2, x3, x1}, {x2}, {c1, c2}, {x3, c1}};
  std::uniform_real_distribution<double> weightDraw(0.0, 3.0);
  KNNKdTree tree(table.Data());
  int compared = 0;
  for (size_t set = 0; set < featureSets.size(); ++set) {
    const std::vector<int>& features = featureSets[set];
    std::vector<double> weights;
    for (size_t j = 0; j < features.size(); ++j) {
      weights.push_back(j == 1 && set == 0 ? 0.0 : (set % 2 == 0 ? weightDraw(random) : 1.0));
    }
    for (int held = -1; held < 3; ++held) {
      tree.Clear();
      ASSERT_TRUE(tree.Build(features, held, &weights).IsOK());
      for (int q = 0; q < 25; ++q) {
        // Training cases without themselves, and fresh queries (some outside the data).
        std::vector<double> query;
        bool includeSelf = q % 2 == 1;
        if (!includeSelf) {
          const double* row = data.caseRows[static_cast<size_t>((q * 37 + held + 1) % setup.cases)];
          query.assign(row, row + data.rowWidth);
        } else {
          query = {-1.0,
                   -1.5 + 3.0 * std::uniform_real_distribution<double>(0.0, 1.0)(random),
                   double(code3(random)),
                   -1.5 + 3.0 * std::uniform_real_distribution<double>(0.0, 1.0)(random),
                   -1.0 + 0.25 * grid(random),
                   double(code5(random)),
                   0.0};
        }
        const std::vector<BruteNeighbor> brute = BruteForceScan(
            data, features, weights, setup.metric == 0, query.data(), fold, held, id, includeSelf);
        for (int K = 1; K <= 10; ++K) {
          const KNNNeighborList& list = tree.FindNearest(query.data(), K, includeSelf);
          const int expectedCount = std::min<int>(K, static_cast<int>(brute.size()));
          ASSERT_EQ(list.count, expectedCount) << "K " << K;
          const double kth = brute[static_cast<size_t>(expectedCount - 1)].distance;
          std::set<int> reported;
          for (int i = 0; i < list.count; ++i) {
            const KNNNeighbor& item = list.items[static_cast<size_t>(i)];
            ASSERT_TRUE(NearlyEqual(item.distance, brute[static_cast<size_t>(i)].distance))
                << "set " << set << " fold " << held << " K " << K << " rank " << i;
            if (i > 0) {
              EXPECT_LE(list.items[static_cast<size_t>(i - 1)].distance, item.distance);
            }
            reported.insert(item.caseIndex);
          }
          EXPECT_EQ(reported.size(), static_cast<size_t>(list.count));
          // Every case clearly closer than the K-th distance must be among them, and every
          // reported case must really lie at its reported distance.
          for (const BruteNeighbor& b : brute) {
            if (b.distance < kth && !NearlyEqual(b.distance, kth)) {
              EXPECT_EQ(reported.count(b.caseIndex), 1U) << "missing case " << b.caseIndex;
            }
          }
          for (int i = 0; i < list.count; ++i) {
            const KNNNeighbor& item = list.items[static_cast<size_t>(i)];
            const auto match =
                std::find_if(brute.begin(), brute.end(),
                             [&](const BruteNeighbor& b) { return b.caseIndex == item.caseIndex; });
            ASSERT_NE(match, brute.end());
            EXPECT_TRUE(NearlyEqual(match->distance, item.distance));
          }
          ++compared;
        }
      }
    }
  }
  EXPECT_EQ(compared, 5 * 4 * 25 * 10);
}

INSTANTIATE_TEST_SUITE_P(Seeds, KdTreeVersusBruteForce,
                         ::testing::Values(RandomSetup{1234, 0, 300}, RandomSetup{1234, 1, 300},
                                           RandomSetup{99, 0, 57}, RandomSetup{99, 1, 57},
                                           RandomSetup{2024, 0, 800}));

// The bucketed search against the canonical walk alone: same case numbers in the same order
// and bit-identical distances, on data made to produce ties.
enum class Shape { kClusters, kDuplicates, kIntegerGrid, kCategoricalHeavy, kHugeValues };

struct WalkSetup {
  Shape shape;
  int metric;  // 0 Euclidean, 1 city block
  unsigned seed;
  int cases;
};

class FastSearchVersusCanonicalWalk : public ::testing::TestWithParam<WalkSetup> {
 protected:
  // id, four continuous columns, three categorical ones (3, 10, 12 codes), a fold column.
  void Fill(const WalkSetup& setup) {
    std::mt19937 random(setup.seed);
    id_ = table_.AddCaseId("id");
    for (int j = 0; j < 4; ++j) {
      continuous_.push_back(table_.AddContinuous("x" + std::to_string(j), -1e9, 1e9));
    }
    const int codes[] = {3, 10, 12};
    for (int g = 0; g < 3; ++g) {
      categorical_.push_back(table_.AddCategorical("c" + std::to_string(g), codes[g]));
    }
    fold_ = table_.AddCategorical("fold", 4);
    table_.Settings().VFoldVariable = fold_;
    table_.Settings().DistMetric = setup.metric;
    table_.Settings().SpecifiedK = 1;
    table_.Settings().RescaleMethod = 1;  // raw values

    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_int_distribution<int> grid(-3, 3);
    std::vector<std::vector<double>> centres(6, std::vector<double>(4));
    for (auto& c : centres) {
      for (double& v : c) v = 5.0 * gauss(random);
    }
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < setup.cases; ++i) {
      std::vector<double> row(9);
      row[0] = i + 1.0;
      const auto& centre = centres[static_cast<size_t>(i % 6)];
      for (int j = 0; j < 4; ++j) {
        double v = centre[static_cast<size_t>(j)] + gauss(random);
        if (setup.shape == Shape::kIntegerGrid) v = grid(random);
        if (setup.shape == Shape::kCategoricalHeavy) {
          v = j == 0 ? 0.25 * grid(random) : (grid(random) > 2 ? 1.0 : 0.0);
        }
        if (setup.shape == Shape::kHugeValues) v *= 1e149;
        row[static_cast<size_t>(1 + j)] = v;
      }
      for (int g = 0; g < 3; ++g) {
        row[static_cast<size_t>(5 + g)] =
            static_cast<double>(std::uniform_int_distribution<int>(0, codes[g] - 1)(random));
      }
      row[8] = i % 4;
      // Duplicates: every third case repeats an earlier one in all features.
      if (setup.shape == Shape::kDuplicates && i % 3 == 2) {
        std::copy(rows[static_cast<size_t>(i / 2)].begin() + 1,
                  rows[static_cast<size_t>(i / 2)].begin() + 8, row.begin() + 1);
      }
      rows.push_back(row);
    }
    for (auto& row : rows) table_.AddRow(row);
    ASSERT_TRUE(table_.Prepare().IsOK());
  }

  SearchTable table_;
  int id_ = -1;
  int fold_ = -1;
  std::vector<int> continuous_;
  std::vector<int> categorical_;
};

TEST_P(FastSearchVersusCanonicalWalk, IdenticalNeighboursAndDistances) {
  const WalkSetup setup = GetParam();
  Fill(setup);
  const KNNDataPreparation& data = table_.Data();
  const std::vector<int>& x = continuous_;
  const std::vector<int>& c = categorical_;
  const std::vector<std::vector<int>> featureSets = {{x[0], x[1], x[2], x[3]},
                                                     {x[2], c[1], x[0], c[2], x[1], c[0]},
                                                     {c[0], c[1], c[2]},
                                                     {x[3], c[1]}};
  std::mt19937 random(setup.seed + 1);
  std::uniform_real_distribution<double> weightDraw(0.0, 2.5);
  KNNKdTree fast(table_.Data());
  KNNKdTree walk(table_.Data());
  walk.ForceCanonicalWalk(true);
  long long searches = 0;
  for (size_t set = 0; set < featureSets.size(); ++set) {
    const std::vector<int>& features = featureSets[set];
    std::vector<double> weights(features.size(), 1.0);
    if (set % 2 == 1) {
      for (double& w : weights) w = weightDraw(random);
      if (set == 1) weights[0] = 0.0;
    }
    for (int held = -1; held < 4; held += 2) {
      fast.Clear();
      walk.Clear();
      ASSERT_TRUE(fast.Build(features, held, &weights).IsOK());
      ASSERT_TRUE(walk.Build(features, held, &weights).IsOK());
      for (int q = 0; q < 40; ++q) {
        const bool includeSelf = q % 4 == 3;
        std::vector<double> query(
            data.caseRows[static_cast<size_t>((q * 53) % setup.cases)],
            data.caseRows[static_cast<size_t>((q * 53) % setup.cases)] + data.rowWidth);
        if (includeSelf) query[static_cast<size_t>(x[q % 4])] += 0.5;  // off the data
        for (int K = 1; K <= 10; ++K) {
          const KNNNeighborList& a = fast.FindNearest(query.data(), K, includeSelf);
          const std::vector<int> fastCases = Cases(a);
          const std::vector<double> fastDistances = Distances(a);
          const KNNNeighborList& b = walk.FindNearest(query.data(), K, includeSelf);
          ASSERT_EQ(fastCases, Cases(b))
              << "set " << set << " fold " << held << " q " << q << " K " << K;
          const std::vector<double> walkDistances = Distances(b);
          for (size_t i = 0; i < walkDistances.size(); ++i) {
            ASSERT_EQ(std::memcmp(&fastDistances[i], &walkDistances[i], sizeof(double)), 0)
                << "set " << set << " K " << K << " rank " << i;
          }
          ++searches;
        }
      }
    }
  }
  EXPECT_EQ(walk.CanonicalWalkSearches(), searches);
  if (setup.shape == Shape::kClusters) {
    // Without ties the walk answers only the categorical-only feature set.
    EXPECT_LE(fast.CanonicalWalkSearches(), searches / 4 + searches / 50);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, FastSearchVersusCanonicalWalk,
                         ::testing::Values(WalkSetup{Shape::kClusters, 0, 11, 700},
                                           WalkSetup{Shape::kClusters, 1, 12, 700},
                                           WalkSetup{Shape::kClusters, 0, 13, 9},
                                           WalkSetup{Shape::kDuplicates, 0, 14, 400},
                                           WalkSetup{Shape::kDuplicates, 1, 15, 400},
                                           WalkSetup{Shape::kIntegerGrid, 0, 16, 500},
                                           WalkSetup{Shape::kIntegerGrid, 1, 17, 500},
                                           WalkSetup{Shape::kCategoricalHeavy, 0, 18, 600},
                                           WalkSetup{Shape::kCategoricalHeavy, 1, 19, 600},
                                           WalkSetup{Shape::kHugeValues, 0, 20, 300},
                                           WalkSetup{Shape::kHugeValues, 1, 21, 300}));

// Squares that cannot be formed fail the search in both ways of answering it.
TEST(KdTreeFastSearchTest, OverflowFailsLikeTheWalk) {
  SearchTable table;
  table.AddCaseId("id");
  const int x = table.AddContinuous("x", -1e300, 1e300);
  const int y = table.AddContinuous("y", -1e300, 1e300);
  table.Settings().RescaleMethod = 1;  // raw values
  for (int i = 0; i < 50; ++i) table.AddRow({i + 1.0, i * 1e153, (i % 7) * 1.0});
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree fast(table.Data());
  KNNKdTree walk(table.Data());
  walk.ForceCanonicalWalk(true);
  ASSERT_TRUE(fast.Build({x, y}, -1, nullptr).IsOK());
  ASSERT_TRUE(walk.Build({x, y}, -1, nullptr).IsOK());
  for (double qx : {0.0, 3e153, 1e300, -1e300}) {
    const std::vector<double> query = {0.0, qx, 2.0};
    const KNNNeighborList& a = fast.FindNearest(query.data(), 3, true);
    const std::vector<int> fastCases = Cases(a);
    const KNNNeighborList& b = walk.FindNearest(query.data(), 3, true);
    EXPECT_EQ(fastCases, Cases(b)) << qx;
    // Distances up to 49e153 square beyond DBL_MAX: any query must fail.
    EXPECT_EQ(b.count, 0) << qx;
  }
}

// The tree keeps a few numbers per case; the rows stay in the store.
TEST(KdTreeFastSearchTest, MemoryStaysAFewNumbersPerCase) {
  SearchTable table;
  table.AddCaseId("id");
  std::vector<int> features;
  for (int j = 0; j < 8; ++j) features.push_back(table.AddContinuous("x" + std::to_string(j)));
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    std::vector<double> row = {i + 1.0};
    for (int j = 0; j < 8; ++j) row.push_back(unit(random));
    table.AddRow(row);
  }
  ASSERT_TRUE(table.Prepare().IsOK());
  KNNKdTree tree(table.Data());
  ASSERT_TRUE(tree.Build(features, -1, nullptr).IsOK());
  for (int i = 0; i < 200; ++i)
    tree.FindNearest(table.Data().caseRows[static_cast<size_t>(i)], 5, false);
  // Without ties the one-case-per-leaf tree is never made.
  EXPECT_EQ(tree.CanonicalWalkSearches(), 0);
  EXPECT_LT(tree.MemoryBytes(), static_cast<size_t>(n) * 20);
  tree.ForceCanonicalWalk(true);
  tree.FindNearest(table.Data().caseRows[0], 5, false);
  EXPECT_LT(tree.MemoryBytes(), static_cast<size_t>(n) * 100);
  // A rebuild drops the walk's tree again.
  tree.ForceCanonicalWalk(false);
  tree.Clear();
  ASSERT_TRUE(tree.Build(features, -1, nullptr).IsOK());
  EXPECT_LT(tree.MemoryBytes(), static_cast<size_t>(n) * 20);
}

}  // namespace
