#include "scored_csv.h"

#include "cell_conversion.h"
#include "host/vel_missing.h"
#include "settings_info.h"

namespace knncli {
namespace {

std::string NumberCell(double value) {
  return value == VelMV::gMissingValue ? std::string() : NumberText15(value);
}

std::string CategoryCell(const VelMTD::IVelVariable* variable, double code) {
  if (variable == nullptr || variable->GetCategories() == nullptr) return std::string();
  const VelMTD::VelCategories& categories = *variable->GetCategories();
  if (!(code >= 0.0 && code < categories.Size())) return std::string();
  return CsvCell(categories.CategoryValue(static_cast<int>(code)));
}

}  // namespace

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

bool ScoredCsvLayout::Init(const SettingsInfo& settings,
                           const std::vector<std::vector<double>>& probe, std::string& error) {
  targets_.clear();
  caseLabel_ = settings.variables->GetVarAt(settings.caseLabel);
  const size_t expected = settings.responses.empty() ? 1 : settings.responses.size();
  if (probe.size() != expected) {
    error = "the component answered " + std::to_string(probe.size()) + " results for " +
            std::to_string(expected) + " targets";
    return false;
  }
  for (size_t r = 0; r < expected; ++r) {
    Target target;
    target.resultSize = probe[r].size();
    size_t perNeighbour = 3;  // ID, distance, label
    size_t fixed = 0;
    if (!settings.responses.empty()) {
      target.variable = settings.variables->GetVarAt(settings.responses[r]);
      target.prefix = target.variable->GetName() + ":";
      perNeighbour = 4;  // plus a prediction for each k
      if (target.variable->GetMeasureKind() != VelMTD::kContinuous) {
        target.categories = target.variable->GetCategoryCount();
        fixed = static_cast<size_t>(target.categories);
      }
    }
    if (target.resultSize < fixed || (target.resultSize - fixed) % perNeighbour != 0) {
      error = "the component's result for target " + std::to_string(r) + " has " +
              std::to_string(target.resultSize) + " values, which fits no neighbour count";
      return false;
    }
    target.neighbours = static_cast<int>((target.resultSize - fixed) / perNeighbour);
    targets_.push_back(target);
  }
  return true;
}

int ScoredCsvLayout::ColumnsOf(const Target& target) const {
  const int perNeighbour = (target.variable != nullptr ? 3 : 2) + (caseLabel_ != nullptr ? 1 : 0);
  return perNeighbour * target.neighbours + target.categories;
}

std::string ScoredCsvLayout::Header() const {
  std::string line = "row,status";
  for (const Target& target : targets_) {
    const std::string prefix = CsvCell(target.prefix);
    auto series = [&](const char* name) {
      for (int k = 1; k <= target.neighbours; ++k) {
        line += "," + CsvCell(target.prefix + name + std::to_string(k));
      }
    };
    series("neighbor");
    series("distance");
    if (target.variable != nullptr) series("prediction");
    for (int c = 0; c < target.categories; ++c) {
      line += "," + CsvCell(target.prefix + "probability-" +
                            target.variable->GetCategories()->CategoryValue(c));
    }
    if (caseLabel_ != nullptr) series("label");
  }
  return line;
}

void ScoredCsvLayout::AppendTarget(const Target& target, const std::vector<double>& result,
                                   std::string& line) const {
  const size_t n = static_cast<size_t>(target.neighbours);
  const size_t categories = static_cast<size_t>(target.categories);
  // Result layout: IDs, distances, [probabilities, codes | values], labels.
  for (size_t i = 0; i < n; ++i) line += "," + NumberCell(result[i]);
  for (size_t i = 0; i < n; ++i) line += "," + NumberCell(result[n + i]);
  size_t labels = 2 * n;
  if (target.variable != nullptr) {
    const size_t predictions = 2 * n + categories;
    for (size_t i = 0; i < n; ++i) {
      const double value = result[predictions + i];
      line += ",";
      line += categories > 0 ? CategoryCell(target.variable, value) : NumberCell(value);
    }
    for (size_t c = 0; c < categories; ++c) line += "," + NumberCell(result[2 * n + c]);
    labels = predictions + n;
  }
  if (caseLabel_ != nullptr) {
    for (size_t i = 0; i < n; ++i) line += "," + CategoryCell(caseLabel_, result[labels + i]);
  }
}

std::string ScoredCsvLayout::Row(long row, long status,
                                 const std::vector<std::vector<double>>* results) const {
  std::string line = std::to_string(row) + "," + std::to_string(status);
  bool shaped = results != nullptr && results->size() == targets_.size();
  for (size_t r = 0; shaped && r < targets_.size(); ++r) {
    shaped = (*results)[r].size() == targets_[r].resultSize;
  }
  for (size_t r = 0; r < targets_.size(); ++r) {
    if (shaped) {
      AppendTarget(targets_[r], (*results)[r], line);
    } else {
      line.append(static_cast<size_t>(ColumnsOf(targets_[r])), ',');
    }
  }
  return line;
}

}  // namespace knncli
