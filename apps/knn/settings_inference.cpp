#include "settings_inference.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "cell_conversion.h"
#include "csv_reader.h"

namespace knncli {
namespace {

struct ColumnStats {
  std::string name;
  bool numeric = true;
  bool integral = true;
  bool anyValue = false;
  double min = 0.0;
  double max = 0.0;
  std::vector<std::string> values;  // distinct non-missing texts, first seen first
  std::unordered_set<std::string> seen;
};

void Observe(ColumnStats& column, const std::string& cell) {
  if (IsMissingToken(cell)) return;
  const std::string text(TrimBlanks(cell));
  if (column.seen.insert(text).second) column.values.push_back(text);
  double value = 0.0;
  if (column.numeric && ParseFiniteNumber(text, value)) {
    if (!column.anyValue || value < column.min) column.min = value;
    if (!column.anyValue || value > column.max) column.max = value;
    if (value != std::floor(value)) column.integral = false;
  } else {
    column.numeric = false;
  }
  column.anyValue = true;
}

std::string UniqueName(const std::string& wanted, const std::vector<ColumnStats>& columns) {
  auto taken = [&](const std::string& candidate) {
    return std::any_of(columns.begin(), columns.end(),
                       [&](const ColumnStats& c) { return c.name == candidate; });
  };
  if (!taken(wanted)) return wanted;
  for (int i = 2;; ++i) {
    const std::string candidate = wanted + "_" + std::to_string(i);
    if (!taken(candidate)) return candidate;
  }
}

std::string Param(const std::string& key, const std::string& value) {
  return "  <param name=\"" + key + "\">" + XmlEscape(value) + "</param>\n";
}

}  // namespace

std::string XmlEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

bool InferSettings(std::string_view csvText, const std::string& name, const InferOptions& options,
                   std::string& document, std::vector<std::string>& notes, std::string& error) {
  CsvReader reader(csvText);
  std::vector<std::string> cells;
  if (!reader.Next(cells)) {
    error = reader.Error().empty()
                ? name + ": the file is empty (a header row is expected)"
                : name + " line " + std::to_string(reader.Line()) + ": " + reader.Error();
    return false;
  }
  std::vector<ColumnStats> columns(cells.size());
  for (size_t c = 0; c < cells.size(); ++c) {
    columns[c].name = std::string(TrimBlanks(cells[c]));
    for (size_t d = 0; d < c; ++d) {
      if (columns[d].name == columns[c].name) {
        error = name + ": the header names column '" + columns[c].name + "' twice";
        return false;
      }
    }
  }
  long rows = 0;
  while (reader.Next(cells)) {
    if (cells.size() != columns.size()) {
      error = name + " line " + std::to_string(reader.Line()) + ": " +
              std::to_string(cells.size()) + " cells, but the header has " +
              std::to_string(columns.size());
      return false;
    }
    for (size_t c = 0; c < cells.size(); ++c) Observe(columns[c], cells[c]);
    ++rows;
  }
  if (!reader.Error().empty()) {
    error = name + " line " + std::to_string(reader.Line()) + ": " + reader.Error();
    return false;
  }

  auto find = [&](const std::string& column) -> int {
    for (size_t c = 0; c < columns.size(); ++c) {
      if (columns[c].name == column) return static_cast<int>(c);
    }
    return -1;
  };
  auto require = [&](const std::string& column, const char* option) -> int {
    const int index = find(column);
    if (index < 0) error = std::string(option) + " '" + column + "' is not a column of " + name;
    return index;
  };

  std::vector<int> targets;
  for (const std::string& target : options.targets) {
    const int index = require(target, "--target");
    if (index < 0) return false;
    if (std::find(targets.begin(), targets.end(), index) != targets.end()) {
      error = "--target '" + target + "' is given twice";
      return false;
    }
    targets.push_back(index);
  }
  int id = -1;
  if (!options.id.empty()) {
    if ((id = require(options.id, "--id")) < 0) return false;
  } else {
    id = find("id") >= 0 ? find("id") : find("ID");
  }
  if (id >= 0 &&
      (!columns[static_cast<size_t>(id)].numeric || !columns[static_cast<size_t>(id)].anyValue)) {
    error = "the case ID column '" + columns[static_cast<size_t>(id)].name + "' must hold numbers";
    return false;
  }
  int label = -1;
  if (!options.label.empty() && (label = require(options.label, "--label")) < 0) return false;
  int focal = -1;
  if (!options.focal.empty() && (focal = require(options.focal, "--focal")) < 0) return false;
  for (const int special : {id, label, focal}) {
    if (special >= 0 && std::find(targets.begin(), targets.end(), special) != targets.end()) {
      error = "column '" + columns[static_cast<size_t>(special)].name +
              "' cannot be a target and the case ID, label or focal field at once";
      return false;
    }
  }
  if (label >= 0 && (label == id || label == focal)) {
    error = "column '" + columns[static_cast<size_t>(label)].name + "' cannot have two roles";
    return false;
  }
  if (focal >= 0 && focal == id) {
    error = "column '" + columns[static_cast<size_t>(focal)].name + "' cannot have two roles";
    return false;
  }

  std::string fields;
  for (size_t c = 0; c < columns.size(); ++c) {
    const ColumnStats& column = columns[c];
    const std::string fieldName = XmlEscape(column.name);
    const bool continuous = column.numeric && column.anyValue && static_cast<int>(c) != label;
    if (continuous) {
      const bool isId = static_cast<int>(c) == id;
      fields += "    <field name=\"" + fieldName + "\" optype=\"continuous\" dataType=\"" +
                (isId && column.integral ? "integer" : "double") + "\" min=\"" +
                ShortestNumberText(column.min) + "\" max=\"" + ShortestNumberText(column.max) +
                "\"/>\n";
      if (column.min == column.max) {
        notes.push_back("column '" + column.name + "' holds the single value " +
                        ShortestNumberText(column.min) +
                        "; widen its min/max or remove the field before building");
      }
      continue;
    }
    if (!column.anyValue) notes.push_back("column '" + column.name + "' holds no value");
    fields += "    <field name=\"" + fieldName + "\" optype=\"categorical\" dataType=\"string\">\n";
    for (const std::string& value : column.values) {
      fields += "      <value value=\"" + XmlEscape(value) + "\"/>\n";
    }
    fields += "    </field>\n";
  }
  std::string idName = id >= 0 ? columns[static_cast<size_t>(id)].name : "id";
  if (id < 0) {
    fields += "    <field name=\"id\" optype=\"continuous\" dataType=\"integer\" min=\"1\" max=\"" +
              std::to_string(std::max<long>(rows, 1)) + "\" generated=\"row-number\"/>\n";
  }
  std::string focalName =
      focal >= 0 ? columns[static_cast<size_t>(focal)].name : UniqueName("focal", columns);
  if (focal < 0) {
    fields += "    <field name=\"" + XmlEscape(focalName) +
              "\" optype=\"categorical\" dataType=\"integer\" default=\"0\">\n"
              "      <value value=\"0\"/><value value=\"1\"/>\n    </field>\n";
  }

  std::string targetList;
  for (const int t : targets) {
    targetList += "    <field name=\"" + XmlEscape(columns[static_cast<size_t>(t)].name) + "\"/>\n";
  }
  std::string inputList;
  int inputCount = 0;
  for (size_t c = 0; c < columns.size(); ++c) {
    const int index = static_cast<int>(c);
    if (index == id || index == label || index == focal ||
        std::find(targets.begin(), targets.end(), index) != targets.end()) {
      continue;
    }
    inputList += "    <field name=\"" + XmlEscape(columns[c].name) + "\"/>\n";
    ++inputCount;
  }
  if (inputCount == 0) notes.push_back("no column is left as an input");

  document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings>\n  <fields>\n" + fields +
             "  </fields>\n  <targets>\n" + targetList + "  </targets>\n  <inputs>\n" + inputList +
             "  </inputs>\n" + Param("CaseIDVar", idName) + Param("FocalVar", focalName);
  if (label >= 0) {
    document += Param("use_caselabels", "true") +
                Param("CaseLabelVar", columns[static_cast<size_t>(label)].name);
  }
  document += Param("IsAutoKSelection", "false") + Param("IsFeatureSelection", "false") +
              Param("SpecifiedK", "3") + Param("TempFileDir", "") + "</settings>\n";
  return true;
}

}  // namespace knncli
