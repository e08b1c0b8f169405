// What the report needs from a PMML model document, read with libxml2's streaming reader so
// that the per-case tables of a large document never sit in memory as a tree. Everything is
// optional: a document from another producer fills what it has, and `notes` say what could
// not be read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace knnreport {

struct SettingEntry {
  std::string name;
  std::string type;
  std::string value;
  std::vector<std::string> list;  // the Values of a list-valued setting
  bool isList = false;
};

struct DataFieldEntry {
  std::string name;
  std::string displayName;
  std::string optype;
  std::string dataType;
  bool hasInterval = false;
  std::string closure;
  std::string leftMargin;
  std::string rightMargin;
  std::vector<std::string> values;  // category values, "value (label)" when labelled
};

struct MiningFieldEntry {
  std::string name;
  std::string usageType;
  std::string importanceText;  // as written; empty when absent
  std::string weightText;
};

// A semicolon-separated table of the model's vendor extension, kept as texts.
struct TextTable {
  std::string name;
  std::string method;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

// The per-case neighbour table reduced to what the report shows: for every case its row
// number, case identifier, distance to its nearest neighbour and the prediction with all
// of its K neighbours.
struct NeighbourSummary {
  std::string caseIdName;
  int neighbourCount = 0;  // K of the table, from its header
  bool hasPredictions = false;
  std::vector<long long> rowNumbers;
  std::vector<std::string> caseIds;
  std::vector<double> nearestDistances;  // NaN when unreadable
  std::vector<double> finalPredictions;  // NaN when unreadable or absent
  std::size_t malformedRows = 0;
};

struct ConfusionEntry {
  std::vector<std::string> labels;
  std::vector<std::vector<double>> counts;  // actual x predicted; NaN for unreadable cells
};

struct ModelEntry {
  std::string functionName;
  std::string numberOfNeighbors;
  std::string continuousScoringMethod;
  std::string categoricalScoringMethod;
  std::string instanceIdVariable;
  std::string distance;  // local name of the ComparisonMeasure's measure element
  std::vector<MiningFieldEntry> miningFields;
  std::vector<std::string> statsFields;  // UnivariateStats order: the model's feature order
  std::vector<std::string> knnInputs;
  std::optional<TextTable> kSelection;
  std::optional<TextTable> featureSelection;
  std::optional<TextTable> featureKSelection;
  std::optional<NeighbourSummary> neighbours;
  bool hasProbabilityTable = false;
  std::vector<SettingEntry> parameters;  // the extension's Parameters
  std::string qualityTarget;
  std::string sumSquaredErrorText;
  std::optional<ConfusionEntry> confusion;
  std::string recordCountText;
  std::vector<std::pair<std::string, std::string>> instanceFields;  // field, column
  std::string targetColumnField;             // the field whose training values were kept
  std::vector<std::string> targetValues;     // per training row, for the residuals
  std::vector<std::string> instanceCaseIds;  // per training row, the case identifier
  bool hasTrainingInstances = false;

  // The predicted field from the mining schema, else the quality block's target.
  std::string Target() const;
  const std::string* Parameter(const std::string& name) const;
};

struct ReportDocument {
  std::string rootName;
  std::string version;
  std::string applicationName;
  std::string applicationVersion;
  std::string copyright;
  std::vector<SettingEntry> settings;
  bool hasBuildTask = false;
  std::vector<DataFieldEntry> dataFields;
  bool hasDataDictionary = false;
  std::vector<ModelEntry> models;
  std::vector<std::string> otherElements;  // top-level elements the report does not show
  std::vector<std::string> notes;
};

// Reads the document at path. Returns false with a one-line reason when the file cannot be
// opened or is not well-formed XML; the network and external DTDs are never touched.
bool ReadReportDocument(const std::string& path, ReportDocument& document, std::string& error);

// Splits a table row on ";" (no escaping is used by the tables).
std::vector<std::string> SplitCells(const std::string& text);

// Splits the text of a PMML string Array: blank-separated entries, double-quoted entries
// with \" and \\ escapes.
std::vector<std::string> SplitStringArray(const std::string& text);

}  // namespace knnreport
