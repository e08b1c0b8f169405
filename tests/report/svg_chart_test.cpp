#include "report/svg_chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "report/svg_format.h"
#include "report/svg_test_support.h"

namespace knnreport {
namespace {

using testing::ParseSvg;
using testing::SvgElement;

// Relative luminance of "#rrggbb", 0 black .. 1 white: what a grey-scale print keeps.
double Luminance(const std::string& hex) {
  if (hex.size() != 7 || hex[0] != '#') return -1.0;
  const auto channel = [&](int i) {
    return std::stoi(hex.substr(1 + 2 * i, 2), nullptr, 16) / 255.0;
  };
  return 0.2126 * channel(0) + 0.7152 * channel(1) + 0.0722 * channel(2);
}

// Centre of a marker, circle or square.
std::pair<double, double> Centre(const SvgElement& e) {
  if (e.name == "circle") return {e.Number("cx"), e.Number("cy")};
  return {e.Number("x") + e.Number("width") / 2, e.Number("y") + e.Number("height") / 2};
}

LineChartSpec KSelectionSpec() {
  LineChartSpec spec;
  spec.title = "CV error";
  spec.xLabel = "K";
  spec.yLabel = "error";
  spec.series.push_back(
      {"error", {1, 2, 3, 4, 5, 6}, {0.375, 0.25, 0.125, 0.25, 0.3, 0.31}, false});
  spec.markX = 3;
  spec.markLabel = "chosen K = 3";
  return spec;
}

TEST(LineChartTest, MarksSitOnTheScalesAndTheChosenKRule) {
  const LineChartSpec spec = KSelectionSpec();
  const LineChartLayout layout = LayoutLineChart(spec);
  const auto svg = ParseSvg(RenderLineChart(spec, "t"));
  ASSERT_TRUE(svg.ok);
  const auto marks = svg.WithClass("mark");
  ASSERT_EQ(marks.size(), 6u);
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const auto [cx, cy] = Centre(marks[i]);
    EXPECT_NEAR(cx, layout.x(spec.series[0].x[i]), 0.01);
    EXPECT_NEAR(cy, layout.y(spec.series[0].y[i]), 0.01);
    // Inside the plot area.
    EXPECT_GE(cx, layout.left);
    EXPECT_LE(cx, layout.left + layout.plotWidth);
    EXPECT_GE(cy, layout.top - 0.01);
    EXPECT_LE(cy, layout.top + layout.plotHeight + 0.01);
  }
  // The lowest error is drawn lowest on the page (largest y) and the rule passes through it.
  const auto [bestX, bestY] = Centre(marks[2]);
  for (const auto& m : marks) EXPECT_LE(Centre(m).second, bestY + 1e-9);
  const auto rules = svg.WithClass("rule");
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_NEAR(rules[0].Number("x1"), bestX, 0.01);
  EXPECT_NEAR(rules[0].Number("x2"), bestX, 0.01);
  ASSERT_EQ(svg.WithClass("mark-label").size(), 1u);
  EXPECT_EQ(svg.WithClass("mark-label")[0].text, "chosen K = 3");
}

TEST(LineChartTest, AxesCarryNiceNonOverlappingTickLabels) {
  LineChartSpec spec = KSelectionSpec();
  spec.series[0].x.clear();
  spec.series[0].y.clear();
  for (int k = 1; k <= 60; ++k) {
    spec.series[0].x.push_back(k);
    spec.series[0].y.push_back(0.05 + 0.001 * (k - 20) * (k - 20));
  }
  spec.width = 420;
  const LineChartLayout layout = LayoutLineChart(spec);
  const auto svg = ParseSvg(RenderLineChart(spec, "t"));
  ASSERT_TRUE(svg.ok);
  std::vector<SvgElement> xLabels, yLabels;
  for (const auto& e : svg.WithClass("tick-label")) {
    (e.HasClass("x") ? xLabels : yLabels).push_back(e);
  }
  ASSERT_EQ(yLabels.size(), layout.yTicks.values.size());
  for (std::size_t i = 0; i < yLabels.size(); ++i) {
    EXPECT_EQ(yLabels[i].text, FormatTick(layout.yTicks.values[i], layout.yTicks.step));
    EXPECT_NEAR(yLabels[i].Number("y") - 4, layout.y(layout.yTicks.values[i]), 0.01);
  }
  ASSERT_GE(xLabels.size(), 2u);
  for (std::size_t i = 1; i < xLabels.size(); ++i) {
    const double gap = xLabels[i].Number("x") - xLabels[i - 1].Number("x");
    const double need =
        (EstimateTextWidth(xLabels[i].text, 12) + EstimateTextWidth(xLabels[i - 1].text, 12)) / 2;
    EXPECT_GE(gap, need) << xLabels[i - 1].text << " / " << xLabels[i].text;
    // K ticks are whole numbers.
    double k = 0;
    ASSERT_TRUE(ParseNumber(xLabels[i].text, k));
    EXPECT_EQ(k, std::round(k));
  }
}

TEST(LineChartTest, CategoryAxisSpecialPointsLegendAndEmphasis) {
  LineChartSpec spec;
  spec.title = "steps";
  spec.xCategories = {"forced: a+b", "petal <length>", "sepal & width", "x"};
  spec.series.push_back({"K = 2", {0, 1, 2, 3}, {0.3, 0.2, 0.15, 0.14}, false});
  spec.series.push_back({"K = 3 (chosen)", {0, 1, 2}, {0.28, 0.18, 0.12}, true});
  spec.specialX = {0};
  spec.specialLabel = "forced set";
  spec.legend = true;
  const auto svg = ParseSvg(RenderLineChart(spec, "t"));
  ASSERT_TRUE(svg.ok);
  // One hollow "special" marker per series at step 0, the others ordinary.
  EXPECT_EQ(svg.WithClass("special").size(), 2u);
  EXPECT_EQ(svg.WithClass("mark").size(), 7u);
  // Category labels are the texts as given (escaping undone by the parser).
  std::vector<std::string> xTexts;
  for (const auto& e : svg.WithClass("tick-label")) {
    if (e.HasClass("x")) xTexts.push_back(e.text);
  }
  EXPECT_EQ(xTexts, spec.xCategories);
  // The emphasised series is drawn last and thickest.
  const auto lines = svg.WithClass("series");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_GT(lines[1].Number("stroke-width"), lines[0].Number("stroke-width"));
  std::set<std::string> legend;
  for (const auto& e : svg.WithClass("legend")) legend.insert(e.text);
  EXPECT_EQ(legend, (std::set<std::string>{"K = 2", "K = 3 (chosen)", "forced set"}));
}

TEST(LineChartTest, SurvivesEmptyAndNonFiniteSeries) {
  LineChartSpec spec;
  spec.series.push_back({"nothing", {}, {}, false});
  spec.series.push_back(
      {"holes", {1, 2, 3}, {std::nan(""), 0.5, std::numeric_limits<double>::infinity()}, false});
  const auto svg = ParseSvg(RenderLineChart(spec, "t"));
  ASSERT_TRUE(svg.ok);
  EXPECT_EQ(svg.WithClass("mark").size(), 1u);
  for (const auto& e : svg.elements) {
    for (const auto& [name, value] : e.attributes) {
      EXPECT_EQ(value.find("nan"), std::string::npos) << e.name << " " << name;
      EXPECT_EQ(value.find("inf"), std::string::npos) << e.name << " " << name;
    }
  }
}

TEST(SeriesStyleTest, SeriesDifferBeyondHue) {
  const SeriesStyle emphasised = StyleForSeries(2, 4, true);
  std::set<std::pair<std::string, int>> shapes;
  for (std::size_t i = 0; i < 3; ++i) {
    const SeriesStyle s = StyleForSeries(i, 4, false);
    shapes.insert({s.dash, s.marker});
    EXPECT_LT(Luminance(emphasised.colour), Luminance(s.colour)) << "series " << i;
    EXPECT_LT(s.width, emphasised.width);
  }
  EXPECT_EQ(shapes.size(), 3u) << "dash and marker tell series apart without colour";
}

TEST(BarChartTest, BarLengthsAreProportionalAndSeriesPatterned) {
  BarChartSpec spec;
  spec.categories = {"petal_length", "petal_width", "sepal_length"};
  spec.series.push_back({"importance", {0.5, 0.3, 0.2}});
  spec.series.push_back({"weight", {0.25, std::nan(""), 0.2}});
  const BarChartLayout layout = LayoutBarChart(spec);
  const auto svg = ParseSvg(RenderBarChart(spec, "imp"));
  ASSERT_TRUE(svg.ok);
  const auto bars = svg.WithClass("bar");
  ASSERT_EQ(bars.size(), 5u) << "a missing value draws no bar";
  const double zero = layout.x(0.0);
  EXPECT_NEAR(bars[0].Number("x"), zero, 0.01);
  EXPECT_NEAR(bars[0].Number("width"), layout.x(0.5) - zero, 0.01);
  EXPECT_NEAR(bars[0].Number("width") / bars[1].Number("width"), 0.5 / 0.25, 1e-3);
  EXPECT_NEAR(bars[2].Number("width") / bars[4].Number("width"), 0.3 / 0.2, 1e-3);
  // Second series uses the chart's own hatch pattern, so it prints apart from the first.
  EXPECT_EQ(bars[1].attributes.at("fill"), "url(#imp-hatch)");
  ASSERT_EQ(svg.Named("pattern").size(), 1u);
  EXPECT_EQ(svg.Named("pattern")[0].attributes.at("id"), "imp-hatch");
  // Groups do not overlap vertically.
  EXPECT_LE(bars[1].Number("y") + bars[1].Number("height"), bars[2].Number("y"));
  const auto values = svg.WithClass("bar-value");
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0].text, "0.5");
}

