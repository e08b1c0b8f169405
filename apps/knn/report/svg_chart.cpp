#include "report/svg_chart.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <system_error>

#include "report/svg_format.h"

namespace knnreport {
namespace {

constexpr double kTickFont = 12.0;
constexpr double kTitleFont = 13.0;
constexpr const char* kAxisColour = "#444";
constexpr const char* kGridColour = "#e2e2e2";
constexpr const char* kMarkColour = "#9e1b1b";
constexpr std::size_t kMaxLabelChars = 28;

struct Range {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Add(double v) {
    if (!std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  bool Empty() const { return low > high; }
};

double WidestLabel(const std::vector<std::string>& labels, double fontSize) {
  double widest = 0.0;
  for (const auto& label : labels) widest = std::max(widest, EstimateTextWidth(label, fontSize));
  return widest;
}

std::vector<std::string> ShortLabels(const std::vector<std::string>& labels) {
  std::vector<std::string> shortened;
  shortened.reserve(labels.size());
  for (const auto& label : labels) shortened.push_back(Ellipsize(label, kMaxLabelChars));
  return shortened;
}

// Ticks of a y axis and the width their labels need.
double YLabelWidth(const Ticks& ticks) {
  double widest = 0.0;
  for (const double v : ticks.values) {
    widest = std::max(widest, EstimateTextWidth(FormatTick(v, ticks.step), kTickFont));
  }
  return widest;
}

void DrawVerticalMark(SvgBuilder& svg, double px, double top, double bottom,
                      const std::string& label, double chartWidth) {
  svg.Line(px, top, px, bottom, kMarkColour, 1.5, "rule", "5 3");
  if (label.empty()) return;
  const double half = EstimateTextWidth(label, kTickFont) / 2.0;
  const double centre = std::clamp(px, half + 2.0, chartWidth - half - 2.0);
  svg.Text(centre, top - 5, label, "middle", kTickFont, "mark-label", 0.0, kMarkColour, true);
}

// The plot area starts right of the y tick labels and the rotated y title; reservedRight
// keeps room for a legend.
void PlaceFrame(PlotFrame& frame, double width, double reservedRight) {
  frame.width = width;
  frame.left = YLabelWidth(frame.yTicks) + 10.0 + 24.0;
  frame.top = 22.0;
  frame.plotWidth = std::max(120.0, width - frame.left - 16.0 - reservedRight);
}

// Once the x labels are planned, the room below the plot (labels and x title) is known.
void FinishFrame(PlotFrame& frame, double height, double minPlotHeight) {
  const double bottom = 8.0 + frame.xPlan.extent + 26.0;
  frame.plotHeight = std::max(minPlotHeight, height - frame.top - bottom);
  frame.height = frame.top + frame.plotHeight + bottom;
  frame.y = LinearScale(frame.yTicks.low, frame.yTicks.high, frame.Bottom(), frame.top);
}

// Gridlines and the y axis, then beneathXAxis (bars, so the axis line stays on top of them),
// the x axis and the mark when markFits.
void DrawAxes(SvgBuilder& svg, const PlotFrame& frame, const PlotSpec& spec, bool markFits,
              const std::function<void()>& beneathXAxis = {}) {
  const double bottom = frame.Bottom();
  const double right = frame.Right();
  for (const double v : frame.yTicks.values) {
    const double py = frame.y(v);
    svg.Line(frame.left, py, right, py, kGridColour, 1.0, "gridline");
    svg.Text(frame.left - 8, py + 4, FormatTick(v, frame.yTicks.step), "end", kTickFont,
             "tick-label y");
  }
  svg.Line(frame.left, frame.y.RangeHigh(), frame.left, frame.y.RangeLow(), kAxisColour, 1.0,
           "axis");
  const double middle = (frame.y.RangeLow() + frame.y.RangeHigh()) / 2.0;
  svg.Text(14.0, middle, spec.yLabel, "middle", kTitleFont, "axis-title", -90.0);

  if (beneathXAxis) beneathXAxis();

  svg.Line(frame.left, bottom, right, bottom, kAxisColour, 1.0, "axis");
  const TickLabelPlan& plan = frame.xPlan;
  for (std::size_t i = 0; i < frame.xTickValues.size(); ++i) {
    const double px = frame.x(frame.xTickValues[i]);
    svg.Line(px, bottom, px, bottom + 5, kAxisColour, 1.0, "tick");
    if (i % plan.stride != 0 || i >= frame.xTickLabels.size()) continue;
    if (plan.rotate) {
      svg.Text(px + 4, bottom + 14, frame.xTickLabels[i], "end", kTickFont, "tick-label x", -45.0);
    } else {
      svg.Text(px, bottom + 18, frame.xTickLabels[i], "middle", kTickFont, "tick-label x");
    }
  }
  svg.Text((frame.left + right) / 2.0, frame.height - 8.0, spec.xLabel, "middle", kTitleFont,
           "axis-title");

  if (markFits && spec.markX && std::isfinite(*spec.markX)) {
    DrawVerticalMark(svg, frame.x(*spec.markX), frame.top, bottom, spec.markLabel, frame.width);
  }
}

// Blues from almost white to dark navy: lightness falls monotonically, so the order of the
// shades survives grey-scale printing.
std::string ShadeFor(double share) {
  static constexpr std::array<std::array<int, 3>, 9> kStops = {{{247, 251, 255},
                                                                {222, 235, 247},
                                                                {198, 219, 239},
                                                                {158, 202, 225},
                                                                {107, 174, 214},
                                                                {66, 146, 198},
                                                                {33, 113, 181},
                                                                {8, 81, 156},
                                                                {8, 48, 107}}};
  if (!std::isfinite(share)) share = 0.0;
  share = std::clamp(share, 0.0, 1.0);
  const double position = share * (kStops.size() - 1);
  const auto index = std::min(static_cast<std::size_t>(position), kStops.size() - 2);
  const double t = position - static_cast<double>(index);
  char text[8];
  int rgb[3];
  for (int c = 0; c < 3; ++c) {
    rgb[c] = static_cast<int>(
        std::lround(kStops[index][c] + (kStops[index + 1][c] - kStops[index][c]) * t));
  }
  static constexpr char kHex[] = "0123456789abcdef";
  text[0] = '#';
  for (int c = 0; c < 3; ++c) {
    text[1 + 2 * c] = kHex[rgb[c] / 16];
    text[2 + 2 * c] = kHex[rgb[c] % 16];
  }
  return std::string(text, 7);
}

}  // namespace

std::string Coord(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  std::string text(buffer, result.ptr);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";
  return text;
}

SvgBuilder::SvgBuilder(double width, double height, std::string idPrefix, const std::string& title)
    : width_(width), height_(height), idPrefix_(std::move(idPrefix)), title_(title) {}

void SvgBuilder::Line(double x1, double y1, double x2, double y2, const std::string& stroke,
                      double strokeWidth, const std::string& cssClass, const std::string& dash) {
  body_ += "<line";
  if (!cssClass.empty()) body_ += " class=\"" + EscapeXml(cssClass) + "\"";
  body_ += " x1=\"" + Coord(x1) + "\" y1=\"" + Coord(y1) + "\" x2=\"" + Coord(x2) + "\" y2=\"" +
           Coord(y2) + "\" stroke=\"" + EscapeXml(stroke) + "\" stroke-width=\"" +
           Coord(strokeWidth) + "\"";
  if (!dash.empty()) body_ += " stroke-dasharray=\"" + EscapeXml(dash) + "\"";
  body_ += "/>\n";
}

void SvgBuilder::Rect(double x, double y, double width, double height, const std::string& fill,
                      const std::string& cssClass, const std::string& stroke, double strokeWidth) {
  body_ += "<rect";
  if (!cssClass.empty()) body_ += " class=\"" + EscapeXml(cssClass) + "\"";
  body_ += " x=\"" + Coord(x) + "\" y=\"" + Coord(y) + "\" width=\"" + Coord(std::max(width, 0.0)) +
           "\" height=\"" + Coord(std::max(height, 0.0)) + "\" fill=\"" + EscapeXml(fill) + "\"";
  if (!stroke.empty()) {
    body_ += " stroke=\"" + EscapeXml(stroke) + "\" stroke-width=\"" + Coord(strokeWidth) + "\"";
  }
  body_ += "/>\n";
}

void SvgBuilder::Polyline(const std::vector<double>& xs, const std::vector<double>& ys,
                          const std::string& stroke, double strokeWidth, const std::string& dash,
                          const std::string& cssClass) {
  std::string points;
  for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
    if (!points.empty()) points += ' ';
    points += Coord(xs[i]) + "," + Coord(ys[i]);
  }
  body_ += "<polyline class=\"" + EscapeXml(cssClass) + "\" points=\"" + points +
           "\" fill=\"none\" stroke=\"" + EscapeXml(stroke) + "\" stroke-width=\"" +
           Coord(strokeWidth) + "\" stroke-linejoin=\"round\"";
  if (!dash.empty()) body_ += " stroke-dasharray=\"" + EscapeXml(dash) + "\"";
  body_ += "/>\n";
}

void SvgBuilder::Marker(int shape, double x, double y, double size, const std::string& colour,
                        const std::string& cssClass) {
  const double h = size / 2.0;
  const std::string head = "<";
  const std::string cls = " class=\"" + EscapeXml(cssClass) + "\"";
  const std::string fill = " fill=\"" + EscapeXml(colour) + "\"";
  const std::string hollow =
      " fill=\"#fff\" stroke=\"" + EscapeXml(colour) + "\" stroke-width=\"2\"";
  switch (shape) {
    case 1:
      body_ += "<rect" + cls + " x=\"" + Coord(x - h) + "\" y=\"" + Coord(y - h) + "\" width=\"" +
               Coord(size) + "\" height=\"" + Coord(size) + "\"" + fill + "/>\n";
      break;
    case 2:
      body_ += "<polygon" + cls + " points=\"" + Coord(x) + "," + Coord(y - h * 1.15) + " " +
               Coord(x + h * 1.1) + "," + Coord(y + h * 0.85) + " " + Coord(x - h * 1.1) + "," +
               Coord(y + h * 0.85) + "\"" + fill + "/>\n";
      break;
    case 3:
      body_ += "<polygon" + cls + " points=\"" + Coord(x) + "," + Coord(y - h * 1.3) + " " +
               Coord(x + h * 1.3) + "," + Coord(y) + " " + Coord(x) + "," + Coord(y + h * 1.3) +
               " " + Coord(x - h * 1.3) + "," + Coord(y) + "\"" + fill + "/>\n";
      break;
    case 4:
      body_ += "<rect" + cls + " x=\"" + Coord(x - h) + "\" y=\"" + Coord(y - h) + "\" width=\"" +
               Coord(size) + "\" height=\"" + Coord(size) + "\"" + hollow + "/>\n";
      break;
    case 5:
      body_ += "<circle" + cls + " cx=\"" + Coord(x) + "\" cy=\"" + Coord(y) + "\" r=\"" +
               Coord(h) + "\"" + hollow + "/>\n";
      break;
    default:
      body_ += "<circle" + cls + " cx=\"" + Coord(x) + "\" cy=\"" + Coord(y) + "\" r=\"" +
               Coord(h) + "\"" + fill + "/>\n";
  }
}

void SvgBuilder::Text(double x, double y, const std::string& text, const std::string& anchor,
                      double fontSize, const std::string& cssClass, double rotateDegrees,
                      const std::string& fill, bool bold) {
  body_ += "<text";
  if (!cssClass.empty()) body_ += " class=\"" + EscapeXml(cssClass) + "\"";
  body_ += " x=\"" + Coord(x) + "\" y=\"" + Coord(y) + "\" font-size=\"" + Coord(fontSize) +
           "\" text-anchor=\"" + EscapeXml(anchor) + "\" fill=\"" + EscapeXml(fill) + "\"";
  if (bold) body_ += " font-weight=\"bold\"";
  if (rotateDegrees != 0.0) {
    body_ +=
        " transform=\"rotate(" + Coord(rotateDegrees) + " " + Coord(x) + " " + Coord(y) + ")\"";
  }
  body_ += ">" + EscapeXml(text) + "</text>\n";
}

std::string SvgBuilder::HatchPattern(const std::string& name, const std::string& colour) {
  const std::string id = idPrefix_ + "-" + name;
  defs_ += "<pattern id=\"" + EscapeXml(id) +
           "\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#fff\"/>"
           "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"" +
           EscapeXml(colour) + "\" stroke-width=\"3\"/></pattern>\n";
  return "url(#" + id + ")";
}

std::string SvgBuilder::Finish() const {
  const std::string titleId = idPrefix_ + "-title";
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" +
                    Coord(width_) + "\" height=\"" + Coord(height_) + "\" viewBox=\"0 0 " +
                    Coord(width_) + " " + Coord(height_) + "\" role=\"img\" aria-labelledby=\"" +
                    EscapeXml(titleId) + "\" font-family=\"sans-serif\">\n<title id=\"" +
                    EscapeXml(titleId) + "\">" + EscapeXml(title_) + "</title>\n";
  if (!defs_.empty()) out += "<defs>\n" + defs_ + "</defs>\n";
  out += body_;
  out += "</svg>\n";
  return out;
}

SeriesStyle StyleForSeries(std::size_t index, std::size_t count, bool emphasised) {
  static constexpr std::array<const char*, 6> kColours = {"#6b8fb8", "#b07a3b", "#7e9f62",
                                                          "#9a6fa6", "#5fa3a3", "#a8a8a8"};
  static constexpr std::array<const char*, 4> kDashes = {"", "6 3", "2 3", "8 3 2 3"};
  SeriesStyle style;
  if (emphasised || count == 1) {
    style.colour = "#0b2f5b";
    style.width = 3.0;
    style.marker = 0;
    return style;
  }
  style.colour = kColours[index % kColours.size()];
  style.dash = kDashes[index % kDashes.size()];
  style.marker = static_cast<int>(1 + index % 3);  // square, triangle, diamond
  style.width = 1.5;
  return style;
}

LineChartLayout LayoutLineChart(const LineChartSpec& spec) {
  LineChartLayout layout;
  Range xs;
  Range ys;
  for (const auto& series : spec.series) {
    for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i) {
      if (!std::isfinite(series.x[i]) || !std::isfinite(series.y[i])) continue;
      xs.Add(series.x[i]);
      ys.Add(series.y[i]);
    }
  }
  if (ys.Empty()) ys.Add(0.0), ys.Add(1.0);
  if (xs.Empty()) xs.Add(0.0), xs.Add(1.0);
  layout.yTicks = NiceTicks(ys.low, ys.high, 6);

