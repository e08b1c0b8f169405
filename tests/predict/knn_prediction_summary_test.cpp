#include "predict/knn_prediction_summary.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <utility>

#include "boundary/status_codes.h"
#include "support/model_case_table.h"

namespace {

using knn_test::CaseTable;
using knn_test::MakeList;

// Rows of one column: the response code (or value) of each case.
CaseTable OneColumn(const std::vector<double>& values) {
  std::vector<std::vector<double>> table;
  for (double v : values) table.push_back({v});
  return CaseTable(std::move(table));
}

// Majority vote; ties go to the larger training count, then to the lowest code.
TEST(CategoricalSummary, VoteTieRules) {
  const struct {
    std::vector<double> neighbourCodes;  // nearest first
    std::vector<unsigned> frequencies;   // training count per category
    int expected;
  } cases[] = {{{2, 2, 0}, {9, 1, 1}, 2},        // majority beats frequency
               {{1, 3, 3, 1}, {0, 4, 0, 6}, 3},  // 2-2 tie: the larger training count
               {{3, 1, 1, 3}, {0, 5, 0, 5}, 1},  // 2-2 tie, equal counts: the lower code
               {{2, 1, 0}, {5, 2, 5}, 0},        // three-way tie: lowest of the most frequent
               {{1, 2}, {100, 3, 4}, 2},         // frequency decides among the winners only
               {{4}, {1, 1, 1, 1, 1}, 4}};       // single neighbour
  for (const auto& c : cases) {
    CaseTable table = OneColumn(c.neighbourCodes);
    KNNCatPredictionSummary summary(0, &c.frequencies, table.Rows());
    std::vector<int32_t> order(c.neighbourCodes.size());
    std::iota(order.begin(), order.end(), 0);
    KNNNeighborList list = MakeList(order);
    const std::vector<double>& p = summary.Predict(table.Row(0), list);
    ASSERT_EQ(p.size(), c.frequencies.size() + 1);
    EXPECT_EQ(p.back(), c.expected);
  }
}

// Only PredictEachK counts, and only valid actual codes; a prediction's code is truncated before it
// is compared.
TEST(CategoricalSummary, ConfusionAndErrors) {
  CaseTable table = OneColumn({1, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  const std::vector<unsigned> freq{1, 2};
  KNNCatPredictionSummary summary(0, &freq, table.Rows());
  KNNNeighborList list = MakeList({0, 1, 2});
  for (double actual : {0.0, 0.0, -1.0, 2.0}) summary.PredictEachK(&actual, list);
  summary.Predict(table.Row(2), list);
  KNNConfusionTable confusion;
  summary.GetConfusion(confusion);
  EXPECT_EQ(confusion, (KNNConfusionTable{{0, 2}, {0, 0}}));
  double acc = 0.0;  // counts the right ones
  for (const auto& [actual, code] : {std::pair(1.0, 1.0), {1.0, 1.7}, {0.0, 1.0}, {0.0, 1.7}})
    EXPECT_TRUE(summary.AddError(&actual, {0.4, 0.6, code}, acc).IsOK());
  EXPECT_EQ(acc, 2.0);
}

// Laplace probabilities from the votes (2, 1, 0, 0) of k = 3 over four categories; the
// median of an even count is the middle pair's mean.
TEST(PredictionSummary, LaplaceProbabilitiesAndMedian) {
  CaseTable codes = OneColumn({0, 1, 0}), values = OneColumn({1, 5, 2, 8, 100});
  const std::vector<unsigned> freq{1, 1, 1, 1};
  KNNCatPredictionSummary cat(0, &freq, codes.Rows());
  KNNContPredictionSummary median(0, 1, values.Rows());
  KNNNeighborList three = MakeList({0, 1, 2}), four = MakeList({0, 1, 2, 3});
  EXPECT_EQ(cat.Predict(codes.Row(0), three),
            (std::vector<double>{3.0 / 7, 2.0 / 7, 1.0 / 7, 1.0 / 7, 0.0}));
  EXPECT_DOUBLE_EQ(median.Predict(values.Row(0), three)[0], 2.0);  // 1 2 5
  EXPECT_DOUBLE_EQ(median.Predict(values.Row(0), four)[0], 3.5);   // 1 2 | 5 8
}

// Every K from one neighbour list: the one-pass accumulation must give bit for bit the
// numbers of one full prediction per k (the base class's loop), including lists shorter
// than K, and stop at the same K with the same sums when a square overflows.
long ExpectSameEachK(KNNPredictionSummary& summary, const double* query,
                     const KNNNeighborList& list, int32_t minK, int32_t maxK) {
  const size_t nK = size_t(maxK - minK + 1);
  std::vector<double> fast(nK, 0.5), plain(nK, 0.5);
  KNNNeighborList fastList = list, plainList = list;
  const long code = summary.AddErrorEachK(query, fastList, minK, maxK, fast.data()).GetErrorCode();
  EXPECT_EQ(code,
            summary.KNNPredictionSummary::AddErrorEachK(query, plainList, minK, maxK, plain.data())
                .GetErrorCode());
  EXPECT_EQ(fastList.count, plainList.count);
  for (size_t j = 0; j < nK; ++j) EXPECT_EQ(fast[j], plain[j]) << "K = " << minK + int32_t(j);
  return code;
}

TEST(AddErrorEachK, EqualsOnePredictionPerKForEveryPredictorAndListLength) {
  // Column 0 a code in -1..4 (codes outside 0..3 exist in the data but not in the vote),
  // column 1 a value from a small set so that medians meet equal values, or 1e300 whose
  // square (and that of a mean or median with it) overflows.
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> code(-1, 4), value(0, 20), pick(0, 39);
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < 40; ++i) {
    const int v = value(random);
    rows.push_back({double(code(random)), v == 20 ? 1e300 : 0.25 * (v % 7) - 0.5});
  }
  CaseTable cases(std::move(rows));
  const std::vector<unsigned> frequencies{5, 9, 9, 2};  // codes 1 and 2 tie on frequency
  KNNCatPredictionSummary cat(0, &frequencies, cases.Rows());
  KNNContPredictionSummary mean(1, 0, cases.Rows()), median(1, 1, cases.Rows());
  const std::pair<int32_t, int32_t> ranges[] = {{1, 1}, {1, 10}, {3, 8}, {5, 12}, {6, 9}};
  int overflows = 0;
  for (const auto& [minK, maxK] : ranges) {
    // Shorter than minK, inside the range, and exactly or more than maxK neighbours.
    for (int32_t found = 1; found <= maxK + 2; ++found) {
      for (int trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE(::testing::Message() << "K " << minK << ".." << maxK << ", found " << found);
        std::vector<int32_t> picked;
        for (int32_t i = 0; i < found; ++i) picked.push_back(pick(random));
        const KNNNeighborList list = MakeList(picked, std::max(maxK, found));
        ExpectSameEachK(cat, cases.Row(size_t(trial)), list, minK, maxK);
        for (KNNContPredictionSummary* s : {&mean, &median}) {
          overflows += ExpectSameEachK(*s, cases.Row(size_t(trial)), list, minK, maxK) ==
                       KNNStatus::kSquaredErrorFailed;
        }
      }
    }
  }
  EXPECT_GT(overflows, 0);
}

}  // namespace
