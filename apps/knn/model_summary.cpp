#include "model_summary.h"

#include <libxml/xmlreader.h>

#include <cstdlib>
#include <memory>

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

}  // namespace

bool ReadModelSummaries(const std::string& pmmlPath, std::vector<ModelSummary>& summaries,
                        std::string& error) {
  summaries.clear();
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader(
      xmlReaderForFile(pmmlPath.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_HUGE));
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