  double legendWidth = 0.0;
  if (spec.legend) {
    std::vector<std::string> names;
    for (const auto& series : spec.series) names.push_back(series.name);
    if (!spec.specialX.empty()) names.push_back(spec.specialLabel);
    legendWidth = WidestLabel(ShortLabels(names), kTickFont) + 44.0;
  }
  PlaceFrame(layout, spec.width, legendWidth);
  layout.legendX = layout.Right() + 16.0;
  const double right = layout.Right();

  if (!spec.xCategories.empty()) {
    const double n = static_cast<double>(spec.xCategories.size());
    layout.x = LinearScale(-0.5, n - 0.5, layout.left, right);
    layout.xTickLabels = ShortLabels(spec.xCategories);
    for (std::size_t i = 0; i < spec.xCategories.size(); ++i) {
      layout.xTickValues.push_back(static_cast<double>(i));
    }
  } else {
    const int maxTicks = std::clamp(static_cast<int>(layout.plotWidth / 45.0), 2, 15);
    const Ticks ticks = NiceTicks(xs.low, xs.high, maxTicks, spec.integerX);
    if (spec.integerX) {
      layout.x = LinearScale(xs.low - 0.5, xs.high + 0.5, layout.left, right);
      for (const double v : ticks.values) {
        if (v >= xs.low - 0.5 && v <= xs.high + 0.5) layout.xTickValues.push_back(v);
      }
    } else {
      layout.x = LinearScale(ticks.low, ticks.high, layout.left, right);
      layout.xTickValues = ticks.values;
    }
    for (const double v : layout.xTickValues)
      layout.xTickLabels.push_back(FormatTick(v, ticks.step));
  }
  std::vector<double> centres;
  for (const double v : layout.xTickValues) centres.push_back(layout.x(v));
  layout.xPlan = PlanTickLabels(centres, layout.xTickLabels, kTickFont, !spec.xCategories.empty());

