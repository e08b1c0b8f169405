#include "report/report_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>

#include "report/svg_format.h"

namespace knnreport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- tree helpers (for subtrees expanded by the reader) ---

std::string NodeName(const xmlNode* node) {
  return node && node->name ? reinterpret_cast<const char*>(node->name) : "";
}

std::string Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return "";
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

std::string Content(const xmlNode* node) {
  xmlChar* value = xmlNodeGetContent(node);
  if (!value) return "";
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

std::vector<const xmlNode*> Elements(const xmlNode* parent, const char* name = nullptr) {
  std::vector<const xmlNode*> found;
  for (const xmlNode* child = parent ? parent->children : nullptr; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (name && NodeName(child) != name) continue;
    found.push_back(child);
  }
  return found;
}

const xmlNode* FirstElement(const xmlNode* parent, const char* name) {
  const auto found = Elements(parent, name);
  return found.empty() ? nullptr : found.front();
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// --- reader helpers ---

std::string ReaderName(xmlTextReaderPtr reader) {
  const xmlChar* name = xmlTextReaderConstLocalName(reader);
  return name ? reinterpret_cast<const char*>(name) : "";
}

std::string ReaderAttribute(xmlTextReaderPtr reader, const char* name) {
  xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(name));
  if (!value) return "";
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

// A visitor gets the reader on a child element; it must consume that element's whole
// subtree and return the reader's last result (1: more to read, 0: end, -1: error).
using ChildVisitor = std::function<int(xmlTextReaderPtr, const std::string&)>;

// Visits the child elements of the element the reader is on, then leaves the reader on the
// node after that element.
int ForEachChild(xmlTextReaderPtr reader, const ChildVisitor& visit) {
  const int depth = xmlTextReaderDepth(reader);
  if (xmlTextReaderIsEmptyElement(reader)) return xmlTextReaderRead(reader);
  int status = xmlTextReaderRead(reader);
  while (status == 1) {
    const int nodeDepth = xmlTextReaderDepth(reader);
    if (nodeDepth <= depth) return xmlTextReaderRead(reader);  // the parent's end tag
    if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT && nodeDepth == depth + 1) {
      status = visit(reader, ReaderName(reader));
      continue;
    }
    status = xmlTextReaderRead(reader);
  }
  return status;
}

// Expands the current element into a small tree for `use`, then skips past it.
int WithTree(xmlTextReaderPtr reader, const std::function<void(const xmlNode*)>& use) {
  const xmlNode* node = xmlTextReaderExpand(reader);
  if (!node) return -1;
  use(node);
  return xmlTextReaderNext(reader);
}

int Skip(xmlTextReaderPtr reader) {
  return xmlTextReaderNext(reader);
}

// --- element readers ---

void ReadParameters(const xmlNode* parameters, std::vector<SettingEntry>& into) {
  for (const xmlNode* p : Elements(parameters, "Parameter")) {
    SettingEntry entry;
    entry.name = Attribute(p, "name");
    entry.type = Attribute(p, "type");
    entry.value = Attribute(p, "value");
    if (const xmlNode* list = FirstElement(p, "ListValue")) {
      entry.isList = true;
      for (const xmlNode* v : Elements(list, "Value")) entry.list.push_back(Attribute(v, "value"));
    }
    into.push_back(std::move(entry));
  }
}

void ReadBuildTask(const xmlNode* task, ReportDocument& document) {
  document.hasBuildTask = true;
  // The settings live in a vendor extension; recognise it by its Parameters, not its name.
  for (const xmlNode* extension : Elements(task, "Extension")) {
    for (const xmlNode* parameters : Elements(extension, "Parameters")) {
      ReadParameters(parameters, document.settings);
    }
  }
}

void ReadDataDictionary(const xmlNode* dictionary, ReportDocument& document) {
  document.hasDataDictionary = true;
  for (const xmlNode* field : Elements(dictionary, "DataField")) {
    DataFieldEntry entry;
    entry.name = Attribute(field, "name");
    entry.displayName = Attribute(field, "displayName");
    entry.optype = Attribute(field, "optype");
    entry.dataType = Attribute(field, "dataType");
    if (const xmlNode* interval = FirstElement(field, "Interval")) {
      entry.hasInterval = true;
      entry.closure = Attribute(interval, "closure");
      entry.leftMargin = Attribute(interval, "leftMargin");
      entry.rightMargin = Attribute(interval, "rightMargin");
    }
    for (const xmlNode* value : Elements(field, "Value")) {
      const std::string label = Attribute(value, "displayValue");
      entry.values.push_back(Attribute(value, "value") + (label.empty() ? "" : " (" + label + ")"));
    }
    document.dataFields.push_back(std::move(entry));
  }
}

void ReadHeader(const xmlNode* header, ReportDocument& document) {
  document.copyright = Attribute(header, "copyright");
  if (const xmlNode* application = FirstElement(header, "Application")) {
    document.applicationName = Attribute(application, "name");
    document.applicationVersion = Attribute(application, "version");
  }
}

TextTable ReadTable(const xmlNode* table) {
  TextTable result;
  result.name = Attribute(table, "name");
  for (const xmlNode* metadata : Elements(table, "Metadata")) {
    if (Attribute(metadata, "name") == "method") result.method = Attribute(metadata, "value");
  }
  if (const xmlNode* columns = FirstElement(table, "ColumnNames")) {
    result.columns = SplitCells(Trim(Content(columns)));
  }
  for (const xmlNode* row : Elements(table, "Row"))
    result.rows.push_back(SplitCells(Trim(Content(row))));
  return result;
}

void ReadNeighbourHeader(const std::string& header, NeighbourSummary& summary, int& distanceColumn,
                         int& predictionColumn) {
  const auto columns = SplitCells(Trim(header));
  summary.caseIdName = columns.size() > 1 ? columns[1] : "";
  int neighbours = 0;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string& c = columns[i];
    if (c.rfind("neighbor", 0) == 0) ++neighbours;
    if (c == "distance1") distanceColumn = static_cast<int>(i);
  }
  summary.neighbourCount = neighbours;
  const std::string lastPrediction = "prediction" + std::to_string(neighbours);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (neighbours > 0 && columns[i] == lastPrediction) predictionColumn = static_cast<int>(i);
  }
  summary.hasPredictions = predictionColumn >= 0;
}

