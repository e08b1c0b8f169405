#include "report/report_html.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "report/svg_chart.h"
#include "report/svg_format.h"

namespace knnreport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr const char* kStyle = R"css(
:root { color-scheme: light; }
body { font-family: "DejaVu Sans", "Segoe UI", Helvetica, Arial, sans-serif; color: #1a1a1a;
  max-width: 1000px; margin: 2em auto; padding: 0 1em; line-height: 1.45; background: #fff; }
h1 { font-size: 1.6em; margin: 0 0 .2em; }
h2 { font-size: 1.3em; border-bottom: 2px solid #0b2f5b; padding-bottom: .2em; margin-top: 2.2em; }
h3 { font-size: 1.05em; margin: 1.6em 0 .4em; }
p { margin: .4em 0; }
.subtitle { color: #444; margin-bottom: 1em; }
table { border-collapse: collapse; margin: .5em 0 1em; }
th, td { border: 1px solid #c4c4c4; padding: .2em .6em; text-align: left; vertical-align: top; }
th { background: #eef2f7; font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
table.facts th { width: 11em; }
tr.chosen td { font-weight: 700; background: #f3f6fa; }
.missing { color: #555; font-style: italic; }
.notes { border-left: 4px solid #9e1b1b; padding: .3em .8em; background: #fbf3f3; }
svg.chart { max-width: 100%; height: auto; display: block; margin: .4em 0; }
figure { margin: .6em 0 1em; }
figcaption { font-size: .9em; color: #444; }
nav ol { margin: .3em 0; }
@media print {
  body { max-width: none; margin: 0; padding: 0; font-size: 10.5pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  a { color: inherit; text-decoration: none; }
  section.model { break-before: page; }
  figure, table, .facts { break-inside: avoid; }
  h2, h3 { break-after: avoid; }
  nav { display: none; }
}
)css";

std::string H(const std::string& text) {
  return EscapeXml(text);
}

std::optional<double> Number(const std::string& text) {
  double value = 0.0;
  if (ParseNumber(text, value)) return value;
  return std::nullopt;
}

std::string NumberOrRaw(const std::string& text, int significant = 4) {
  const auto value = Number(text);
  return value ? FormatNumber(*value, significant) : text;
}

// A value that is not a number is shown as written, and said to be so.
std::string CellNumber(const std::string& text, int significant = 4) {
  if (text.empty()) return "<span class=\"missing\">absent</span>";
  const auto value = Number(text);
  if (!value) return H(text) + " <span class=\"missing\">(not a number)</span>";
  return H(FormatNumber(*value, significant));
}

std::string Missing(const std::string& text) {
  return "<p class=\"missing\">" + H(text) + "</p>\n";
}

std::string Figure(const std::string& svg, const std::string& caption) {
  return "<figure>\n" + svg + "<figcaption>" + H(caption) + "</figcaption>\n</figure>\n";
}

std::string JoinNames(const std::vector<std::string>& names, const std::string& separator) {
  std::string joined;
  for (std::size_t i = 0; i < names.size(); ++i) joined += (i ? separator : "") + names[i];
  return joined;
}

std::string Humanise(const std::string& method) {
  if (method == "majorityVote") return "majority vote of the neighbours";
  if (method == "weightedMajorityVote") return "distance-weighted majority vote";
  if (method == "average") return "mean of the neighbours' values";
  if (method == "weightedAverage") return "distance-weighted mean";
  if (method == "median") return "median of the neighbours' values";
  return method;
}

std::string DistanceName(const std::string& measure) {
  if (measure == "euclidean") return "Euclidean";
  if (measure == "cityBlock") return "city block (sum of absolute differences)";
  if (measure == "squaredEuclidean") return "squared Euclidean";
  return measure;
}

struct Model {
  const ModelEntry& entry;
  std::size_t index;
  std::string id;
  std::optional<int> k;
  std::string target;
  bool categorical;
  bool continuous;
};

// --- K selection -----------------------------------------------------------------------

// Equal errors: the selection keeps the smaller K.
std::string TieText(double chosenK, double otherK) {
  return chosenK < otherK ? " (the same error; ties go to the smaller K)." : " (the same error).";
}

struct KPoint {
  double k;
  double error;
};

std::vector<KPoint> KSelectionPoints(const TextTable& table, std::size_t& badRows) {
  std::vector<KPoint> points;
  for (const auto& row : table.rows) {
    double k = 0.0;
    double error = 0.0;
    if (row.size() >= 2 && ParseNumber(row[0], k) && ParseNumber(row[1], error)) {
      points.push_back({k, error});
    } else {
      ++badRows;
    }
  }
  return points;
}

std::string KSelectionSection(const Model& model) {
  const ModelEntry& m = model.entry;
  if (m.featureKSelection) return "";  // shown with the combined selection below
  std::string out = "<h3>Choice of K</h3>\n";
  if (!m.kSelection) {
    if (model.k) {
      return out + Missing("K was fixed at " + std::to_string(*model.k) +
                           "; the document records no automatic choice of K.");
    }
    return out + Missing("The document records neither K nor a choice of K.");
  }
  std::size_t bad = 0;
  const auto points = KSelectionPoints(*m.kSelection, bad);
  if (points.empty()) return out + Missing("The K-selection table holds no readable rows.");
  LineChartSpec spec;
  spec.title = "Cross-validated error for each K";
  spec.xLabel = "K (number of neighbours)";
  spec.yLabel = "Cross-validated error";
  Series series;
  series.name = "error";
  for (const auto& p : points) series.x.push_back(p.k), series.y.push_back(p.error);
  spec.series.push_back(series);
  const KPoint* chosen = nullptr;
  if (model.k) {
    spec.markX = *model.k;
    spec.markLabel = "chosen K = " + std::to_string(*model.k);
    for (const auto& p : points) {
      if (p.k == *model.k) chosen = &p;
    }
  }
  // The runner-up: the best error among the other K values.
  const KPoint* runnerUp = nullptr;
  for (const auto& p : points) {
    if (&p == chosen) continue;
    if (!runnerUp || p.error < runnerUp->error) runnerUp = &p;
  }
  std::string summary;
  if (chosen) {
    summary = "K = " + FormatNumber(chosen->k) + " was chosen with a cross-validated error of " +
              FormatNumber(chosen->error) + ".";
    if (runnerUp) {
      const double margin = runnerUp->error - chosen->error;
      std::string comparison = " (lower than the chosen K).";
      if (margin > 0) comparison = " (" + FormatNumber(margin, 3) + " higher).";
      if (margin == 0) comparison = TieText(chosen->k, runnerUp->k);
      summary += " The next best, K = " + FormatNumber(runnerUp->k) + ", had " +
                 FormatNumber(runnerUp->error) + comparison;
    }
  } else if (model.k) {
    summary = "The model's K = " + std::to_string(*model.k) + " is not among the K values tried.";
  }
  out += "<p>" + H(summary) + "</p>\n";
  if (bad > 0)
    out += Missing(std::to_string(bad) + " unreadable row(s) of the K table were left out.");
  out += Figure(RenderLineChart(spec, model.id + "-k"),
                "Error of each K over the cross-validation folds; the dashed line marks the K the "
                "model uses.");
  return out;
}

// --- feature selection ----------------------------------------------------------------

struct Step {
  int number = 0;
  std::string feature;
  double error = kNaN;
  bool forced = false;
  bool selected = false;
};

std::string StepTable(const std::vector<Step>& steps) {
  std::string out =
      "<table class=\"steps\">\n<tr><th>Step</th><th>Feature added</th><th>Error after "
      "step</th><th>Change</th></tr>\n";
  double previous = kNaN;
  for (const auto& step : steps) {
    const double change = step.error - previous;
    out += "<tr><td class=\"num\">" + std::to_string(step.number) + "</td><td>" +
           H(step.forced ? "forced: " + step.feature : step.feature) + "</td><td class=\"num\">" +
           H(FormatNumber(step.error)) + "</td><td class=\"num\">" +
           (std::isfinite(change) ? H((change > 0 ? "+" : "") + FormatNumber(change, 3)) : "") +
           "</td></tr>\n";
    previous = step.error;
  }
  return out + "</table>\n";
}

std::vector<Step> ReadSteps(const std::vector<std::vector<std::string>>& rows, int errorColumn,
                            int selectedColumn, std::size_t& bad) {
  std::vector<Step> steps;
  for (const auto& row : rows) {
    Step step;
    double number = 0.0;
    if (static_cast<int>(row.size()) <= std::max(errorColumn, selectedColumn) ||
        !ParseNumber(row[0], number) || !ParseNumber(row[errorColumn], step.error)) {
      ++bad;
      continue;
    }
    step.number = static_cast<int>(number);
    step.feature = row[1];
    step.forced = step.number == 0;
    step.selected = row[selectedColumn] == "yes";
    steps.push_back(step);
  }
  return steps;
}

std::string FeatureSelectionSection(const Model& model) {
  const ModelEntry& m = model.entry;
  std::string out = "<h3>Feature selection</h3>\n";
  if (m.featureSelection) {
    std::size_t bad = 0;
    const auto steps = ReadSteps(m.featureSelection->rows, 2, 3, bad);
    if (steps.empty()) return out + Missing("The feature-selection table holds no readable rows.");
    LineChartSpec spec;
    spec.title = "Error after each forward-selection step";
    spec.xLabel = "Feature added at each step";
    spec.yLabel = "Error";
    Series series;
    series.name = "error";
    for (std::size_t i = 0; i < steps.size(); ++i) {
      series.x.push_back(static_cast<double>(i));
      series.y.push_back(steps[i].error);
      spec.xCategories.push_back(steps[i].forced ? "forced: " + steps[i].feature
                                                 : steps[i].feature);
      if (steps[i].forced) spec.specialX.push_back(static_cast<double>(i));
    }
    spec.series.push_back(series);
    if (!spec.specialX.empty()) {
      spec.legend = true;
      spec.specialLabel = "forced set";
    }
    const Step& first = steps.front();
    const Step& last = steps.back();
    std::string summary = std::to_string(steps.size() - (first.forced ? 1 : 0)) +
                          " feature(s) were added by forward selection";
    if (first.forced) summary += " after the forced set " + first.feature;
    summary += "; the error went from " + FormatNumber(first.error) + " to " +
               FormatNumber(last.error) + ".";
    out += "<p>" + H(summary) + "</p>\n";
    if (bad > 0) out += Missing(std::to_string(bad) + " unreadable step row(s) were left out.");
    out += Figure(RenderLineChart(spec, model.id + "-fs"),
                  "Error of the selected features after each step, in selection order.");
    return out + StepTable(steps);
  }
  if (m.featureKSelection) {
    std::size_t bad = 0;
    const auto& rows = m.featureKSelection->rows;
    // Columns: model;features;K;error;selected. Group the steps by K.
    std::map<int, std::vector<Step>> byK;
    std::optional<int> chosenK;
    for (const auto& row : rows) {
      double k = 0.0;
      if (row.size() < 5 || !ParseNumber(row[2], k)) {
        ++bad;
        continue;
      }
      std::size_t rowBad = 0;
      auto steps = ReadSteps({row}, 3, 4, rowBad);
      bad += rowBad;
      if (steps.empty()) continue;
      if (steps.front().selected) chosenK = static_cast<int>(k);
      byK[static_cast<int>(k)].push_back(steps.front());
    }
    if (!chosenK && model.k) chosenK = model.k;
    bool anyForced = false;
    for (const auto& [k, steps] : byK) anyForced = anyForced || steps.front().forced;
    if (byK.empty())
      return out + Missing("The combined K-and-feature table holds no readable rows.");
    LineChartSpec spec;
    spec.title = "Error after each forward-selection step, one line per K";
    spec.xLabel = "Forward-selection step";
    spec.yLabel = "Error";
    spec.legend = true;
    if (anyForced) spec.xLabel += " (0 = the forced set)";
    std::string tableRows;
    for (const auto& [k, steps] : byK) {
      Series series;
      series.name = "K = " + std::to_string(k) + (chosenK && *chosenK == k ? " (chosen)" : "");
      series.emphasised = chosenK && *chosenK == k;
      for (const auto& step : steps) {
        series.x.push_back(step.number);
        series.y.push_back(step.error);
        if (step.forced &&
            std::find(spec.specialX.begin(), spec.specialX.end(), 0.0) == spec.specialX.end()) {
          spec.specialX.push_back(0.0);
          spec.specialLabel = "forced set";
        }
      }
      spec.series.push_back(series);
      std::vector<std::string> added;
      for (const auto& step : steps) {
        if (!step.forced) added.push_back(step.feature);
      }
      tableRows += std::string(series.emphasised ? "<tr class=\"chosen\">" : "<tr>") +
                   "<td class=\"num\">" + std::to_string(k) + "</td><td>" +
                   H(JoinNames(added, ", ")) + "</td><td class=\"num\">" +
                   H(FormatNumber(steps.back().error)) + "</td><td>" +
                   (series.emphasised ? "yes" : "") + "</td></tr>\n";
    }
    std::string summary;
    if (chosenK && byK.count(*chosenK)) {
      const double best = byK[*chosenK].back().error;
      summary = "K = " + std::to_string(*chosenK) +
                " was chosen: its selected features end at error " + FormatNumber(best) + ".";
      std::optional<std::pair<int, double>> next;
      for (const auto& [k, steps] : byK) {
        if (k == *chosenK) continue;
        if (!next || steps.back().error < next->second)
          next = std::make_pair(k, steps.back().error);
      }
      if (next) {
        const double margin = next->second - best;
        std::string comparison = " (lower than the chosen K).";
        if (margin > 0) comparison = " (" + FormatNumber(margin, 3) + " higher).";
        if (margin == 0) comparison = TieText(*chosenK, next->first);
        summary += " The next best, K = " + std::to_string(next->first) + ", ended at " +
                   FormatNumber(next->second) + comparison;
      }
    }
    out = "<h3>Choice of K and features</h3>\n<p>" + H(summary) + "</p>\n";
    if (bad > 0) out += Missing(std::to_string(bad) + " unreadable row(s) were left out.");
    out += Figure(RenderLineChart(spec, model.id + "-fks"),
                  "Forward selection was run once for every K; the bold line is the K the model "
                  "uses.");
    out +=
        "<table class=\"ksteps\">\n<tr><th>K</th><th>Features added, in order</th><th>Final "
        "error</th><th>Chosen</th></tr>\n" +
        tableRows + "</table>\n";
    if (chosenK && byK.count(*chosenK)) out += StepTable(byK[*chosenK]);
    return out;
  }
  std::size_t active = 0;
  for (const auto& field : m.miningFields) active += field.usageType == "active" ? 1 : 0;
  return out + Missing("No feature selection is recorded; the model uses " +
                       std::to_string(active) + " input(s).");
}

// --- importance and weights -----------------------------------------------------------

std::string ImportanceSection(const Model& model) {
  const ModelEntry& m = model.entry;
  std::string out = "<h3>Feature importance and weights</h3>\n";
  // The model's feature order is the order of its statistics (selection order); the mining
  // schema lists inputs in settings order.
  std::vector<const MiningFieldEntry*> features;
  for (const auto& name : m.statsFields) {
    for (const auto& field : m.miningFields) {
      if (field.name == name && field.usageType == "active" &&
          std::find(features.begin(), features.end(), &field) == features.end()) {
        features.push_back(&field);
      }
    }
  }
  for (const auto& field : m.miningFields) {
    if (field.usageType == "active" &&
        std::find(features.begin(), features.end(), &field) == features.end()) {
      features.push_back(&field);
    }
  }
  if (features.empty()) return out + Missing("The mining schema lists no active inputs.");
  bool anyImportance = false;
  bool anyWeight = false;
  for (const auto* field : features) {
    anyImportance = anyImportance || !field->importanceText.empty();
    anyWeight = anyWeight || !field->weightText.empty();
  }
  std::string table = "<table class=\"importance\">\n<tr><th>#</th><th>Feature</th>";
  if (anyImportance) table += "<th>Importance</th>";
  if (anyWeight) table += "<th>Weight</th>";
  table += "</tr>\n";
  BarChartSpec spec;
  spec.title = "Importance and weight of each feature";
  spec.valueLabel = "Share (the values of one model sum to 1)";
  BarSeries importance{"importance", {}};
  BarSeries weight{"weight", {}};
  for (std::size_t i = 0; i < features.size(); ++i) {
    const auto* field = features[i];
    spec.categories.push_back(field->name);
    importance.values.push_back(Number(field->importanceText).value_or(kNaN));
    weight.values.push_back(Number(field->weightText).value_or(kNaN));
    table +=
        "<tr><td class=\"num\">" + std::to_string(i + 1) + "</td><td>" + H(field->name) + "</td>";
    if (anyImportance)
      table += "<td class=\"num\">" + CellNumber(field->importanceText, 3) + "</td>";
    if (anyWeight) table += "<td class=\"num\">" + CellNumber(field->weightText, 3) + "</td>";
    table += "</tr>\n";
  }
  table += "</table>\n";
  if (!anyImportance && !anyWeight) {
    std::vector<std::string> names;
    for (const auto* field : features) names.push_back(field->name);
    return out + "<p>Features, in the model's order: " + H(JoinNames(names, ", ")) + ".</p>\n" +
           Missing("Importance and weights were not computed for this model.");
  }
  if (anyImportance) spec.series.push_back(importance);
  if (anyWeight) spec.series.push_back(weight);
  out += Figure(RenderBarChart(spec, model.id + "-imp"),
                "Features in the model's order (the order of selection when features were "
                "selected). Importance: how much the error grows when the feature is left out.");
  return out + table;
}

// --- prediction quality ---------------------------------------------------------------

std::string ConfusionSection(const Model& model) {
  const ConfusionEntry& confusion = *model.entry.confusion;
  std::string out;
  const std::size_t n = confusion.counts.size();
  bool square = n > 0;
  for (const auto& row : confusion.counts) square = square && row.size() == n;
  if (!square) return Missing("The confusion matrix is not square; it is not shown.");
  std::vector<std::string> labels = confusion.labels;
  if (labels.size() != n) {
    out += Missing("The confusion matrix has " + std::to_string(n) + " classes but " +
                   std::to_string(labels.size()) + " class labels; classes are numbered instead.");
    labels.clear();
    for (std::size_t i = 0; i < n; ++i) labels.push_back("class " + std::to_string(i + 1));
  }
  HeatMapSpec spec;
  spec.title = "Confusion matrix of the training cases";
  spec.rowAxisLabel = "Actual class";
  spec.columnAxisLabel = "Predicted class";
  spec.rowLabels = labels;
  spec.columnLabels = labels;
  spec.values = confusion.counts;
  spec.sideHeader = "Recall";
  double total = 0.0;
  double correct = 0.0;
  struct Cell {
    double count;
    std::size_t row;
    std::size_t column;
  };
  std::vector<Cell> confusions;
  std::string recallRows;
  for (std::size_t r = 0; r < n; ++r) {
    double rowTotal = 0.0;
    for (std::size_t c = 0; c < n; ++c) {
      const double v = confusion.counts[r][c];
      if (!std::isfinite(v)) continue;
      rowTotal += v;
      if (r != c && v > 0) confusions.push_back({v, r, c});
    }
    const double hit = std::isfinite(confusion.counts[r][r]) ? confusion.counts[r][r] : 0.0;
    total += rowTotal;
    correct += hit;
    const std::string recall = rowTotal > 0 ? FormatPercent(hit / rowTotal) : "n/a";
    spec.sideTexts.push_back(recall);
    recallRows += "<tr><td>" + H(labels[r]) + "</td><td class=\"num\">" +
                  H(FormatNumber(rowTotal, 6)) + "</td><td class=\"num\">" +
                  H(FormatNumber(hit, 6)) + "</td><td class=\"num\">" + H(recall) + "</td></tr>\n";
  }
  std::stable_sort(confusions.begin(), confusions.end(),
                   [](const Cell& a, const Cell& b) { return a.count > b.count; });
  std::string summary = total > 0
                            ? FormatPercent(correct / total) + " of " + FormatNumber(total, 6) +
                                  " training cases were classified correctly."
                            : "The confusion matrix is empty.";
  out += "<p>" + H(summary) + "</p>\n";
  out += Figure(RenderHeatMap(spec, model.id + "-cm"),
                "Rows: actual class; columns: predicted class. Shading is the share of the row; "
                "the outlined diagonal holds the correct predictions.");
  out +=
      "<table class=\"recall\">\n<tr><th>Class</th><th>Cases</th><th>Correct</th><th>Recall</th>"
      "</tr>\n" +
      recallRows + "</table>\n";
  if (confusions.empty()) {
    out += "<p>No training case was misclassified.</p>\n";
  } else {
    out += "<p>Largest confusions (actual &#8594; predicted):</p>\n<ul class=\"confusions\">\n";
    for (std::size_t i = 0; i < confusions.size() && i < 5; ++i) {
      const Cell& cell = confusions[i];
      out += "<li>" + H(labels[cell.row]) + " &#8594; " + H(labels[cell.column]) + ": " +
             H(FormatNumber(cell.count, 6)) + " case(s)</li>\n";
    }
    out += "</ul>\n";
  }
  return out;
}

std::string ResidualSection(const Model& model) {
  const ModelEntry& m = model.entry;
  std::string out;
  std::optional<double> sse = Number(m.sumSquaredErrorText);
  if (!m.sumSquaredErrorText.empty() && !sse) {
    out += Missing("The sum of squared errors is not a number: " + m.sumSquaredErrorText);
  }
  if (!m.neighbours || !m.neighbours->hasPredictions) {
    return out + Missing("No per-case predictions are recorded, so residuals cannot be shown.");
  }
  if (m.targetValues.empty()) {
    return out + Missing(
                     "The training cases' target values are not in the document, so "
                     "residuals cannot be shown.");
  }
  const NeighbourSummary& nb = *m.neighbours;
  std::vector<double> residuals;
  std::size_t unmatched = 0;
  for (std::size_t i = 0; i < nb.rowNumbers.size(); ++i) {
    const long long row = nb.rowNumbers[i];
    double actual = 0.0;
    if (row < 1 || static_cast<std::size_t>(row) > m.targetValues.size() ||
        !std::isfinite(nb.finalPredictions[i]) ||
        !ParseNumber(m.targetValues[static_cast<std::size_t>(row - 1)], actual)) {
      ++unmatched;
      continue;
    }
    // Rows pair by position; the case identifiers, when both are written, must agree.
    const std::string& trainingId = m.instanceCaseIds[static_cast<std::size_t>(row - 1)];
    double a = 0.0;
    double b = 0.0;
    if (!trainingId.empty() && !nb.caseIds[i].empty() && ParseNumber(trainingId, a) &&
        ParseNumber(nb.caseIds[i], b) && std::trunc(a) != std::trunc(b)) {
      ++unmatched;
      continue;
    }
    residuals.push_back(actual - nb.finalPredictions[i]);
  }
  if (residuals.empty()) {
    return out + Missing("No neighbour-table row could be paired with a training value.");
  }
  double sum = 0.0;
  for (const double r : residuals) sum += r;
  const double count = static_cast<double>(residuals.size());
  std::string summary;
  if (sse) {
    summary = "Sum of squared errors over the training cases: " + FormatNumber(*sse) +
              " (root mean square error " + FormatNumber(std::sqrt(*sse / count)) + ").";
  }
  summary += " Mean residual " + FormatNumber(sum / count, 3) + " over " +
             FormatCount(static_cast<long long>(count)) + " cases.";
  out += "<p>" + H(summary) + "</p>\n";
  if (unmatched > 0) {
    out += Missing(std::to_string(unmatched) +
                   " case(s) could not be paired with a training value "
                   "and are left out.");
  }
  HistogramSpec spec;
  spec.title = "Leave-self-out residuals";
  spec.xLabel = "Residual (actual minus prediction with K neighbours)";
  spec.histogram = MakeHistogram(residuals, 20);
  spec.markX = 0.0;
  spec.markLabel = "0";
  return out + Figure(RenderHistogram(spec, model.id + "-res"),
                      "Each training case predicted from its K nearest other cases.");
}

std::string QualitySection(const Model& model) {
  std::string out = "<h3>Prediction quality</h3>\n";
  if (model.target.empty())
    return out + Missing("The model has no target, so there is nothing to predict.");
  if (model.entry.confusion) return out + ConfusionSection(model);
  if (model.continuous || !model.entry.sumSquaredErrorText.empty())
    return out + ResidualSection(model);
  return out + Missing(
                   "The document records no confusion matrix and no error measure for this "
                   "target.");
}

// --- nearest-neighbour distances ------------------------------------------------------

std::string DistanceSection(const Model& model) {
  std::string out = "<h3>Distance to the nearest neighbour</h3>\n";
  if (!model.entry.neighbours)
    return out + Missing("The document has no neighbour table for this model.");
  const NeighbourSummary& nb = *model.entry.neighbours;
  std::vector<double> distances;
  for (const double d : nb.nearestDistances) {
    if (std::isfinite(d)) distances.push_back(d);
  }
  if (nb.malformedRows > 0) {
    out += Missing(std::to_string(nb.malformedRows) + " neighbour-table row(s) could not be read.");
  }
  if (distances.empty()) return out + Missing("The neighbour table holds no readable distances.");
  std::vector<double> sorted = distances;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t zeros = static_cast<std::size_t>(std::count(sorted.begin(), sorted.end(), 0.0));
  const double median = sorted.size() % 2 == 1
                            ? sorted[sorted.size() / 2]
                            : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2.0;
  std::string summary = "Over " + FormatCount(static_cast<long long>(sorted.size())) +
                        " training cases the nearest other case lies between " +
                        FormatNumber(sorted.front()) + " and " + FormatNumber(sorted.back()) +
                        " (median " + FormatNumber(median) + ").";
  if (zeros > 0)
    summary +=
        " " + FormatCount(static_cast<long long>(zeros)) + " case(s) have an exact duplicate.";
  out += "<p>" + H(summary) + "</p>\n";
  HistogramSpec spec;
  spec.title = "Distance to the nearest neighbour";
  spec.xLabel = "Distance to the nearest other training case";
  spec.histogram = MakeHistogram(distances, 20);
  return out + Figure(RenderHistogram(spec, model.id + "-nn"),
                      "Distances in the model's own units (rescaled and weighted inputs).");
}

// --- model header ---------------------------------------------------------------------

std::string ModelHeading(const Model& model) {
  const std::string& function = model.entry.functionName;
  if (model.target.empty()) {
    return "Model " + std::to_string(model.index + 1) + ": " +
           (function.empty() ? std::string("no target") : function + " (no target)");
  }
  return "Model " + std::to_string(model.index + 1) + ": " + model.target +
         (function.empty() ? "" : " (" + function + ")");
}

std::string FactsTable(const Model& model) {
  const ModelEntry& m = model.entry;
  std::string rows;
  const auto fact = [&](const std::string& name, const std::string& htmlValue) {
    rows += "<tr><th>" + H(name) + "</th><td>" + htmlValue + "</td></tr>\n";
  };
  const std::string absent = "<span class=\"missing\">not recorded</span>";
  fact("Target", model.target.empty() ? "none" : H(model.target));
  fact("Function", m.functionName.empty() ? absent : H(m.functionName));
  fact("K (neighbours)",
       m.numberOfNeighbors.empty() ? absent : CellNumber(m.numberOfNeighbors, 10));
  fact("Distance", m.distance.empty() ? absent : H(DistanceName(m.distance)));
  std::string scoring;
  if (model.categorical) {
    scoring = Humanise(m.categoricalScoringMethod);
  } else if (model.continuous) {
    scoring = Humanise(m.continuousScoringMethod);
  }
  if (!model.target.empty()) fact("Scoring method", scoring.empty() ? absent : H(scoring));
  std::string cases = absent;
  if (!m.recordCountText.empty()) {
    cases = CellNumber(m.recordCountText, 15);
  } else if (m.neighbours) {
    cases = H(FormatCount(static_cast<long long>(m.neighbours->rowNumbers.size())));
  }
  fact("Training cases", cases);
  if (model.categorical) {
    const std::string* error = m.Parameter("percentIncorrectlyClassifiedCases");
    if (!error) {
      fact("Training error", absent);
    } else if (const auto value = Number(*error)) {
      fact("Training error", H(FormatPercent(*value) + " misclassified"));
    } else {
      fact("Training error", CellNumber(*error));
    }
  } else if (model.continuous) {
    fact("Training error", m.sumSquaredErrorText.empty()
                               ? absent
                               : "sum of squared errors " + CellNumber(m.sumSquaredErrorText));
  }
  if (const std::string* selected = m.Parameter("selectedFeatures")) {
    fact("Features selected", CellNumber(*selected, 10));
  }
  return "<table class=\"facts\">\n" + rows + "</table>\n";
}

std::string ModelSection(const ModelEntry& entry, std::size_t index) {
  Model model{entry, index, "m" + std::to_string(index + 1), std::nullopt, entry.Target(),
              false, false};
  if (const auto k = Number(entry.numberOfNeighbors)) {
    if (*k >= 1 && *k <= 1e9 && std::floor(*k) == *k) model.k = static_cast<int>(*k);
  }
  model.categorical = entry.functionName == "classification" || entry.confusion.has_value();
  model.continuous = !model.categorical && entry.functionName == "regression";
  std::string out = "<section class=\"model\" id=\"" + model.id + "\">\n<h2>" +
                    H(ModelHeading(model)) + "</h2>\n" + FactsTable(model);
  out += KSelectionSection(model);
  out += FeatureSelectionSection(model);
  out += ImportanceSection(model);
  out += QualitySection(model);
  out += DistanceSection(model);
  return out + "</section>\n";
}

// --- document-wide sections -----------------------------------------------------------

std::string SettingsSection(const ReportDocument& document) {
  std::string out = "<section id=\"settings\">\n<h2>Build settings</h2>\n";
  if (!document.hasBuildTask)
    return out + Missing("The document has no build task.") + "</section>\n";
  if (document.settings.empty()) {
    return out + Missing("The build task holds no settings.") + "</section>\n";
  }
  out += "<table class=\"settings\">\n<tr><th>Setting</th><th>Type</th><th>Value</th></tr>\n";
  for (const auto& s : document.settings) {
    const std::string value = s.isList ? JoinNames(s.list, ", ") : s.value;
    out += "<tr><td>" + H(s.name) + "</td><td>" + H(s.isList ? "list" : s.type) + "</td><td>" +
           H(value) + "</td></tr>\n";
  }
  return out + "</table>\n</section>\n";
}

std::string RangeText(const DataFieldEntry& field) {
  if (field.hasInterval) {
    const bool openLeft = field.closure.rfind("open", 0) == 0;
    const bool openRight = field.closure.size() >= 4 &&
                           field.closure.compare(field.closure.size() - 4, 4, "Open") == 0;
    return std::string(openLeft ? "(" : "[") + NumberOrRaw(field.leftMargin, 6) + ", " +
           NumberOrRaw(field.rightMargin, 6) + (openRight ? ")" : "]");
  }
  if (field.values.empty()) return "";
  constexpr std::size_t kShown = 30;
  std::vector<std::string> shown(field.values.begin(),
                                 field.values.begin() + std::min(field.values.size(), kShown));
  std::string text = JoinNames(shown, ", ");
  if (field.values.size() > kShown) {
    text += " and " + std::to_string(field.values.size() - kShown) + " more";
  }
  return text;
}

std::string DictionarySection(const ReportDocument& document) {
  std::string out = "<section id=\"data-dictionary\">\n<h2>Data dictionary</h2>\n";
  if (!document.hasDataDictionary) {
    return out + Missing("The document has no data dictionary.") + "</section>\n";
  }
  out +=
      "<table class=\"dictionary\">\n<tr><th>Field</th><th>Display name</th><th>Measure</th>"
      "<th>Data type</th><th>Range or categories</th></tr>\n";
  for (const auto& f : document.dataFields) {
    out += "<tr><td>" + H(f.name) + "</td><td>" + H(f.displayName) + "</td><td>" + H(f.optype) +
           "</td><td>" + H(f.dataType) + "</td><td>" + H(RangeText(f)) + "</td></tr>\n";
  }
  return out + "</table>\n</section>\n";
}

}  // namespace

void WriteReportHtml(const ReportDocument& document, const std::string& sourceName,
                     std::ostream& html) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Model report: " +
      H(sourceName) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  out +=
      "<header>\n<h1>Nearest-neighbour model report</h1>\n<p class=\"subtitle\">" + H(sourceName);
  if (!document.version.empty()) out += " &#183; PMML " + H(document.version);
  if (!document.applicationName.empty()) {
    out += " &#183; written by " + H(document.applicationName) +
           (document.applicationVersion.empty() ? "" : " " + H(document.applicationVersion));
  }
  out += " &#183; " + std::to_string(document.models.size()) + " model(s)</p>\n</header>\n";

  out += "<nav>\n<ol>\n";
  for (std::size_t i = 0; i < document.models.size(); ++i) {
    const ModelEntry& m = document.models[i];
    const std::string target = m.Target();
    out += "<li><a href=\"#m" + std::to_string(i + 1) + "\">" +
           H(target.empty() ? "Model " + std::to_string(i + 1) + " (no target)" : target) +
           "</a></li>\n";
  }
  out +=
      "<li><a href=\"#settings\">Build settings</a></li>\n"
      "<li><a href=\"#data-dictionary\">Data dictionary</a></li>\n</ol>\n</nav>\n";

  std::vector<std::string> notes = document.notes;
  if (document.models.empty()) {
    notes.push_back("The document holds no nearest-neighbour model.");
  }
  if (!document.otherElements.empty()) {
    notes.push_back("Not shown in this report: " + JoinNames(document.otherElements, ", ") + ".");
  }
  if (!notes.empty()) {
    out += "<div class=\"notes\">\n";
    for (const auto& note : notes) out += "<p>" + H(note) + "</p>\n";
    out += "</div>\n";
  }
  html << out;
  for (std::size_t i = 0; i < document.models.size(); ++i) {
    html << ModelSection(document.models[i], i);
  }
  html << SettingsSection(document) << DictionarySection(document) << "</body>\n</html>\n";
}

}  // namespace knnreport
