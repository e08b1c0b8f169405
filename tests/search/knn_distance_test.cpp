#include "search/knn_distance.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "host/vel_missing.h"

namespace {

struct TermCase {
  const char* name;
  bool euclidean;
  double diff;
  double weight;
  bool squared;
  double expected;
};

class DistanceTermTest : public ::testing::TestWithParam<TermCase> {};

TEST_P(DistanceTermTest, ComputesTheColumnTerm) {
  const TermCase& c = GetParam();
  KNNEuclideanDis euclidean;
  KNNCityblockDis cityblock;
  const KNNDistance& metric = c.euclidean ? static_cast<const KNNDistance&>(euclidean) : cityblock;
  double term = -123.0;
  const VelCommon::VelStatus status = metric.ComputeTerm(c.diff, c.weight, c.squared, term);
  EXPECT_TRUE(status.IsOK()) << c.name;
  EXPECT_EQ(term, c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Terms, DistanceTermTest,
    ::testing::Values(TermCase{"euclid_zero", true, 0.0, 1.0, true, 0.0},
                      TermCase{"euclid_square", true, -3.0, 1.0, true, 9.0},
                      TermCase{"euclid_weighted_square", true, -3.0, 2.0, true, 18.0},
                      // Not squared: the weighted difference itself, sign kept.
                      TermCase{"euclid_plain", true, -3.0, 2.0, false, -6.0},
                      TermCase{"euclid_category_mismatch", true, 2.0, 1.0, false, 2.0},
                      TermCase{"city_squared_flag", false, -3.0, 2.0, true, 6.0},
                      TermCase{"city_plain_flag", false, -3.0, 2.0, false, 6.0},
                      TermCase{"city_category_mismatch", false, 2.0, 1.0, false, 2.0},
                      TermCase{"city_zero_weight", false, 5.0, 0.0, true, 0.0}),
    [](const ::testing::TestParamInfo<TermCase>& info) { return std::string(info.param.name); });

TEST(DistanceFailureTest, EuclideanSquareThatCannotBeFormedIs200064) {
  KNNEuclideanDis metric;
  const double unusable[] = {VelMV::gMissingValue, 1e200, -1e300,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()};
  for (double diff : unusable) {
    double term = 0.0;
    const VelCommon::VelStatus status = metric.ComputeTerm(diff, 3.0, true, term);
    EXPECT_TRUE(status.IsError()) << diff;
    EXPECT_EQ(status.GetErrorCode(), 200064) << diff;
    // The output is left at the weight.
    EXPECT_EQ(term, 3.0) << diff;
  }
}

TEST(DistanceFailureTest, CityblockNeverFails) {
  KNNCityblockDis metric;
  double term = 0.0;
  EXPECT_TRUE(metric.ComputeTerm(1e200, 1e200, true, term).IsOK());
  EXPECT_TRUE(metric.ComputeTerm(VelMV::gMissingValue, 1.0, true, term).IsOK());
  EXPECT_EQ(term, DBL_MAX);
}

TEST(DistanceFinalTest, FinalDistanceAndWeightedDifference) {
  KNNEuclideanDis euclidean;
  KNNCityblockDis cityblock;
  EXPECT_EQ(euclidean.FinalDistance(0.0, 1.0), 0.0);
  EXPECT_EQ(cityblock.FinalDistance(0.0, 1.0), 0.0);
  EXPECT_EQ(euclidean.FinalDistance(2.0, 1.0), std::sqrt(2.0));
  EXPECT_EQ(euclidean.FinalDistance(16.0, 0.5), 2.0);
  EXPECT_EQ(cityblock.FinalDistance(2.0, 1.0), 2.0);
  EXPECT_EQ(cityblock.FinalDistance(3.0, 2.0), 6.0);
  // Scaled by sqrt(w) for Euclidean, by w for city block.
  EXPECT_EQ(euclidean.WeightedDifference(5.0, 2.0, 4.0), 6.0);
  EXPECT_EQ(cityblock.WeightedDifference(5.0, 2.0, 4.0), 12.0);
  EXPECT_EQ(euclidean.WeightedDifference(2.0, 5.0, 9.0), -9.0);
}

}  // namespace