HeatMapSpec ConfusionSpec() {
  HeatMapSpec spec;
  spec.title = "confusion";
  spec.rowLabels = {"a", "b", "c"};
  spec.columnLabels = spec.rowLabels;
  spec.values = {{3, 0, 0}, {0, 2, 1}, {0, 0, 0}};
  spec.sideHeader = "Recall";
  spec.sideTexts = {"100%", "66.7%", "n/a"};
  return spec;
}

TEST(HeatMapTest, CellsGridDiagonalAndShading) {
  const HeatMapSpec spec = ConfusionSpec();
  const HeatMapLayout layout = LayoutHeatMap(spec);
  const auto svg = ParseSvg(RenderHeatMap(spec, "cm"));
  ASSERT_TRUE(svg.ok);
  // Shares are row-normalised; an empty row shades nothing.
  EXPECT_DOUBLE_EQ(HeatMapShare(spec, 1, 2), 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(HeatMapShare(spec, 2, 2), 0.0);
  EXPECT_DOUBLE_EQ(HeatMapShare(spec, 7, 0), 0.0);
  const auto cells = svg.WithClass("cell");
  ASSERT_EQ(cells.size(), 9u);
  EXPECT_EQ(svg.WithClass("diagonal").size(), 3u);
  for (std::size_t r = 0; r < 3; ++r) {
    for (std::size_t c = 0; c < 3; ++c) {
      const auto& cell = cells[r * 3 + c];
      EXPECT_NEAR(cell.Number("x"), layout.left + layout.cell * c, 0.01);
      EXPECT_NEAR(cell.Number("y"), layout.top + layout.cell * r, 0.01);
      EXPECT_EQ(cell.HasClass("diagonal"), r == c);
    }
  }
  // A larger share is darker: shares 1, 2/3, 1/3, 0 in rising luminance.
  for (const auto& [darker, lighter] : {std::pair{0, 4}, {4, 5}, {5, 1}}) {
    EXPECT_LT(Luminance(cells[darker].attributes.at("fill")),
              Luminance(cells[lighter].attributes.at("fill")));
  }
  const auto counts = svg.WithClass("cell-count");
  ASSERT_EQ(counts.size(), 9u);
  EXPECT_EQ(counts[5].text, "1");
  // Dark cells get light text.
  EXPECT_EQ(counts[0].attributes.at("fill"), "#fff");
  EXPECT_EQ(counts[1].attributes.at("fill"), "#111");
  std::vector<std::string> side;
  for (const auto& e : svg.WithClass("side-text")) side.push_back(e.text);
  EXPECT_EQ(side, spec.sideTexts);
}

TEST(HeatMapTest, ManyLongClassLabelsAreRotatedAndFit) {
  HeatMapSpec spec;
  for (int i = 0; i < 12; ++i) spec.rowLabels.push_back("category number " + std::to_string(i));
  spec.columnLabels = spec.rowLabels;
  spec.values.assign(12, std::vector<double>(12, 1.0));
  const HeatMapLayout layout = LayoutHeatMap(spec);
  EXPECT_TRUE(layout.columnPlan.rotate);
  const auto svg = ParseSvg(RenderHeatMap(spec, "cm"));
  ASSERT_TRUE(svg.ok);
  for (const auto& label : svg.WithClass("tick-label")) {
    EXPECT_GE(label.Number("y"), 0.0);
    EXPECT_LE(label.Number("x"), layout.width);
  }
}

TEST(HistogramChartTest, BarsMatchBinsAndCounts) {
  HistogramSpec spec;
  spec.histogram.edges = {-20, 0, 20, 40};
  spec.histogram.counts = {2, 4, 1};
  spec.markX = 0.0;
  spec.markLabel = "0";
  const HistogramLayout layout = LayoutHistogram(spec);
  const auto svg = ParseSvg(RenderHistogram(spec, "h"));
  ASSERT_TRUE(svg.ok);
  const auto bins = svg.WithClass("bin");
  ASSERT_EQ(bins.size(), 3u);
  const double bottom = layout.top + layout.plotHeight;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(bins[i].Number("x"), layout.x(spec.histogram.edges[i]) + 0.5, 0.01);
    EXPECT_NEAR(bins[i].Number("y") + bins[i].Number("height"), bottom, 0.01);
    EXPECT_NEAR(bins[i].Number("y"), layout.y(static_cast<double>(spec.histogram.counts[i])), 0.01);
  }
  EXPECT_NEAR(bins[1].Number("height") / bins[0].Number("height"), 2.0, 1e-3);
  ASSERT_EQ(svg.WithClass("rule").size(), 1u);
  EXPECT_NEAR(svg.WithClass("rule")[0].Number("x1"), layout.x(0.0), 0.01);
  // Whole-number count axis.
  for (const double v : layout.yTicks.values) EXPECT_EQ(v, std::round(v));

  spec.markX = 100.0;  // outside the bins: no rule
  EXPECT_TRUE(ParseSvg(RenderHistogram(spec, "h")).WithClass("rule").empty());
  spec.histogram = Histogram();
  EXPECT_TRUE(ParseSvg(RenderHistogram(spec, "h")).ok);
}

TEST(SvgBuilderTest, EscapesTitleTextAndIds) {
  SvgBuilder svg(100, 50, "a\"b", "R&D <chart>");
  svg.Text(1, 2, "x < y & \"z\"", "start", 12);
  const auto parsed = ParseSvg(svg.Finish());
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(parsed.Named("title").size(), 1u);
  EXPECT_EQ(parsed.Named("title")[0].text, "R&D <chart>");
  EXPECT_EQ(parsed.Named("title")[0].attributes.at("id"), "a\"b-title");
  EXPECT_EQ(parsed.Named("text")[0].text, "x < y & \"z\"");
  EXPECT_EQ(Coord(12.345), "12.35");
  EXPECT_EQ(Coord(-0.001), "0");
  EXPECT_EQ(Coord(40.0), "40");
}

}  // namespace
}  // namespace knnreport