int ReadNeighbourTable(xmlTextReaderPtr reader, ModelEntry& model) {
  NeighbourSummary summary;
  int distanceColumn = -1;
  int predictionColumn = -1;
  bool sawHeader = false;
  const int status = ForEachChild(reader, [&](xmlTextReaderPtr r, const std::string& name) {
    if (name == "ColumnNames") {
      return WithTree(r, [&](const xmlNode* node) {
        ReadNeighbourHeader(Content(node), summary, distanceColumn, predictionColumn);
        sawHeader = true;
      });
    }
    if (name != "Row") return Skip(r);
    return WithTree(r, [&](const xmlNode* node) {
      const auto cells = SplitCells(Trim(Content(node)));
      double rowNumber = 0.0;
      double distance = kNaN;
      double prediction = kNaN;
      const auto cell = [&](int index, double& value) {
        return index >= 0 && static_cast<std::size_t>(index) < cells.size() &&
               ParseNumber(cells[static_cast<std::size_t>(index)], value);
      };
      const bool ok = sawHeader && cell(0, rowNumber) && cell(distanceColumn, distance) &&
                      (predictionColumn < 0 || cell(predictionColumn, prediction));
      if (!ok) ++summary.malformedRows;
      summary.rowNumbers.push_back(ok ? static_cast<long long>(rowNumber) : -1);
      summary.caseIds.push_back(cells.size() > 1 ? cells[1] : "");
      summary.nearestDistances.push_back(ok ? distance : kNaN);
      summary.finalPredictions.push_back(ok ? prediction : kNaN);
    });
  });
  model.neighbours = std::move(summary);
  return status;
}

int ReadModelExtension(xmlTextReaderPtr reader, ModelEntry& model) {
  return ForEachChild(reader, [&](xmlTextReaderPtr r, const std::string& name) {
    if (name == "Parameter") {
      return WithTree(r, [&](const xmlNode* node) {
        model.parameters.push_back({Attribute(node, "name"),
                                    Attribute(node, "type"),
                                    Attribute(node, "value"),
                                    {},
                                    false});
      });
    }
    if (name != "SimpleTable") return Skip(r);
    const std::string table = ReaderAttribute(r, "name");
    if (table == "neighborsDistances") return ReadNeighbourTable(r, model);
    if (table == "predictionProbability") {
      model.hasProbabilityTable = true;
      return Skip(r);
    }
    if (table != "KSelection" && table != "FeatureSelection" && table != "FeatureKSelection") {
      return Skip(r);
    }
    return WithTree(r, [&](const xmlNode* node) {
      TextTable read = ReadTable(node);
      if (table == "KSelection") model.kSelection = std::move(read);
      if (table == "FeatureSelection") model.featureSelection = std::move(read);
      if (table == "FeatureKSelection") model.featureKSelection = std::move(read);
    });
  });
}

