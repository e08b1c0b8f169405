// Scales, "nice" axis ticks, tick-label layout and histogram binning for the report charts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace knnreport {

// Maps a data interval onto a pixel interval. An empty data interval maps every value to
// the middle of the pixel interval, so a constant series still draws.
class LinearScale {
 public:
  LinearScale() = default;
  LinearScale(double domainLow, double domainHigh, double rangeLow, double rangeHigh);

  double operator()(double value) const;
  double DomainLow() const { return domainLow_; }
  double DomainHigh() const { return domainHigh_; }
  double RangeLow() const { return rangeLow_; }
  double RangeHigh() const { return rangeHigh_; }

 private:
  double domainLow_ = 0.0;
  double domainHigh_ = 1.0;
  double rangeLow_ = 0.0;
  double rangeHigh_ = 1.0;
};

// Ticks at multiples of a 1-2-5 step. low/high are the step multiples that enclose the data,
// so an axis drawn over [low, high] starts and ends on a tick.
struct Ticks {
  double low = 0.0;
  double high = 1.0;
  double step = 1.0;
  std::vector<double> values;
};

// The smallest 1, 2 or 5 times a power of ten that is at least `raw` (raw > 0).
double NiceStepAtLeast(double raw);

// Ticks covering [dataLow, dataHigh] with at most maxTicks values (at least 2 are asked
// for). With integerOnly the step is at least 1. A zero-width interval is widened around
// its value; non-finite input gives the ticks of [0, 1].
Ticks NiceTicks(double dataLow, double dataHigh, int maxTicks, bool integerOnly = false);

// Rough rendered width of a label in the report's sans-serif font.
double EstimateTextWidth(const std::string& text, double fontSize);

// How the labels of one axis are placed: every `stride`-th label is written, rotated by
// 45 degrees when `rotate`. `extent` is the space the labels need across the axis.
struct TickLabelPlan {
  std::size_t stride = 1;
  bool rotate = false;
  double extent = 0.0;
};

// Chooses the plan for labels centred at the given positions (ascending pixels) on a
// horizontal axis. Labels that would overlap are first thinned (numeric axes) or rotated
// and then thinned (category axes, allowRotate).
TickLabelPlan PlanTickLabels(const std::vector<double>& centres,
                             const std::vector<std::string>& labels, double fontSize,
                             bool allowRotate);

// Equal-width histogram bins over nice edges. edges has counts.size() + 1 entries; bin i
// holds values in [edges[i], edges[i+1]), the last bin also its upper edge.
struct Histogram {
  std::vector<double> edges;
  std::vector<std::size_t> counts;
};

// Bins the finite values (others are ignored) into at most maxBins bins.
Histogram MakeHistogram(const std::vector<double>& values, int maxBins);

}  // namespace knnreport