  double minPlotHeight = 120.0;
  if (spec.legend) {
    const double entries =
        static_cast<double>(spec.series.size() + (spec.specialX.empty() ? 0 : 1));
    minPlotHeight = std::max(minPlotHeight, entries * 16.0);
  }
  FinishFrame(layout, spec.height, minPlotHeight);
  return layout;
}

std::string RenderLineChart(const LineChartSpec& spec, const std::string& idPrefix) {
  const LineChartLayout layout = LayoutLineChart(spec);
  SvgBuilder svg(layout.width, layout.height, idPrefix, spec.title);
  DrawAxes(svg, layout, spec, true);

  // Emphasised series last, so it is drawn on top of the others.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < spec.series.size(); ++i) {
    if (!spec.series[i].emphasised) order.push_back(i);
  }
  for (std::size_t i = 0; i < spec.series.size(); ++i) {
    if (spec.series[i].emphasised) order.push_back(i);
  }
  for (const std::size_t s : order) {
    const Series& series = spec.series[s];
    const SeriesStyle style = StyleForSeries(s, spec.series.size(), series.emphasised);
    std::vector<double> px;
    std::vector<double> py;
    for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i) {
      if (!std::isfinite(series.x[i]) || !std::isfinite(series.y[i])) continue;
      px.push_back(layout.x(series.x[i]));
      py.push_back(layout.y(series.y[i]));
    }
    svg.Polyline(px, py, style.colour, style.width, style.dash, "series");
    std::size_t point = 0;
    for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i) {
      if (!std::isfinite(series.x[i]) || !std::isfinite(series.y[i])) continue;
      const bool special =
          std::find(spec.specialX.begin(), spec.specialX.end(), series.x[i]) != spec.specialX.end();
      const double size = series.emphasised || spec.series.size() == 1 ? 8.0 : 6.0;
      svg.Marker(special ? 4 : style.marker, px[point], py[point], special ? size + 2 : size,
                 style.colour, special ? "mark special" : "mark");
      ++point;
    }
  }

  if (spec.legend) {
    double y = layout.top + 6.0;
    for (std::size_t s = 0; s < spec.series.size(); ++s) {
      const SeriesStyle style = StyleForSeries(s, spec.series.size(), spec.series[s].emphasised);
      svg.Line(layout.legendX, y, layout.legendX + 22, y, style.colour, style.width, "legend-line",
               style.dash);
      svg.Marker(style.marker, layout.legendX + 11, y, 6.0, style.colour, "legend-mark");
      svg.Text(layout.legendX + 28, y + 4, Ellipsize(spec.series[s].name, kMaxLabelChars), "start",
               kTickFont, "legend", 0.0, "#222", spec.series[s].emphasised);
      y += 16.0;
    }
    if (!spec.specialX.empty()) {
      svg.Marker(4, layout.legendX + 11, y, 8.0, "#444", "legend-mark");
      svg.Text(layout.legendX + 28, y + 4, Ellipsize(spec.specialLabel, kMaxLabelChars), "start",
               kTickFont, "legend");
    }
  }
  return svg.Finish();
}