void ReadMiningSchema(const xmlNode* schema, ModelEntry& model) {
  for (const xmlNode* field : Elements(schema, "MiningField")) {
    MiningFieldEntry entry;
    entry.name = Attribute(field, "name");
    entry.usageType = Attribute(field, "usageType");
    entry.importanceText = Attribute(field, "importance");
    for (const xmlNode* extension : Elements(field, "Extension")) {
      if (Attribute(extension, "name") == "weight")
        entry.weightText = Attribute(extension, "value");
    }
    model.miningFields.push_back(std::move(entry));
  }
}

void ReadExplanation(const xmlNode* explanation, ModelEntry& model) {
  const xmlNode* quality = FirstElement(explanation, "PredictiveModelQuality");
  if (!quality) return;
  model.qualityTarget = Attribute(quality, "targetField");
  model.sumSquaredErrorText = Attribute(quality, "sumSquaredError");
  const xmlNode* matrix = FirstElement(quality, "ConfusionMatrix");
  if (!matrix) return;
  ConfusionEntry confusion;
  if (const xmlNode* labels = FirstElement(matrix, "ClassLabels")) {
    if (const xmlNode* array = FirstElement(labels, "Array")) {
      confusion.labels = SplitStringArray(Content(array));
    }
  }
  if (const xmlNode* counts = FirstElement(matrix, "Matrix")) {
    for (const xmlNode* array : Elements(counts, "Array")) {
      std::vector<double> row;
      for (const auto& text : SplitStringArray(Content(array))) {
        double value = kNaN;
        row.push_back(ParseNumber(text, value) ? value : kNaN);
      }
      confusion.counts.push_back(std::move(row));
    }
  }
  model.confusion = std::move(confusion);
}

int ReadTrainingInstances(xmlTextReaderPtr reader, ModelEntry& model) {
  model.hasTrainingInstances = true;
  model.recordCountText = ReaderAttribute(reader, "recordCount");
  std::string targetColumn;
  std::string caseIdColumn;
  return ForEachChild(reader, [&](xmlTextReaderPtr r, const std::string& name) {
    if (name == "InstanceFields") {
      return WithTree(r, [&](const xmlNode* node) {
        for (const xmlNode* field : Elements(node, "InstanceField")) {
          model.instanceFields.emplace_back(Attribute(field, "field"), Attribute(field, "column"));
        }
        // Keep the target's training values (for residuals) and the case identifiers (to
        // check that neighbour rows and training rows line up).
        const std::string target = model.Target();
        const std::string caseId = model.neighbours ? model.neighbours->caseIdName : "";
        for (const auto& [field, column] : model.instanceFields) {
          if (!target.empty() && field == target) targetColumn = column;
          if (!caseId.empty() && field == caseId) caseIdColumn = column;
        }
        if (!targetColumn.empty()) model.targetColumnField = target;
      });
    }
    if (name != "InlineTable" || (targetColumn.empty() && caseIdColumn.empty())) return Skip(r);
    return ForEachChild(r, [&](xmlTextReaderPtr rowReader, const std::string& rowName) {
      if (rowName != "row") return Skip(rowReader);
      return WithTree(rowReader, [&](const xmlNode* row) {
        std::string target;
        std::string caseId;
        for (const xmlNode* cell : Elements(row)) {
          const std::string cellName = NodeName(cell);
          if (cellName == targetColumn) target = Trim(Content(cell));
          if (cellName == caseIdColumn) caseId = Trim(Content(cell));
        }
        model.targetValues.push_back(std::move(target));
        model.instanceCaseIds.push_back(std::move(caseId));
      });
    });
  });
}

int ReadModel(xmlTextReaderPtr reader, ReportDocument& document) {
  ModelEntry model;
  model.functionName = ReaderAttribute(reader, "functionName");
  model.numberOfNeighbors = ReaderAttribute(reader, "numberOfNeighbors");
  model.continuousScoringMethod = ReaderAttribute(reader, "continuousScoringMethod");
  model.categoricalScoringMethod = ReaderAttribute(reader, "categoricalScoringMethod");
  model.instanceIdVariable = ReaderAttribute(reader, "instanceIdVariable");
  const int status = ForEachChild(reader, [&](xmlTextReaderPtr r, const std::string& name) {
    if (name == "Extension") return ReadModelExtension(r, model);
    if (name == "TrainingInstances") return ReadTrainingInstances(r, model);
    return WithTree(r, [&](const xmlNode* node) {
      if (name == "MiningSchema") {
        ReadMiningSchema(node, model);
      } else if (name == "ModelStats") {
        for (const xmlNode* stats : Elements(node, "UnivariateStats")) {
          model.statsFields.push_back(Attribute(stats, "field"));
        }
      } else if (name == "ModelExplanation") {
        ReadExplanation(node, model);
      } else if (name == "ComparisonMeasure") {
        const auto measures = Elements(node);
        if (!measures.empty()) model.distance = NodeName(measures.front());
      } else if (name == "KNNInputs") {
        for (const xmlNode* input : Elements(node, "KNNInput")) {
          model.knnInputs.push_back(Attribute(input, "field"));
        }
      }
    });
  });
  document.models.push_back(std::move(model));
  return status;
}

