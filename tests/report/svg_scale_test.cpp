#include "report/svg_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace knnreport {
namespace {

bool IsOneTwoFive(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double mantissa = step / power;
  for (const double allowed : {1.0, 2.0, 5.0}) {
    if (std::fabs(mantissa - allowed) < 1e-9) return true;
  }
  return false;
}

TEST(LinearScaleTest, MapsEndpointsInteriorAndInvertedRanges) {
  const LinearScale x(0.0, 10.0, 100.0, 300.0);
  EXPECT_DOUBLE_EQ(x(0.0), 100.0);
  EXPECT_DOUBLE_EQ(x(10.0), 300.0);
  EXPECT_DOUBLE_EQ(x(2.5), 150.0);
  EXPECT_DOUBLE_EQ(x(-5.0), 0.0);              // extrapolates, no clamping
  const LinearScale y(0.1, 0.4, 250.0, 20.0);  // an SVG y axis grows downwards
  EXPECT_DOUBLE_EQ(y(0.1), 250.0);
  EXPECT_DOUBLE_EQ(y(0.4), 20.0);
  EXPECT_GT(y(0.2), y(0.3));
  const LinearScale flat(5.0, 5.0, 0.0, 80.0);
  EXPECT_DOUBLE_EQ(flat(5.0), 40.0);
  EXPECT_DOUBLE_EQ(flat(123.0), 40.0);
}

TEST(NiceTicksTest, StepsRoundUpToOneTwoFive) {
  const std::pair<double, double> cases[] = {{0.3, 0.5},       {1.0, 1.0},     {1.01, 2.0},
                                             {2.2, 5.0},       {7.0, 10.0},    {0.0012, 0.002},
                                             {0.3 / 3.0, 0.1}, {450.0, 500.0}, {5e-7, 5e-7}};
  for (const auto& [raw, expected] : cases) {
    EXPECT_NEAR(NiceStepAtLeast(raw), expected, expected * 1e-12) << raw;
  }
}

TEST(NiceTicksTest, CoverTheDataWithFewEvenlySpacedNiceValues) {
  struct Case {
    double low;
    double high;
    int maxTicks;
    bool integerOnly;
  };
  const Case cases[] = {{0, 1, 6, false},           {0.12, 0.38, 6, false},
                        {-15, 25, 5, false},        {3, 5, 15, true},
                        {0.0467, 0.0533, 6, false}, {1, 30, 8, true},
                        {1, 3, 10, true},           {-1e6, 3e6, 7, false},
                        {1e-9, 3e-9, 4, false},     {120.5, 65.25, 6, false},
                        {2, 2, 5, false},           {0, 0, 5, true},
                        {-3.7, -3.6, 3, false},     {1e15, 1e15 + 0.5, 6, false},
                        {-1e299, 1e299, 6, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.low << ".." << c.high << " max " << c.maxTicks);
    const Ticks t = NiceTicks(c.low, c.high, c.maxTicks, c.integerOnly);
    ASSERT_GE(t.values.size(), 2u);
    EXPECT_LE(t.values.size(), static_cast<std::size_t>(c.maxTicks));
    EXPECT_TRUE(IsOneTwoFive(t.step)) << t.step;
    if (c.integerOnly) {
      EXPECT_GE(t.step, 1.0);
    }
    EXPECT_LE(t.low, std::min(c.low, c.high));
    EXPECT_GE(t.high, std::max(c.low, c.high));
    EXPECT_DOUBLE_EQ(t.values.front(), t.low);
    EXPECT_DOUBLE_EQ(t.values.back(), t.high);
    for (std::size_t i = 0; i < t.values.size(); ++i) {
      const double multiple = t.values[i] / t.step;
      EXPECT_NEAR(multiple, std::round(multiple), 1e-6) << t.values[i];
      if (i > 0) {
        EXPECT_NEAR(t.values[i] - t.values[i - 1], t.step, t.step * 1e-6);
      }
    }
  }
}

TEST(NiceTicksTest, KnownRangesZeroAndBrokenInput) {
  EXPECT_EQ(NiceTicks(3.0, 5.0, 15, true).values, (std::vector<double>{3.0, 4.0, 5.0}));
  const Ticks errors = NiceTicks(0.12, 0.38, 6);
  EXPECT_DOUBLE_EQ(errors.step, 0.1);
  EXPECT_DOUBLE_EQ(errors.low, 0.1);
  EXPECT_DOUBLE_EQ(errors.high, 0.4);
  // Zero never shows up as -0 or as 1e-17.
  const Ticks around = NiceTicks(-0.3, 0.3, 7);
  EXPECT_EQ(std::count_if(around.values.begin(), around.values.end(),
                          [](double v) { return v == 0.0 && !std::signbit(v); }),
            1);
  const Ticks broken = NiceTicks(std::nan(""), 1.0, 5);
  EXPECT_EQ(broken.values.front(), 0.0);
  EXPECT_EQ(broken.values.back(), 1.0);
}

// Checks that consecutive written labels do not overlap, with the same width estimate.
void ExpectWrittenLabelsApart(const std::vector<double>& centres,
                              const std::vector<std::string>& labels, const TickLabelPlan& plan,
                              double fontSize) {
  for (std::size_t i = 0; i + plan.stride < centres.size(); i += plan.stride) {
    const double gap = centres[i + plan.stride] - centres[i];
    const double need = plan.rotate ? fontSize * 1.5
                                    : (EstimateTextWidth(labels[i], fontSize) +
                                       EstimateTextWidth(labels[i + plan.stride], fontSize)) /
                                          2.0;
    EXPECT_GE(gap, need) << "labels " << i << " and " << i + plan.stride;
  }
}

TEST(TickLabelPlanTest, ThinsNumericLabelsAndRotatesCategoryLabels) {
  std::vector<double> wide;
  std::vector<std::string> shortLabels;
  for (int i = 0; i < 5; ++i) wide.push_back(100.0 * i), shortLabels.push_back(std::to_string(i));
  const TickLabelPlan roomy = PlanTickLabels(wide, shortLabels, 12.0, true);
  EXPECT_EQ(roomy.stride, 1u);
  EXPECT_FALSE(roomy.rotate);

  std::vector<double> tight;
  std::vector<std::string> numbers;
  for (int i = 0; i < 30; ++i)
    tight.push_back(12.0 * i), numbers.push_back(std::to_string(1000 * i));
  const TickLabelPlan thinned = PlanTickLabels(tight, numbers, 12.0, false);
  EXPECT_GT(thinned.stride, 1u);
  EXPECT_FALSE(thinned.rotate);
  ExpectWrittenLabelsApart(tight, numbers, thinned, 12.0);

  std::vector<double> features;
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i) {
    features.push_back(60.0 * i);
    names.push_back("petal_length_in_cm_" + std::to_string(i));
  }
  const TickLabelPlan rotated = PlanTickLabels(features, names, 12.0, true);
  EXPECT_TRUE(rotated.rotate);
  EXPECT_EQ(rotated.stride, 1u);
  EXPECT_GT(rotated.extent, EstimateTextWidth(names[0], 12.0) * 0.7)
      << "rotated labels need room below the axis";