BarChartLayout LayoutBarChart(const BarChartSpec& spec) {
  BarChartLayout layout;
  layout.width = spec.width;
  const double labelWidth = WidestLabel(ShortLabels(spec.categories), kTickFont) + 14.0;
  layout.left = std::clamp(labelWidth, 60.0, spec.width * 0.45);
  const double seriesCount = static_cast<double>(std::max<std::size_t>(spec.series.size(), 1));
  layout.barHeight = 14.0;
  layout.groupHeight = seriesCount * layout.barHeight + 10.0;
  layout.top = spec.series.size() > 1 ? 28.0 : 8.0;
  Range values;
  values.Add(0.0);
  for (const auto& series : spec.series) {
    for (const double v : series.values) values.Add(v);
  }
  if (values.high == values.low) values.Add(1.0);
  layout.ticks = NiceTicks(values.low, values.high, 6);
  const double plotWidth = std::max(100.0, spec.width - layout.left - 60.0);
  layout.x = LinearScale(layout.ticks.low, layout.ticks.high, layout.left, layout.left + plotWidth);
  layout.height =
      layout.top + layout.groupHeight * static_cast<double>(spec.categories.size()) + 48.0;
  return layout;
}

std::string RenderBarChart(const BarChartSpec& spec, const std::string& idPrefix) {
  const BarChartLayout layout = LayoutBarChart(spec);
  SvgBuilder svg(layout.width, layout.height, idPrefix, spec.title);
  const double plotBottom =
      layout.top + layout.groupHeight * static_cast<double>(spec.categories.size());
  const double right = layout.x.RangeHigh();
  for (const double v : layout.ticks.values) {
    const double px = layout.x(v);
    svg.Line(px, layout.top, px, plotBottom, kGridColour, 1.0, "gridline");
    svg.Text(px, plotBottom + 18, FormatTick(v, layout.ticks.step), "middle", kTickFont,
             "tick-label x");
  }
  svg.Line(layout.left, plotBottom, right, plotBottom, kAxisColour, 1.0, "axis");
  svg.Text((layout.left + right) / 2.0, layout.height - 8.0, spec.valueLabel, "middle", kTitleFont,
           "axis-title");

  std::vector<std::string> fills;
  for (std::size_t s = 0; s < spec.series.size(); ++s) {
    if (s == 0) {
      fills.push_back("#2f5f8f");
    } else if (s == 1) {
      fills.push_back(svg.HatchPattern("hatch", "#1b3a57"));
    } else {
      fills.push_back(s % 2 == 0 ? "#a6c8e0" : "#cfcfcf");
    }
  }
  if (spec.series.size() > 1) {
    double lx = layout.left;
    for (std::size_t s = 0; s < spec.series.size(); ++s) {
      svg.Rect(lx, 8, 14, 12, fills[s], "legend-swatch", "#1b3a57", 1.0);
      svg.Text(lx + 20, 18, spec.series[s].name, "start", kTickFont, "legend");
      lx += 20 + EstimateTextWidth(spec.series[s].name, kTickFont) + 24;
    }
  }
  const double zero = layout.x(0.0);
  for (std::size_t c = 0; c < spec.categories.size(); ++c) {
    const double groupTop = layout.top + layout.groupHeight * static_cast<double>(c) + 5.0;
    const double centre = groupTop + layout.barHeight * static_cast<double>(spec.series.size()) / 2;
    svg.Text(layout.left - 8, centre + 4, Ellipsize(spec.categories[c], kMaxLabelChars), "end",
             kTickFont, "category-label");
    for (std::size_t s = 0; s < spec.series.size(); ++s) {
      if (c >= spec.series[s].values.size()) continue;
      const double v = spec.series[s].values[c];
      if (!std::isfinite(v)) continue;
      const double end = layout.x(v);
      const double y = groupTop + layout.barHeight * static_cast<double>(s);
      svg.Rect(std::min(zero, end), y + 1, std::fabs(end - zero), layout.barHeight - 2, fills[s],
               "bar", "#1b3a57", 0.75);
      svg.Text(std::max(zero, end) + 4, y + layout.barHeight - 3, FormatNumber(v, 3), "start", 11.0,
               "bar-value");
    }
  }
  svg.Line(zero, layout.top, zero, plotBottom, kAxisColour, 1.0, "axis");
  return svg.Finish();
}

