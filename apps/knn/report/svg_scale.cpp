#include "report/svg_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "report/svg_format.h"

namespace knnreport {

LinearScale::LinearScale(double domainLow, double domainHigh, double rangeLow, double rangeHigh)
    : domainLow_(domainLow), domainHigh_(domainHigh), rangeLow_(rangeLow), rangeHigh_(rangeHigh) {}

double LinearScale::operator()(double value) const {
  const double span = domainHigh_ - domainLow_;
  if (span == 0.0 || !std::isfinite(span)) return (rangeLow_ + rangeHigh_) / 2.0;
  return rangeLow_ + (value - domainLow_) / span * (rangeHigh_ - rangeLow_);
}

double NiceStepAtLeast(double raw) {
  if (!(raw > 0.0) || !std::isfinite(raw)) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double mantissa : {1.0, 2.0, 5.0, 10.0}) {
    // The tolerance keeps 0.3 / 3 (= 0.09999...) from stepping up to 0.2.
    if (mantissa * power >= raw * (1.0 - 1e-9)) return mantissa * power;
  }
  return 10.0 * power;
}

namespace {

double NextNiceStep(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double mantissa = std::round(step / power);
  if (mantissa < 2.0) return 2.0 * power;
  if (mantissa < 5.0) return 5.0 * power;
  return 10.0 * power;
}

Ticks TicksForStep(double low, double high, double step) {
  Ticks ticks;
  ticks.step = step;
  const double first = std::floor(low / step + 1e-9);
  const double last = std::ceil(high / step - 1e-9);
  ticks.low = first * step;
  ticks.high = last * step;
  // Counted with an integer: at large magnitudes first + 1 may equal first.
  const double count = std::clamp(last - first, 0.0, 1000.0);
  for (int j = 0; j <= static_cast<int>(count); ++j) {
    double value = j == static_cast<int>(count) ? ticks.high : (first + j) * step;
    if (std::fabs(value) < step * 1e-9) value = 0.0;
    ticks.values.push_back(value);
  }
  return ticks;
}

}  // namespace

Ticks NiceTicks(double dataLow, double dataHigh, int maxTicks, bool integerOnly) {
  if (!std::isfinite(dataLow) || !std::isfinite(dataHigh)) dataLow = 0.0, dataHigh = 1.0;
  if (dataLow > dataHigh) std::swap(dataLow, dataHigh);
  // Keeps every span and step below finite overflow.
  constexpr double kLimit = 1e300;
  dataLow = std::clamp(dataLow, -kLimit, kLimit);
  dataHigh = std::clamp(dataHigh, -kLimit, kLimit);
  if (dataLow == dataHigh) {
    const double pad = dataLow == 0.0 ? 1.0 : std::fabs(dataLow) * 0.1;
    dataLow -= integerOnly ? std::max(pad, 1.0) : pad;
    dataHigh += integerOnly ? std::max(pad, 1.0) : pad;
  }
  maxTicks = std::max(maxTicks, 2);
  double step = NiceStepAtLeast((dataHigh - dataLow) / (maxTicks - 1));
  if (integerOnly) step = std::max(step, 1.0);
  // Far from zero a small step is below the doubles' resolution; ticks would repeat.
  const double magnitude = std::max(std::fabs(dataLow), std::fabs(dataHigh));
  if (magnitude > 0.0) step = std::max(step, NiceStepAtLeast(magnitude * 1e-12));
  // Extending to whole steps can add a tick at each end; widen the step until it fits.
  for (int guard = 0; guard < 64; ++guard) {
    const double count = std::ceil(dataHigh / step - 1e-9) - std::floor(dataLow / step + 1e-9) + 1;
    if (count <= maxTicks) break;
    step = NextNiceStep(step);
  }
  return TicksForStep(dataLow, dataHigh, step);
}

double EstimateTextWidth(const std::string& text, double fontSize) {
  // Average advance of a proportional sans-serif face: narrow enough for lower case,
  // generous for digits and capitals.
  return static_cast<double>(CodePointCount(text)) * fontSize * 0.6;
}

TickLabelPlan PlanTickLabels(const std::vector<double>& centres,
                             const std::vector<std::string>& labels, double fontSize,
                             bool allowRotate) {
  TickLabelPlan plan;
  const std::size_t n = std::min(centres.size(), labels.size());
  const double padding = fontSize * 0.5;
  double widest = 0.0;
  for (std::size_t i = 0; i < n; ++i)
    widest = std::max(widest, EstimateTextWidth(labels[i], fontSize));
  plan.extent = fontSize * 1.3;
  if (n < 2) return plan;

  // Smallest stride at which every pair of written neighbours keeps its labels apart.
  const auto fits = [&](std::size_t stride, bool rotated) {
    for (std::size_t i = 0; i + stride < n; i += stride) {
      const double gap = centres[i + stride] - centres[i];
      // A label rotated by 45 degrees occupies about its line height / sin(45) along the axis.
      const double need = rotated ? fontSize * 1.5 + padding
                                  : (EstimateTextWidth(labels[i], fontSize) +
                                     EstimateTextWidth(labels[i + stride], fontSize)) /
                                            2.0 +
                                        padding;
      if (gap < need) return false;
    }
    return true;
  };
  if (fits(1, false)) return plan;
  const bool rotate = allowRotate;
  std::size_t stride = rotate ? 1 : 2;
  while (stride < n && !fits(stride, rotate)) ++stride;
  plan.stride = stride;
  plan.rotate = rotate;
  if (rotate) plan.extent = widest * std::sqrt(0.5) + fontSize * 1.3;
  return plan;
}

Histogram MakeHistogram(const std::vector<double>& values, int maxBins) {
  Histogram histogram;
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  std::size_t finite = 0;
  for (const double v : values) {
    if (!std::isfinite(v)) continue;
    low = std::min(low, v);
    high = std::max(high, v);
    ++finite;
  }
  if (finite == 0) return histogram;
  maxBins = std::max(maxBins, 1);
  // Sturges' rule, capped: enough bins to show a shape, few enough to stay readable.
  const int wanted = std::clamp(
      static_cast<int>(std::ceil(std::log2(static_cast<double>(finite)))) + 1, 1, maxBins);
  const Ticks ticks = NiceTicks(low, high, wanted + 1);
  if (ticks.values.size() < 2) return histogram;
  histogram.edges = ticks.values;
  const std::size_t bins = histogram.edges.size() - 1;
  histogram.counts.assign(bins, 0);
  for (const double v : values) {
    if (!std::isfinite(v)) continue;
    double position = std::floor((v - ticks.low) / ticks.step + 1e-9);
    if (!std::isfinite(position)) position = 0.0;
    const double last = static_cast<double>(bins - 1);
    histogram.counts[static_cast<std::size_t>(std::clamp(position, 0.0, last))] += 1;
  }
  return histogram;
}

}  // namespace knnreport