  std::vector<double> packed;
  for (int i = 0; i < 8; ++i) packed.push_back(8.0 * i);
  const TickLabelPlan both = PlanTickLabels(packed, names, 12.0, true);
  EXPECT_TRUE(both.rotate);
  EXPECT_GT(both.stride, 1u);
  ExpectWrittenLabelsApart(packed, names, both, 12.0);
}

TEST(HistogramTest, CountsEveryFiniteValueOnceInNiceBins) {
  const Histogram h = MakeHistogram({0.0, 0.5, 1.0, 1.5, 2.0}, 20);
  EXPECT_EQ(h.edges, (std::vector<double>{0.0, 0.5, 1.0, 1.5, 2.0}));
  EXPECT_EQ(h.counts, (std::vector<std::size_t>{1, 1, 1, 2}));  // the maximum joins the last bin

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> mixed = {-15, -10, 5,   5,
                                     20,  25,  nan, std::numeric_limits<double>::infinity()};
  const Histogram r = MakeHistogram(mixed, 20);
  EXPECT_EQ(std::accumulate(r.counts.begin(), r.counts.end(), std::size_t{0}), 6u);
  ASSERT_EQ(r.edges.size(), r.counts.size() + 1);
  EXPECT_LE(r.edges.front(), -15.0);
  EXPECT_GE(r.edges.back(), 25.0);

  const Histogram same = MakeHistogram({5, 5, 5}, 10);
  ASSERT_FALSE(same.counts.empty());
  EXPECT_EQ(std::count(same.counts.begin(), same.counts.end(), 3u), 1);

  EXPECT_TRUE(MakeHistogram({}, 10).counts.empty());
  // Extreme magnitudes still give a bounded set of bins holding every value.
  for (const std::vector<double>& extreme :
       {std::vector<double>{1e308}, std::vector<double>{-1e308, 1e308},
        std::vector<double>{1e16, 1e16 + 2.0, 1e16 + 4.0}}) {
    const Histogram e = MakeHistogram(extreme, 10);
    EXPECT_LE(e.counts.size(), 10u);
    EXPECT_EQ(std::accumulate(e.counts.begin(), e.counts.end(), std::size_t{0}), extreme.size());
  }
  EXPECT_TRUE(MakeHistogram({nan}, 10).edges.empty());

  std::vector<double> many;
  for (int i = 0; i < 5000; ++i) many.push_back(std::sin(i) * 100.0);
  const Histogram capped = MakeHistogram(many, 12);
  EXPECT_LE(capped.counts.size(), 12u);
  EXPECT_EQ(std::accumulate(capped.counts.begin(), capped.counts.end(), std::size_t{0}), 5000u);
}

}  // namespace
}  // namespace knnreport