double HeatMapShare(const HeatMapSpec& spec, std::size_t row, std::size_t column) {
  if (row >= spec.values.size() || column >= spec.values[row].size()) return 0.0;
  double total = 0.0;
  for (const double v : spec.values[row]) {
    if (std::isfinite(v) && v > 0.0) total += v;
  }
  const double v = spec.values[row][column];
  if (total <= 0.0 || !std::isfinite(v) || v <= 0.0) return 0.0;
  return v / total;
}

HeatMapLayout LayoutHeatMap(const HeatMapSpec& spec) {
  HeatMapLayout layout;
  layout.rows = spec.rowLabels.size();
  layout.columns = spec.columnLabels.size();
  const double largest =
      static_cast<double>(std::max<std::size_t>({layout.rows, layout.columns, 1}));
  layout.cell = std::clamp(360.0 / largest, 22.0, 64.0);
  layout.left = 26.0 + WidestLabel(ShortLabels(spec.rowLabels), kTickFont) + 12.0;
  std::vector<double> centres;
  for (std::size_t c = 0; c < layout.columns; ++c) {
    centres.push_back(layout.left + layout.cell * (static_cast<double>(c) + 0.5));
  }
  const auto columnLabels = ShortLabels(spec.columnLabels);
  layout.columnPlan = PlanTickLabels(centres, columnLabels, kTickFont, true);
  layout.top = 24.0 + layout.columnPlan.extent + 6.0;
  double side = 0.0;
  if (!spec.sideHeader.empty() || !spec.sideTexts.empty()) {
    side = EstimateTextWidth(spec.sideHeader, kTickFont);
    for (const auto& text : spec.sideTexts)
      side = std::max(side, EstimateTextWidth(text, kTickFont));
    side += 24.0;
  }
  const double overhang =
      layout.columnPlan.rotate ? WidestLabel(columnLabels, kTickFont) * 0.72 : 0;
  layout.width = layout.left + layout.cell * static_cast<double>(layout.columns) +
                 std::max(side, overhang) + 12.0;
  layout.height = layout.top + layout.cell * static_cast<double>(layout.rows) + 12.0;
  return layout;
}