int ReadTopLevel(xmlTextReaderPtr reader, const std::string& name, ReportDocument& document) {
  if (name == "NearestNeighborModel") return ReadModel(reader, document);
  if (name == "Header") return WithTree(reader, [&](const xmlNode* n) { ReadHeader(n, document); });
  if (name == "MiningBuildTask") {
    return WithTree(reader, [&](const xmlNode* n) { ReadBuildTask(n, document); });
  }
  if (name == "DataDictionary") {
    return WithTree(reader, [&](const xmlNode* n) { ReadDataDictionary(n, document); });
  }
  const std::string label = ReaderAttribute(reader, "name");
  document.otherElements.push_back(label.empty() ? name : name + " \"" + label + "\"");
  return Skip(reader);
}

struct ErrorSink {
  std::string message;
};

void CollectError(void* context, xmlErrorPtr error) {
  auto* sink = static_cast<ErrorSink*>(context);
  if (!error || error->level == XML_ERR_WARNING || !sink->message.empty()) return;
  std::string text = error->message ? error->message : "unknown error";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  sink->message = "line " + std::to_string(error->line) + ": " + text;
}

// Model documents are read with every outside resource refused: no DTD, no entity, no URL.
xmlParserInputPtr RefuseExternal(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

class ExternalLoaderGuard {
 public:
  ExternalLoaderGuard() : previous_(xmlGetExternalEntityLoader()) {
    xmlSetExternalEntityLoader(RefuseExternal);
  }
  ~ExternalLoaderGuard() { xmlSetExternalEntityLoader(previous_); }
  ExternalLoaderGuard(const ExternalLoaderGuard&) = delete;
  ExternalLoaderGuard& operator=(const ExternalLoaderGuard&) = delete;

 private:
  xmlExternalEntityLoader previous_;
};

}  // namespace

std::string ModelEntry::Target() const {
  for (const auto& field : miningFields) {
    if (field.usageType == "predicted" || field.usageType == "target") return field.name;
  }
  return qualityTarget;
}

const std::string* ModelEntry::Parameter(const std::string& name) const {
  for (const auto& parameter : parameters) {
    if (parameter.name == name) return &parameter.value;
  }
  return nullptr;
}

std::vector<std::string> SplitCells(const std::string& text) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(';', start);
    cells.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return cells;
}

std::vector<std::string> SplitStringArray(const std::string& text) {
  std::vector<std::string> entries;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && blank(text[i])) ++i;
    if (i >= text.size()) break;
    const bool quoted = text[i] == '"';
    if (quoted) ++i;
    std::string entry;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
        entry += text[i + 1];
        i += 2;
        continue;
      }
      if (quoted ? c == '"' : blank(c)) break;
      entry += c;
      ++i;
    }
    if (quoted && i < text.size()) ++i;  // the closing quote
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool ReadReportDocument(const std::string& path, ReportDocument& document, std::string& error) {
  document = ReportDocument();
  if (!std::ifstream(path, std::ios::binary).is_open()) {
    error = "cannot open '" + path + "'";
    return false;
  }
  ExternalLoaderGuard guard;
  xmlTextReaderPtr reader = xmlReaderForFile(
      path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!reader) {
    error = "cannot read '" + path + "'";
    return false;
  }
  ErrorSink sink;
  xmlTextReaderSetStructuredErrorHandler(reader, CollectError, &sink);
  int status = xmlTextReaderRead(reader);
  while (status == 1) {
    if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT &&
        xmlTextReaderDepth(reader) == 0) {
      document.rootName = ReaderName(reader);
      document.version = ReaderAttribute(reader, "version");
      status = ForEachChild(reader, [&](xmlTextReaderPtr r, const std::string& name) {
        return ReadTopLevel(r, name, document);
      });
      continue;
    }
    status = xmlTextReaderRead(reader);
  }
  xmlFreeTextReader(reader);
  if (status < 0 || !sink.message.empty() || document.rootName.empty()) {
    error = "'" + path + "' is not a well-formed XML document" +
            (sink.message.empty() ? std::string() : " (" + sink.message + ")");
    return false;
  }
  if (document.rootName != "PMML") {
    document.notes.push_back("The root element is " + document.rootName + ", not PMML.");
  }
  return true;
}

}  // namespace knnreport
