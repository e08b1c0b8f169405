#include "report/svg_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace knnreport {
namespace {

bool IsOneTwoFive(double step) {
  const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  return std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
         std::fabs(mantissa - 5) < 1e-9;
}

TEST(NiceTicksTest, CoverTheDataWithFewEvenlySpacedNiceValues) {
  for (const auto& [raw, step] : {std::pair{1.0, 1.0}, {1.01, 2.0}, {2.2, 5.0}, {450.0, 500.0}})
    EXPECT_NEAR(NiceStepAtLeast(raw), step, step * 1e-12);
  const struct {
    double low, high;
    int maxTicks, integerOnly;
  } cases[] = {{0, 1, 6, 0},          {0.12, 0.38, 6, 0},     {-15, 25, 5, 0},
               {3, 5, 15, 1},         {0.0467, 0.0533, 6, 0}, {1, 30, 8, 1},
               {-1e6, 3e6, 7, 0},     {1e-9, 3e-9, 4, 0},     {120.5, 65.25, 6, 0},
               {-3.7, -3.6, 3, 0},    {2, 2, 5, 0},           {0, 0, 5, 1},
               {-1e299, 1e299, 6, 0}, {1e15, 1e15 + .5, 6, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.low << ".." << c.high << " max " << c.maxTicks);
    const Ticks t = NiceTicks(c.low, c.high, c.maxTicks, c.integerOnly == 1);
    ASSERT_GE(t.values.size(), 2u);
    EXPECT_LE(t.values.size(), static_cast<std::size_t>(c.maxTicks));
    EXPECT_TRUE(IsOneTwoFive(t.step)) << t.step;
    EXPECT_TRUE(!c.integerOnly || t.step >= 1.0);
    EXPECT_TRUE(t.low <= std::min(c.low, c.high) && t.high >= std::max(c.low, c.high));
    EXPECT_DOUBLE_EQ(t.values.front(), t.low);
    EXPECT_DOUBLE_EQ(t.values.back(), t.high);
    for (std::size_t i = 0; i < t.values.size(); ++i) {
      EXPECT_NEAR(t.values[i] / t.step, std::round(t.values[i] / t.step), 1e-6) << t.values[i];
      EXPECT_TRUE(i == 0 || std::fabs(t.values[i] - t.values[i - 1] - t.step) <= t.step * 1e-6);
    }
  }
  EXPECT_EQ(NiceTicks(3.0, 5.0, 15, true).values, (std::vector<double>{3.0, 4.0, 5.0}));
  // Zero never shows up as -0 or as 1e-17; broken input gives the ticks of [0, 1].
  const Ticks around = NiceTicks(-0.3, 0.3, 7);
  EXPECT_EQ(std::count_if(around.values.begin(), around.values.end(),
                          [](double v) { return v == 0.0 && !std::signbit(v); }),
            1);
  const Ticks broken = NiceTicks(std::nan(""), 1.0, 5);
  EXPECT_TRUE(broken.values.front() == 0.0 && broken.values.back() == 1.0);
}

TEST(HistogramTest, CountsEveryFiniteValueOnceInABoundedNumberOfNiceBins) {
  const Histogram h = MakeHistogram({0.0, 0.5, 1.0, 1.5, 2.0}, 20);
  EXPECT_EQ(h.edges, (std::vector<double>{0.0, 0.5, 1.0, 1.5, 2.0}));
  EXPECT_EQ(h.counts, (std::vector<std::size_t>{1, 1, 1, 2}));  // the maximum joins the last bin
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> many;
  for (int i = 0; i < 5000; ++i) many.push_back(std::sin(i) * 100.0);
  const struct {
    std::vector<double> values;
    int maxBins;
    std::size_t counted;
  } cases[] = {{{-15, -10, 5, 5, 20, 25, nan, std::numeric_limits<double>::infinity()}, 20, 6},
               {{-1e308, 1e308}, 10, 2},
               {{1e16, 1e16 + 2, 1e16 + 4}, 10, 3},
               {many, 12, 5000},
               {{5, 5, 5}, 10, 3},
               {{}, 10, 0},
               {{nan}, 10, 0},
               {{1e308}, 10, 1}};
  for (const auto& c : cases) {
    const Histogram r = MakeHistogram(c.values, c.maxBins);
    EXPECT_LE(r.counts.size(), static_cast<std::size_t>(c.maxBins));
    EXPECT_EQ(std::accumulate(r.counts.begin(), r.counts.end(), std::size_t{0}), c.counted);
    EXPECT_EQ(r.edges.size(), r.counts.empty() ? 0 : r.counts.size() + 1);
  }
}

}  // namespace
}  // namespace knnreport
