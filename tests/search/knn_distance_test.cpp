#include "search/knn_distance.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

#include "host/vel_missing.h"

namespace {

TEST(DistanceTest, ColumnTerms) {
  const KNNEuclideanDis euclidean;
  const KNNCityblockDis cityblock;
  const struct {
    bool euclidean;
    double diff, weight;
    bool squared;
    double expected;
  } cases[] = {{true, 0.0, 1.0, true, 0.0},    {true, -3.0, 1.0, true, 9.0},
               {true, -3.0, 2.0, true, 18.0},  {true, -3.0, 2.0, false, -6.0},  // sign kept
               {true, 2.0, 1.0, false, 2.0},   {false, -3.0, 2.0, true, 6.0},
               {false, -3.0, 2.0, false, 6.0}, {false, 2.0, 1.0, false, 2.0},
               {false, 5.0, 0.0, true, 0.0},   {false, VelMV::gMissingValue, 1.0, true, DBL_MAX}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.euclidean ? "euclidean " : "cityblock ") << c.diff
                                      << " weight " << c.weight << " squared " << c.squared);
    const KNNDistance& metric =
        c.euclidean ? static_cast<const KNNDistance&>(euclidean) : cityblock;
    double term = -123.0;
    EXPECT_TRUE(metric.ComputeTerm(c.diff, c.weight, c.squared, term).IsOK());
    EXPECT_EQ(term, c.expected);
  }
}

// A square that cannot be formed is error 200064, and the output is left at the weight.
TEST(DistanceTest, EuclideanSquareThatCannotBeFormedIs200064) {
  const KNNEuclideanDis metric;
  for (double diff : {VelMV::gMissingValue, 1e200, -1e300, std::numeric_limits<double>::quiet_NaN(),
                      std::numeric_limits<double>::infinity()}) {
    double term = 0.0;
    EXPECT_EQ(metric.ComputeTerm(diff, 3.0, true, term).GetErrorCode(), 200064) << diff;
    EXPECT_EQ(term, 3.0) << diff;
  }
}

}  // namespace
