#include "predict/knn_prediction_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <memory>
#include <numeric>
#include <random>

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

// ---------------------------------------------------------------------------------------
// Categorical vote

struct VoteCase {
  const char* name;
  std::vector<double> neighbourCodes;  // response code of each neighbour, nearest first
  std::vector<unsigned> frequencies;   // training count per category
  int expected;
};

void PrintTo(const VoteCase& c, std::ostream* os) {
  *os << c.name;
}

class CategoricalVoteTest : public ::testing::TestWithParam<VoteCase> {};

TEST_P(CategoricalVoteTest, PredictsWinnerWithTieRules) {
  const VoteCase& c = GetParam();
  CaseTable table = OneColumn(c.neighbourCodes);
  KNNCatPredictionSummary summary(0, &c.frequencies, table.Rows());
  std::vector<int32_t> cases(c.neighbourCodes.size());
  std::iota(cases.begin(), cases.end(), 0);
  KNNNeighborList list = MakeList(cases);
  const std::vector<double>& p = summary.Predict(table.Row(0), list);
  ASSERT_EQ(p.size(), c.frequencies.size() + 1);
  EXPECT_EQ(p.back(), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    TieRules, CategoricalVoteTest,
    ::testing::Values(
        VoteCase{"majority beats frequency", {2, 2, 0}, {9, 1, 1}, 2},
        VoteCase{"two-two tie goes to the larger training count", {1, 3, 3, 1}, {0, 4, 0, 6}, 3},
        VoteCase{
            "two-two tie with equal counts goes to the lower code", {3, 1, 1, 3}, {0, 5, 0, 5}, 1},
        VoteCase{"three-way tie: lowest code among the most frequent", {2, 1, 0}, {5, 2, 5}, 0},
        VoteCase{"frequency decides among winners only", {1, 2}, {100, 3, 4}, 2},
        VoteCase{"single neighbour", {4}, {1, 1, 1, 1, 1}, 4}),
    [](const ::testing::TestParamInfo<VoteCase>& info) {
      return "case" + std::to_string(info.index);
    });

TEST(CategoricalSummary, LaplaceProbabilitiesFromVotes) {
  // k = 3, four categories, votes (2, 1, 0, 0).
  CaseTable table = OneColumn({0, 1, 0});
  const std::vector<unsigned> freq{1, 1, 1, 1};
  KNNCatPredictionSummary summary(0, &freq, table.Rows());
  KNNNeighborList list = MakeList({0, 1, 2});
  const std::vector<double>& p = summary.Predict(table.Row(0), list);
  ASSERT_EQ(p.size(), 5u);
  EXPECT_DOUBLE_EQ(p[0], 3.0 / 7.0);
  EXPECT_DOUBLE_EQ(p[1], 2.0 / 7.0);
  EXPECT_DOUBLE_EQ(p[2], 1.0 / 7.0);
  EXPECT_DOUBLE_EQ(p[3], 1.0 / 7.0);
  EXPECT_EQ(p[4], 0.0);
  EXPECT_NEAR(p[0] + p[1] + p[2] + p[3], 1.0, 1e-15);
}

TEST(CategoricalSummary, PredictEachKMatchesPredictAtEveryK) {
  // Codes chosen so that the winner changes with k and ties occur at even k.
  CaseTable table = OneColumn({2, 0, 0, 2, 1, 1, 1, 2});
  const std::vector<unsigned> freq{3, 2, 7};
  KNNCatPredictionSummary eachK(0, &freq, table.Rows());
  KNNCatPredictionSummary single(0, &freq, table.Rows());
  const std::vector<int32_t> cases{0, 1, 2, 3, 4, 5, 6, 7};
  KNNNeighborList list = MakeList(cases);
  const double query[] = {0.0};  // actual code 0
  const std::vector<double> v = eachK.PredictEachK(query, list);
  ASSERT_EQ(v.size(), 3u + cases.size());
  EXPECT_EQ(list.count, 8) << "count restored";
  for (int32_t k = 1; k <= 8; ++k) {
    KNNNeighborList partial = MakeList(std::vector<int32_t>(cases.begin(), cases.begin() + k));
    const std::vector<double>& p = single.Predict(query, partial);
    EXPECT_EQ(v[static_cast<size_t>(2 + k)], p.back()) << "k = " << k;
    if (k == 8) {
      for (size_t c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(v[c], p[c]) << "probability " << c;
    }
  }
}

TEST(CategoricalSummary, ConfusionCountsOnlyValidActualCodes) {
  CaseTable table = OneColumn({1, 1, 0});
  const std::vector<unsigned> freq{1, 2};
  KNNCatPredictionSummary summary(0, &freq, table.Rows());
  KNNNeighborList list = MakeList({0, 1, 2});
  const double actual0[] = {0.0};
  const double actualMissing[] = {-1.0};
  const double actualTooLarge[] = {2.0};
  summary.PredictEachK(actual0, list);
  summary.PredictEachK(actual0, list);
  summary.PredictEachK(actualMissing, list);
  summary.PredictEachK(actualTooLarge, list);
  KNNConfusionTable confusion;
  summary.GetConfusion(confusion);
  const KNNConfusionTable expected{{0, 2}, {0, 0}};
  EXPECT_EQ(confusion, expected);
  // Predict never counts.
  summary.Predict(actual0, list);
  summary.GetConfusion(confusion);
  EXPECT_EQ(confusion, expected);
  summary.ResetCounts();
  summary.GetConfusion(confusion);
  EXPECT_EQ(confusion, (KNNConfusionTable{{0, 0}, {0, 0}}));
}

TEST(CategoricalSummary, ErrorIsMisclassificationRateOverAllCases) {
  std::vector<double> codes(10, 0.0);
  CaseTable ten = OneColumn(codes);
  const std::vector<unsigned> freq{10};
  KNNCatPredictionSummary summary(0, &freq, ten.Rows());
  EXPECT_DOUBLE_EQ(summary.ErrorValue(7.0), 0.3);

  CaseTable hundred = OneColumn(std::vector<double>(100, 0.0));
  KNNCatPredictionSummary large(0, &freq, hundred.Rows());
  // One fold's accumulator is still divided by every stored case.
  EXPECT_DOUBLE_EQ(large.ErrorValue(7.0), 0.93);
}

TEST(CategoricalSummary, AddErrorCountsTruncatedMatches) {
  CaseTable table = OneColumn({1});
  const std::vector<unsigned> freq{1, 1};
  KNNCatPredictionSummary summary(0, &freq, table.Rows());
  double acc = 0.0;
  const double actual1[] = {1.0};
  const double actual0[] = {0.0};
  EXPECT_TRUE(summary.AddError(actual1, {0.4, 0.6, 1.0}, acc).IsOK());
  EXPECT_TRUE(summary.AddError(actual0, {0.4, 0.6, 1.0}, acc).IsOK());
  EXPECT_TRUE(summary.AddError(actual1, {0.4, 0.6, 1.7}, acc).IsOK());
  EXPECT_EQ(acc, 2.0);
}

// ---------------------------------------------------------------------------------------
// Continuous

TEST(ContinuousSummary, MeanAndMedianOfEvenAndOddK) {
  CaseTable table = OneColumn({1, 5, 2, 8, 100});
  KNNContPredictionSummary mean(0, 0, table.Rows());
  KNNContPredictionSummary median(0, 1, table.Rows());
  KNNNeighborList four = MakeList({0, 1, 2, 3});
  EXPECT_DOUBLE_EQ(mean.Predict(table.Row(0), four)[0], 4.0);
  EXPECT_DOUBLE_EQ(median.Predict(table.Row(0), four)[0], 3.5);
  KNNNeighborList five = MakeList({0, 1, 2, 3, 4});
  EXPECT_DOUBLE_EQ(median.Predict(table.Row(0), five)[0], 5.0);
  EXPECT_DOUBLE_EQ(mean.Predict(table.Row(0), five)[0], 116.0 / 5.0);
}

TEST(ContinuousSummary, PredictEachKMatchesPredictAtEveryK) {
  CaseTable table = OneColumn({0.3, -2.5, 7.0, 7.0, 1.25, -0.1, 3.3});
  const std::vector<int32_t> cases{6, 0, 3, 1, 5, 2, 4};
  for (uint32_t useMedian : {0u, 1u}) {
    KNNContPredictionSummary eachK(0, useMedian, table.Rows());
    KNNContPredictionSummary single(0, useMedian, table.Rows());
    KNNNeighborList list = MakeList(cases);
    const std::vector<double> v = eachK.PredictEachK(table.Row(0), list);
    ASSERT_EQ(v.size(), cases.size());
    EXPECT_EQ(list.count, 7);
    for (int32_t k = 1; k <= 7; ++k) {
      KNNNeighborList partial = MakeList(std::vector<int32_t>(cases.begin(), cases.begin() + k));
      EXPECT_EQ(v[static_cast<size_t>(k - 1)], single.Predict(table.Row(0), partial)[0])
          << "median " << useMedian << " k " << k;
    }
  }
}

TEST(ContinuousSummary, AddErrorSumsSquaresAndRejectsOverflow) {
  CaseTable table = OneColumn({1.0});
  KNNContPredictionSummary summary(0, 0, table.Rows());
  double acc = 0.0;
  const double actual[] = {1.0};
  EXPECT_TRUE(summary.AddError(actual, {2.0}, acc).IsOK());
  EXPECT_TRUE(summary.AddError(actual, {4.0}, acc).IsOK());
  EXPECT_DOUBLE_EQ(acc, 10.0);
  EXPECT_DOUBLE_EQ(summary.ErrorValue(acc), 10.0);
  const VelCommon::VelStatus s = summary.AddError(actual, {1e200}, acc);
  EXPECT_TRUE(s.IsError());
  EXPECT_EQ(s.GetErrorCode(), KNNStatus::kSquaredErrorFailed);
  EXPECT_DOUBLE_EQ(acc, 10.0) << "accumulator unchanged";
}

TEST(ContinuousSummary, GetConfusionLeavesArgumentUntouched) {
  CaseTable table = OneColumn({1.0});
  KNNContPredictionSummary summary(0, 0, table.Rows());
  KNNConfusionTable table2{{1, 2}, {3, 4}};
  summary.GetConfusion(table2);
  EXPECT_EQ(table2, (KNNConfusionTable{{1, 2}, {3, 4}}));
}

TEST(CreatePredictionSummary, ChoosesClassAndMeasure) {
  CaseTable table = OneColumn({1.0, 3.0});
  const std::vector<unsigned> freq{1, 1, 0, 1};
  std::unique_ptr<KNNPredictionSummary> cat(
      CreatePredictionSummary(false, 0, 0, 1, &freq, table.Rows()));
  auto* catSummary = dynamic_cast<KNNCatPredictionSummary*>(cat.get());
  ASSERT_NE(catSummary, nullptr);
  EXPECT_EQ(catSummary->CategoryCount(), 4);
  EXPECT_EQ(catSummary->CaseCount(), 2);

  // Any non-zero function code selects the median.
  std::unique_ptr<KNNPredictionSummary> cont(
      CreatePredictionSummary(true, 7, 0, 1, nullptr, table.Rows()));
  auto* contSummary = dynamic_cast<KNNContPredictionSummary*>(cont.get());
  ASSERT_NE(contSummary, nullptr);
  EXPECT_TRUE(contSummary->UsesMedian());
}

// ---------------------------------------------------------------------------------------
// Every K from one neighbour list: the one-pass accumulation must give exactly the numbers
// of one full prediction per k (the base class's loop), including lists shorter than K.

struct EachKRange {
  int32_t minK;
  int32_t maxK;
};

// Rows: column 0 a code in -1..4 (codes outside 0..3 exist in the data but not in the
// vote), column 1 a value from a small set so that medians meet equal values.
CaseTable RandomCases(std::mt19937& random, int n) {
  std::uniform_int_distribution<int> code(-1, 4);
  std::uniform_int_distribution<int> value(0, 6);
  std::vector<std::vector<double>> table;
  for (int i = 0; i < n; ++i) table.push_back({double(code(random)), 0.25 * value(random) - 0.5});
  return CaseTable(std::move(table));
}

KNNNeighborList RandomList(std::mt19937& random, int n, int32_t found, int32_t capacity) {
  std::uniform_int_distribution<int> pick(0, n - 1);
  std::vector<int32_t> cases;
  for (int32_t i = 0; i < found; ++i) cases.push_back(pick(random));
  return MakeList(cases, std::max(capacity, found));
}

// Runs both paths on copies of the same list and accumulators and compares them bit for bit.
void ExpectSameEachK(KNNPredictionSummary& summary, const double* query,
                     const KNNNeighborList& list, EachKRange range) {
  const size_t nK = static_cast<size_t>(range.maxK - range.minK + 1);
  std::vector<double> fast(nK, 0.5);
  std::vector<double> plain(nK, 0.5);
  KNNNeighborList fastList = list;
  KNNNeighborList plainList = list;
  const VelCommon::VelStatus fastStatus =
      summary.AddErrorEachK(query, fastList, range.minK, range.maxK, fast.data());
  const VelCommon::VelStatus plainStatus = summary.KNNPredictionSummary::AddErrorEachK(
      query, plainList, range.minK, range.maxK, plain.data());
  EXPECT_EQ(fastStatus.GetErrorCode(), plainStatus.GetErrorCode());
  EXPECT_EQ(fastList.count, plainList.count);
  for (size_t j = 0; j < nK; ++j) {
    EXPECT_EQ(fast[j], plain[j]) << "K = " << range.minK + int32_t(j);
  }
}

TEST(AddErrorEachK, EqualsOnePredictionPerKForEveryPredictorAndListLength) {
  std::mt19937 random(20240611);
  const int n = 40;
  CaseTable cases = RandomCases(random, n);
  const std::vector<unsigned> frequencies{5, 9, 9, 2};  // codes 1 and 2 tie on frequency
  KNNCatPredictionSummary cat(0, &frequencies, cases.Rows());
  KNNContPredictionSummary mean(1, 0, cases.Rows());
  KNNContPredictionSummary median(1, 1, cases.Rows());
  const std::vector<EachKRange> ranges{{1, 1}, {1, 10}, {3, 8}, {5, 12}, {6, 9}};
  for (const EachKRange range : ranges) {
    // Shorter than minK, inside the range, and exactly or more than maxK neighbours.
    for (int32_t found = 1; found <= range.maxK + 2; ++found) {
      for (int trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE("K " + std::to_string(range.minK) + ".." + std::to_string(range.maxK) +
                     ", found " + std::to_string(found));
        const KNNNeighborList list = RandomList(random, n, found, range.maxK);
        const double* query = cases.Row(static_cast<size_t>(trial));
        ExpectSameEachK(cat, query, list, range);
        ExpectSameEachK(mean, query, list, range);
        ExpectSameEachK(median, query, list, range);
      }
    }
  }
}

TEST(AddErrorEachK, OverflowStopsAtTheSameKWithTheSameSums) {
  // From k = 2 on, mean and median both reach 1e299 or more, whose square overflows.
  CaseTable cases = OneColumn({1.0, 1e300, 1e300, 4.0, 0.0});
  const KNNNeighborList list = MakeList({0, 1, 2, 3}, 6);
  for (const uint32_t median : {0u, 1u}) {
    SCOPED_TRACE(median != 0 ? "median" : "mean");
    KNNContPredictionSummary summary(0, median, cases.Rows());
    ExpectSameEachK(summary, cases.Row(4), list, {1, 6});
    std::vector<double> sums(6, 0.0);
    KNNNeighborList copy = list;
    EXPECT_EQ(summary.AddErrorEachK(cases.Row(4), copy, 1, 6, sums.data()).GetErrorCode(),
              KNNStatus::kSquaredErrorFailed);
    EXPECT_EQ(sums[0], 1.0);  // k = 1: (1 - 0)^2
  }
}

TEST(AddErrorEachK, CategoricalCountsHitsPerK) {
  // Neighbour codes 1, 0, 0, 2 for a case of code 0: k = 1 wrong, k = 2 a 1-1 tie won by
  // the more frequent code 0, k = 3 right, k = 4 right; K = 5, 6 reuse all four.
  CaseTable cases = OneColumn({1, 0, 0, 2, 0});
  const std::vector<unsigned> frequencies{4, 1, 1};
  KNNCatPredictionSummary cat(0, &frequencies, cases.Rows());
  KNNNeighborList list = MakeList({0, 1, 2, 3}, 6);
  std::vector<double> hits(6, 0.0);
  ASSERT_TRUE(cat.AddErrorEachK(cases.Row(4), list, 1, 6, hits.data()).IsOK());
  EXPECT_EQ(hits, (std::vector<double>{0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(list.count, 4);
}

}  // namespace