std::string RenderHeatMap(const HeatMapSpec& spec, const std::string& idPrefix) {
  const HeatMapLayout layout = LayoutHeatMap(spec);
  SvgBuilder svg(layout.width, layout.height, idPrefix, spec.title);
  const double gridRight = layout.left + layout.cell * static_cast<double>(layout.columns);
  const double gridBottom = layout.top + layout.cell * static_cast<double>(layout.rows);
  svg.Text((layout.left + gridRight) / 2.0, 14, spec.columnAxisLabel, "middle", kTitleFont,
           "axis-title");
  svg.Text(14, (layout.top + gridBottom) / 2.0, spec.rowAxisLabel, "middle", kTitleFont,
           "axis-title", -90.0);
  const auto columnLabels = ShortLabels(spec.columnLabels);
  for (std::size_t c = 0; c < layout.columns; ++c) {
    if (c % layout.columnPlan.stride != 0) continue;
    const double cx = layout.left + layout.cell * (static_cast<double>(c) + 0.5);
    if (layout.columnPlan.rotate) {
      svg.Text(cx - 4, layout.top - 6, columnLabels[c], "start", kTickFont, "tick-label x", -45.0);
    } else {
      svg.Text(cx, layout.top - 8, columnLabels[c], "middle", kTickFont, "tick-label x");
    }
  }
  const double fontSize = std::min(13.0, layout.cell * 0.36);
  for (std::size_t r = 0; r < layout.rows; ++r) {
    const double y = layout.top + layout.cell * static_cast<double>(r);
    svg.Text(layout.left - 8, y + layout.cell / 2 + 4, Ellipsize(spec.rowLabels[r], kMaxLabelChars),
             "end", kTickFont, "tick-label y");
    for (std::size_t c = 0; c < layout.columns; ++c) {
      const double x = layout.left + layout.cell * static_cast<double>(c);
      const double share = HeatMapShare(spec, r, c);
      const bool diagonal = r == c;
      svg.Rect(x, y, layout.cell, layout.cell, ShadeFor(share), diagonal ? "cell diagonal" : "cell",
               diagonal ? "#000" : "#fff", diagonal ? 2.0 : 1.0);
      const double v = r < spec.values.size() && c < spec.values[r].size()
                           ? spec.values[r][c]
                           : std::numeric_limits<double>::quiet_NaN();
      const std::string ink = share > 0.5 ? "#fff" : "#111";
      const bool twoLines = layout.cell >= 40.0 && share > 0.0;
      svg.Text(x + layout.cell / 2, y + layout.cell / 2 + (twoLines ? 0 : 4), FormatNumber(v, 6),
               "middle", fontSize, "cell-count", 0.0, ink, diagonal);
      if (twoLines) {
        svg.Text(x + layout.cell / 2, y + layout.cell / 2 + 14, FormatPercent(share), "middle",
                 10.0, "cell-share", 0.0, ink);
      }
    }
    if (r < spec.sideTexts.size()) {
      svg.Text(gridRight + 12, y + layout.cell / 2 + 4, spec.sideTexts[r], "start", kTickFont,
               "side-text");
    }
  }
  if (!spec.sideHeader.empty()) {
    svg.Text(gridRight + 12, layout.top - 8, spec.sideHeader, "start", kTickFont, "side-header",
             0.0, "#222", true);
  }
  return svg.Finish();
}

