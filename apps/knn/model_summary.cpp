#include "model_summary.h"

#include <libxml/xmlreader.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "cell_conversion.h"

namespace knncli {
namespace {

std::string Attribute(xmlTextReaderPtr reader, const char* name) {
  xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return std::string();
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

struct ReaderDeleter {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};

// Elements the summary never looks at and that make up almost all of a large document: the
// training cases and the per-case tables. Their start and end tags, as the component writes
// them ('<' cannot occur unescaped in text or attributes, so the texts are unambiguous).
struct SkippedElement {
  std::string_view start;
  std::string_view end;
};
constexpr SkippedElement kSkipped[] = {
    {"<TrainingInstances", "</TrainingInstances>"},
    {"<SimpleTable name=\"neighborsDistances\"", "</SimpleTable>"},
    {"<SimpleTable name=\"predictionProbability\"", "</SimpleTable>"}};

// The document without the skipped elements, read a block at a time: parsing 100 MB of
// tables only to skip them would take longer than the rest of a build's output.
bool ReadWithoutTables(const std::string& path, std::string& kept) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  constexpr size_t kBlock = size_t{1} << 20;
  constexpr size_t kCarry = 64;  // longer than every tag searched for
  std::string buffer;
  std::string_view end;  // the end tag being skipped to, or empty while copying
  std::vector<char> block(kBlock);
  for (;;) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<size_t>(in.gcount());
    buffer.append(block.data(), got);
    const bool last = got < block.size();
    size_t at = 0;
    for (;;) {
      if (!end.empty()) {
        const size_t found = buffer.find(end, at);
        if (found == std::string::npos) {
          at = buffer.size() > kCarry ? std::max(at, buffer.size() - kCarry) : at;
          break;
        }
        at = found + end.size();
        end = std::string_view();
        continue;
      }
      size_t first = std::string::npos;
      const SkippedElement* which = nullptr;
      for (const SkippedElement& element : kSkipped) {
        const size_t found = buffer.find(element.start, at);
        if (found < first) {
          first = found;
          which = &element;
        }
      }
      const size_t tagEnd = which != nullptr ? buffer.find('>', first) : std::string::npos;
      if (which != nullptr && tagEnd == std::string::npos && !last) {
        kept.append(buffer, at, first - at);  // the tag ends in the next block
        at = first;
        break;
      }
      if (which == nullptr || tagEnd == std::string::npos) {
        // Keep a tail that might start a tag completed by the next block.
        size_t upTo = buffer.size();
        if (!last) upTo = upTo > kCarry ? std::max(at, upTo - kCarry) : at;
        kept.append(buffer, at, upTo - at);
        at = upTo;
        break;
      }
      kept.append(buffer, at, first - at);
      at = tagEnd + 1;
      if (buffer[tagEnd - 1] != '/') end = which->end;  // an empty element ends with its tag
    }
    buffer.erase(0, at);
    if (last) return !in.bad();
  }
}

}  // namespace

bool ReadModelSummaries(const std::string& pmmlPath, std::vector<ModelSummary>& summaries,
                        std::string& error) {
  summaries.clear();
  std::string text;
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader;
  if (ReadWithoutTables(pmmlPath, text) && text.size() <= static_cast<size_t>(INT_MAX)) {
    reader.reset(xmlReaderForMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                    XML_PARSE_NONET | XML_PARSE_HUGE));
  }
  if (!reader) {
    error = "cannot read the model document '" + pmmlPath + "'";
    return false;
  }
  ModelSummary* model = nullptr;
  int result = xmlTextReaderRead(reader.get());
  while (result == 1) {
    const int type = xmlTextReaderNodeType(reader.get());
    const std::string name =
        reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader.get()));
    if (type == XML_READER_TYPE_END_ELEMENT && name == "NearestNeighborModel") {
      model = nullptr;
    } else if (type == XML_READER_TYPE_ELEMENT) {
      if (name == "NearestNeighborModel") {
        summaries.emplace_back();
        model = &summaries.back();
        model->k = std::atoi(Attribute(reader.get(), "numberOfNeighbors").c_str());
        // An empty model element has no end tag to clear the pointer.
        if (xmlTextReaderIsEmptyElement(reader.get()) == 1) model = nullptr;
      } else if (model != nullptr && name == "TrainingInstances") {
        // The largest part of the document and of no use here.
        result = xmlTextReaderNext(reader.get());
        continue;
      } else if (model != nullptr && name == "MiningField") {
        const std::string usage = Attribute(reader.get(), "usageType");
        if (usage == "active") model->features.push_back(Attribute(reader.get(), "name"));
        if (usage == "predicted") model->target = Attribute(reader.get(), "name");
      } else if (model != nullptr && name == "Parameter" &&
                 Attribute(reader.get(), "name") == "percentIncorrectlyClassifiedCases") {
        model->hasError = ParseFiniteNumber(Attribute(reader.get(), "value"), model->error);
        model->errorIsRate = true;
      } else if (model != nullptr && name == "PredictiveModelQuality") {
        const std::string sse = Attribute(reader.get(), "sumSquaredError");
        if (!sse.empty()) {
          model->hasError = ParseFiniteNumber(sse, model->error);
          model->errorIsRate = false;
        }
      }
    }
    result = xmlTextReaderRead(reader.get());
  }
  if (result != 0) {
    error = "the model document '" + pmmlPath + "' is not well-formed";
    return false;
  }
  return true;
}

std::string FormatSummary(const ModelSummary& summary) {
  std::string text = summary.target.empty() ? std::string("(no target)") : summary.target;
  text += ": K " + std::to_string(summary.k) + "; features ";
  if (summary.features.empty()) text += "(none)";
  for (size_t i = 0; i < summary.features.size(); ++i) {
    if (i > 0) text += ", ";
    text += summary.features[i];
  }
  if (summary.hasError) {
    text += "; training error " + NumberText15(summary.error) +
            (summary.errorIsRate ? " (proportion misclassified)" : " (sum of squared errors)");
  }
  return text;
}

}  // namespace knncli
