// A small chart library producing inline SVG: line charts, grouped horizontal bars, heat
// maps and histograms. Every chart has a Layout function (pure geometry, used by the
// renderer and by tests) and a Render function that writes one <svg> element.
//
// Styling is written as presentation attributes so a chart reads the same on its own and
// inside a page; series differ in lightness, marker shape and dash pattern as well as in
// hue, so they stay apart when printed in grey.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/svg_scale.h"

namespace knnreport {

// Writes SVG elements; every text it is given is escaped. Ids are prefixed with idPrefix so
// several charts can live in one HTML page.
class SvgBuilder {
 public:
  SvgBuilder(double width, double height, std::string idPrefix, const std::string& title);

  void Line(double x1, double y1, double x2, double y2, const std::string& stroke,
            double strokeWidth, const std::string& cssClass = "", const std::string& dash = "");
  void Rect(double x, double y, double width, double height, const std::string& fill,
            const std::string& cssClass = "", const std::string& stroke = "",
            double strokeWidth = 0.0);
  void Polyline(const std::vector<double>& xs, const std::vector<double>& ys,
                const std::string& stroke, double strokeWidth, const std::string& dash,
                const std::string& cssClass);
  // shape: 0 circle, 1 square, 2 triangle, 3 diamond, 4 hollow square, 5 hollow circle.
  void Marker(int shape, double x, double y, double size, const std::string& colour,
              const std::string& cssClass);
  void Text(double x, double y, const std::string& text, const std::string& anchor, double fontSize,
            const std::string& cssClass = "", double rotateDegrees = 0.0,
            const std::string& fill = "#222", bool bold = false);
  // Adds a diagonal hatch pattern to <defs> and returns its fill reference "url(#...)".
  std::string HatchPattern(const std::string& name, const std::string& colour);
  const std::string& IdPrefix() const { return idPrefix_; }
  std::string Finish() const;

 private:
  double width_;
  double height_;
  std::string idPrefix_;
  std::string title_;
  std::string defs_;
  std::string body_;
};

// Compact coordinate text: two decimals at most, no trailing zeros.
std::string Coord(double value);

// Colour, dash pattern and marker of series i of n; the emphasised series is darkest.
struct SeriesStyle {
  std::string colour;
  std::string dash;
  int marker = 0;
  double width = 2.0;
};
SeriesStyle StyleForSeries(std::size_t index, std::size_t count, bool emphasised);

struct Series {
  std::string name;
  std::vector<double> x;
  std::vector<double> y;
  bool emphasised = false;
};

// What the line chart and the histogram share: titles, an optional labelled vertical rule
// (e.g. at the chosen K) and the requested size.
struct PlotSpec {
  std::string title;
  std::string xLabel;
  std::string yLabel;
  std::optional<double> markX;
  std::string markLabel;
  double width = 640.0;
  double height = 300.0;
};

// The whole chart's size and the top-left corner of its plotting area.
struct ChartBox {
  double width = 0.0;
  double height = 0.0;
  double left = 0.0;
  double top = 0.0;
};

// A rectangular plot area with a y axis at its left and an x axis along its bottom.
struct PlotFrame : ChartBox {
  double plotWidth = 0.0;
  double plotHeight = 0.0;
  LinearScale x;
  LinearScale y;
  std::vector<double> xTickValues;
  std::vector<std::string> xTickLabels;
  TickLabelPlan xPlan;
  Ticks yTicks;

  double Bottom() const { return top + plotHeight; }
  double Right() const { return left + plotWidth; }
};

struct LineChartSpec : PlotSpec {
  std::vector<Series> series;
  // When not empty, x values are positions 0 .. n-1 on a category axis named by these.
  std::vector<std::string> xCategories;
  bool integerX = true;
  // Points at these x values get a hollow square marker, e.g. the forced feature set.
  std::vector<double> specialX;
  std::string specialLabel;
  bool legend = false;
};

struct LineChartLayout : PlotFrame {
  double legendX = 0.0;  // left edge of the legend column, when there is one
};

LineChartLayout LayoutLineChart(const LineChartSpec& spec);
std::string RenderLineChart(const LineChartSpec& spec, const std::string& idPrefix);

struct BarSeries {
  std::string name;
  std::vector<double> values;  // one per category; non-finite values draw no bar
};

struct BarChartSpec {
  std::string title;
  std::string valueLabel;
  std::vector<std::string> categories;
  std::vector<BarSeries> series;
  double width = 640.0;
};

struct BarChartLayout : ChartBox {
  double groupHeight = 0.0;
  double barHeight = 0.0;
  LinearScale x;
  Ticks ticks;
};

BarChartLayout LayoutBarChart(const BarChartSpec& spec);
std::string RenderBarChart(const BarChartSpec& spec, const std::string& idPrefix);

struct HeatMapSpec {
  std::string title;
  std::string rowAxisLabel;
  std::string columnAxisLabel;
  std::vector<std::string> rowLabels;
  std::vector<std::string> columnLabels;
  std::vector<std::vector<double>> values;  // rows x columns
  std::string sideHeader;                   // an extra text column at the right
  std::vector<std::string> sideTexts;
};

struct HeatMapLayout : ChartBox {
  double cell = 0.0;
  std::size_t rows = 0;
  std::size_t columns = 0;
  TickLabelPlan columnPlan;
};

// Cell shading is the share of the row total, so each row reads as "where did the cases of
// this class go" whatever the class size.
double HeatMapShare(const HeatMapSpec& spec, std::size_t row, std::size_t column);
HeatMapLayout LayoutHeatMap(const HeatMapSpec& spec);
std::string RenderHeatMap(const HeatMapSpec& spec, const std::string& idPrefix);

struct HistogramSpec : PlotSpec {
  HistogramSpec() {
    yLabel = "Cases";
    height = 260.0;
  }
  Histogram histogram;
};

// Its x ticks lie inside the binned range only.
using HistogramLayout = PlotFrame;

HistogramLayout LayoutHistogram(const HistogramSpec& spec);
std::string RenderHistogram(const HistogramSpec& spec, const std::string& idPrefix);

}  // namespace knnreport
