// How K and the features were chosen, as vendor tables of each model's extension.
#include <sstream>
#include <utility>

#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_pmml_writer.h"
#include "pmml/knn_xml_archive_element.h"

using KNNPMML::AddChildTo;
using KNNPMML::ElementPtr;
using KNNPMML::NewElement;
using KNNPMML::NumberText;
using VelXML::XMLElement;

namespace {

ElementPtr NewTable(const char* name, bool forwardSelection, const char* header) {
  ElementPtr table = NewElement("SimpleTable");
  table->AddAttribute("name", name);
  if (forwardSelection) {
    ElementPtr metadata = NewElement("Metadata");
    metadata->AddAttribute("name", "method");
    metadata->AddAttribute("value", "forwardSelection");
    AddChildTo(table.get(), std::move(metadata));
  }
  KNNPMML::AddTableHeader(table.get(), header);
  return table;
}

// Whole numbers of the K and step columns, as a standard stream writes them.
std::string Decimal(int64_t value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// The forced features in one cell, joined by "+".
std::string ForcedCell(const KNNPMMLWriter& writer) {
  std::string cell;
  for (int v : writer.settings.ForcedVariables) {
    if (!cell.empty()) cell += '+';
    cell += writer.VariableName(v);
  }
  return cell;
}

}  // namespace

XMLElement* KNNPMMLWriter::WriteKSelectionTable(int32_t r) {
  ElementPtr table = NewTable("KSelection", false, "K;error");
  const KNNModelSelection* selection = model.GetSelection();
  const KNNAutoKSelection* kSelection = selection != nullptr ? selection->GetKSelection() : nullptr;
  if (kSelection == nullptr || static_cast<size_t>(r) >= kSelection->ErrorGrid().size()) {
    return table.release();
  }
  const std::vector<double>& errors = kSelection->ErrorGrid()[static_cast<size_t>(r)];
  for (size_t i = 0; i < errors.size(); ++i) {
    KNNPMML::AddTableRow(table.get(), Decimal(settings.MinK + static_cast<int64_t>(i)) + ";" +
                                          NumberText(errors[i]));
  }
  return table.release();
}

XMLElement* KNNPMMLWriter::WriteFeatureSelectionTable(int32_t r) {
  ElementPtr table = NewTable("FeatureSelection", true, "model;features;error;selected");
  const KNNModelSelection* selection = model.GetSelection();
  const KNNFeatureSelection* featureSelection =
      selection != nullptr ? selection->GetFeatureSelection() : nullptr;
  if (featureSelection == nullptr ||
      static_cast<size_t>(r) >= featureSelection->RecordedFeatures().size() ||
      static_cast<size_t>(r) >= featureSelection->RecordedErrors().size()) {
    return table.release();
  }
  const std::vector<int>& features = featureSelection->RecordedFeatures()[static_cast<size_t>(r)];
  const std::vector<double>& errors = featureSelection->RecordedErrors()[static_cast<size_t>(r)];
  const int64_t offset =
      static_cast<int64_t>(features.size()) - static_cast<int64_t>(errors.size());
  int64_t firstStep = 0;
  if (!settings.ForcedVariables.empty() && !errors.empty()) {
    KNNPMML::AddTableRow(table.get(),
                         "0;" + ForcedCell(*this) + ";" + NumberText(errors[0]) + ";no");
    firstStep = 1;
  }
  for (int64_t t = firstStep; t < static_cast<int64_t>(errors.size()); ++t) {
    const int64_t f = offset + t;
    if (f < 0 || f >= static_cast<int64_t>(features.size())) continue;
    KNNPMML::AddTableRow(table.get(), Decimal(t - firstStep + 1) + ";" +
                                          VariableName(features[static_cast<size_t>(f)]) + ";" +
                                          NumberText(errors[static_cast<size_t>(t)]) + ";yes");
  }
  return table.release();
}

XMLElement* KNNPMMLWriter::WriteFeatureKSelectionTable(int32_t r) {
  ElementPtr table = NewTable("FeatureKSelection", true, "model;features;K;error;selected");
  const KNNModelSelection* selection = model.GetSelection();
  const KNNBothKAndFeaSelection* combined =
      selection != nullptr ? selection->GetCombinedSelection() : nullptr;
  const int64_t nK = static_cast<int64_t>(settings.MaxK) - settings.MinK + 1;
  if (combined == nullptr || nK < 1 || static_cast<size_t>(r) >= combined->BestK().size()) {
    return table.release();
  }
  const int32_t bestK = combined->BestK()[static_cast<size_t>(r)];
  for (int64_t i = 0; i < nK; ++i) {
    const int64_t K = settings.MinK + i;
    const auto cell = static_cast<size_t>(r * nK + i);
    if (cell >= combined->FeatureGrid().size() || cell >= combined->ErrorGrid().size()) break;
    const std::vector<int>& features = combined->FeatureGrid()[cell];
    const std::vector<double>& errors = combined->ErrorGrid()[cell];
    const int64_t offset =
        static_cast<int64_t>(features.size()) - static_cast<int64_t>(errors.size());
    int64_t firstStep = 0;
    if (!settings.ForcedVariables.empty() && !errors.empty()) {
      KNNPMML::AddTableRow(table.get(), "0;" + ForcedCell(*this) + ";" + Decimal(K) + ";" +
                                            NumberText(errors[0]) + ";no");
      firstStep = 1;
    }
    const char* selected = K == bestK ? "yes" : "no";
    for (int64_t t = firstStep; t < static_cast<int64_t>(errors.size()); ++t) {
      const int64_t f = offset + t;
      if (f < 0 || f >= static_cast<int64_t>(features.size())) continue;
      KNNPMML::AddTableRow(
          table.get(), Decimal(t - firstStep + 1) + ";" +
                           VariableName(features[static_cast<size_t>(f)]) + ";" + Decimal(K) + ";" +
                           NumberText(errors[static_cast<size_t>(t)]) + ";" + selected);
    }
  }
  return table.release();
}