HistogramLayout LayoutHistogram(const HistogramSpec& spec) {
  HistogramLayout layout;
  const Histogram& h = spec.histogram;
  std::size_t most = 0;
  for (const std::size_t count : h.counts) most = std::max(most, count);
  layout.yTicks = NiceTicks(0.0, static_cast<double>(std::max<std::size_t>(most, 1)), 5, true);
  PlaceFrame(layout, spec.width, 0.0);
  const double low = h.edges.empty() ? 0.0 : h.edges.front();
  const double high = h.edges.empty() ? 1.0 : h.edges.back();
  const int maxTicks = std::clamp(static_cast<int>(layout.plotWidth / 60.0), 2, 12);
  const Ticks xTicks = NiceTicks(low, high, maxTicks);
  layout.x = LinearScale(low, high, layout.left, layout.Right());
  // Keep only ticks inside the binned range; the axis must not run past the bars.
  std::vector<double> centres;
  for (const double v : xTicks.values) {
    if (v >= low - 1e-9 * std::fabs(high - low) && v <= high + 1e-9 * std::fabs(high - low)) {
      layout.xTickValues.push_back(v);
      layout.xTickLabels.push_back(FormatTick(v, xTicks.step));
      centres.push_back(layout.x(v));
    }
  }
  layout.xPlan = PlanTickLabels(centres, layout.xTickLabels, kTickFont, false);
  FinishFrame(layout, spec.height, 100.0);
  return layout;
}

std::string RenderHistogram(const HistogramSpec& spec, const std::string& idPrefix) {
  const HistogramLayout layout = LayoutHistogram(spec);
  SvgBuilder svg(layout.width, layout.height, idPrefix, spec.title);
  const Histogram& h = spec.histogram;
  const bool markInBins = spec.markX && !h.edges.empty() && *spec.markX >= h.edges.front() &&
                          *spec.markX <= h.edges.back();
  DrawAxes(svg, layout, spec, markInBins, [&] {
    for (std::size_t i = 0; i < h.counts.size() && i + 1 < h.edges.size(); ++i) {
      const double x0 = layout.x(h.edges[i]);
      const double x1 = layout.x(h.edges[i + 1]);
      const double y = layout.y(static_cast<double>(h.counts[i]));
      svg.Rect(x0 + 0.5, y, x1 - x0 - 1.0, layout.Bottom() - y, "#4f7cac", "bin", "#1b3a57", 0.75);
    }
  });
  return svg.Finish();
}

}  // namespace knnreport
