// Field descriptions of the model document: the data dictionary, and per model the mining
// schema and the local transformations that show how distances see each field.
#include <algorithm>
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

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsCategoricalKind(int kind) {
  return kind == VelMTD::kNumericCategorical || kind == VelMTD::kStringCategorical;
}

double MinOf(const VelMTD::IVelVariable& variable) {
  const auto* continuous = dynamic_cast<const VelMTD::VelContVar*>(&variable);
  return continuous != nullptr ? continuous->GetMin() : 0.0;
}

double MaxOf(const VelMTD::IVelVariable& variable) {
  const auto* continuous = dynamic_cast<const VelMTD::VelContVar*>(&variable);
  return continuous != nullptr ? continuous->GetMax() : 0.0;
}

}  // namespace

std::string KNNPMMLWriter::DataTypeText(const VelMTD::IVelVariable& variable,
                                        bool categorical) const {
  std::string type;
  if (categorical) {
    type = variable.GetMeasureKind() == VelMTD::kNumericCategorical ? "double" : "string";
  } else {
    const VelMTD::IVelVariable* caseId = variables.GetVarAt(settings.CaseIDVariable);
    type = caseId != nullptr && caseId->GetName() == variable.GetName() ? "integer" : "double";
  }
  switch (variable.GetDateKind()) {
    case VelMTD::kDate:
      return "date";
    case VelMTD::kTime:
      return "time";
    case VelMTD::kDateTime:
      return "dateTime";
    default:
      return type;
  }
}

void KNNPMMLWriter::WriteDataDictionary() {
  ElementPtr dictionary = NewElement("DataDictionary");
  int32_t count = 0;
  for (int32_t v = 0; v < variables.Size(); ++v) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    AddChildTo(dictionary.get(), WriteDataField(*variable, v));
    ++count;
  }
  dictionary->AddAttribute("numberOfFields", static_cast<double>(count));
  AddChildTo(root.get(), std::move(dictionary));
}

XMLElement* KNNPMMLWriter::WriteDataField(const VelMTD::IVelVariable& variable, int32_t index) {
  ElementPtr field = NewElement("DataField");
  field->AddAttribute("name", variable.GetName());
  if (!variable.GetDisplayName().empty()) {
    field->AddAttribute("displayName", variable.GetDisplayName());
  }
  const int kind = variable.GetMeasureKind();
  if (kind == VelMTD::kContinuous) {
    field->AddAttribute("optype", "continuous");
    field->AddAttribute("dataType", DataTypeText(variable, false));
    ElementPtr interval = NewElement("Interval");
    interval->AddAttribute("closure", "openClosed");
    interval->AddAttribute("leftMargin", NumberText(MinOf(variable)));
    interval->AddAttribute("rightMargin", NumberText(MaxOf(variable)));
    AddChildTo(field.get(), std::move(interval));
  } else if (IsCategoricalKind(kind)) {
    field->AddAttribute("optype", "categorical");
    field->AddAttribute("dataType", DataTypeText(variable, true));
    const VelMTD::VelCategories* categories = variable.GetCategories();
    const int count = variable.GetCategoryCount();
    for (int c = 0; c < count && categories != nullptr; ++c) {
      ElementPtr value = NewElement("Value");
      value->AddAttribute("value", categories->CategoryValue(c));
      const std::vector<std::string>& labels = categories->CategoryLabels();
      if (static_cast<size_t>(c) < labels.size()) {
        value->AddAttribute("displayValue", labels[static_cast<size_t>(c)]);
      }
      value->AddAttribute("property", "valid");
      AddChildTo(field.get(), std::move(value));
    }
    if (index == settings.FocalCaseVariable && kind == VelMTD::kStringCategorical) {
      ElementPtr extension = NewElement("Extension");
      extension->AddAttribute("extender", KNNPMML::kExtenderName);
      extension->AddAttribute("name", "flagTypeTrueValue");
      extension->AddAttribute("value", settings.FocalCaseValueText);
      AddChildTo(field.get(), std::move(extension));
    }
  }
  return field.release();
}

bool KNNPMMLWriter::IsRescaled(int32_t index) const {
  return settings.RescaleMethod == 0 && index != settings.FocalCaseVariable &&
         index != settings.CaseIDVariable && !Contains(settings.ResponseContinuous, index);
}

std::vector<std::string> KNNPMMLWriter::DerivedFieldNames(int32_t index) const {
  std::vector<std::string> names;
  const VelMTD::IVelVariable* variable = variables.GetVarAt(index);
  if (variable == nullptr) return names;
  const int kind = variable->GetMeasureKind();
  if (kind == VelMTD::kContinuous) {
    names.push_back(IsRescaled(index) ? "norm_" + variable->GetName() : variable->GetName());
  } else if (IsCategoricalKind(kind)) {
    const VelMTD::VelCategories* categories = variable->GetCategories();
    if (categories == nullptr) return names;
    const std::vector<std::string>& labels = categories->CategoryLabels();
    for (int c = 0; c < variable->GetCategoryCount(); ++c) {
      const std::string& text =
          labels.empty() ? categories->CategoryValue(c) : labels[static_cast<size_t>(c)];
      names.push_back(variable->GetName() + "_" + text);
    }
  }
  return names;
}

XMLElement* KNNPMMLWriter::WriteMiningSchema(int32_t i) {
  ElementPtr schema = NewElement("MiningSchema");
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  const std::vector<int>& features = responseModel.GetFeatures();
  const std::vector<double>& importance = responseModel.GetImportance();
  const std::vector<double>& weights = responseModel.GetWeights();
  for (int v : settings.AllFeatures) {
    ElementPtr field = NewElement("MiningField");
    field->AddAttribute("name", VariableName(v));
    const auto found = std::find(features.begin(), features.end(), v);
    if (found == features.end()) {
      field->AddAttribute("usageType", "supplementary");
      AddChildTo(schema.get(), std::move(field));
      continue;
    }
    // Importance and weight p describe feature p of the model's list, which after
    // selection is in selection order, not in the order of the fields here.
    const auto p = static_cast<size_t>(found - features.begin());
    if (settings.IsFeaImportance && p < importance.size()) {
      field->AddAttribute("importance", NumberText(importance[p]));
    }
    field->AddAttribute("usageType", "active");
    if (settings.IsFeaWeight && p < weights.size()) {
      ElementPtr weight = NewElement("Extension");
      weight->AddAttribute("name", "weight");
      weight->AddAttribute("value", NumberText(weights[p]));
      AddChildTo(field.get(), std::move(weight));
    }
    AddChildTo(schema.get(), std::move(field));
  }
  if (responseCount > 0) {
    ElementPtr predicted = NewElement("MiningField");
    predicted->AddAttribute("name", VariableName(responseModel.GetResponseIndex()));
    predicted->AddAttribute("usageType", "predicted");
    AddChildTo(schema.get(), std::move(predicted));
  }
  return schema.release();
}

XMLElement* KNNPMMLWriter::WriteLocalTransformations(int32_t i) {
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  std::vector<int> listed = responseModel.GetFeatures();
  if (responseCount > 0) listed.push_back(responseModel.GetResponseIndex());

  bool needed = false;
  for (int v : listed) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    const int kind = variable->GetMeasureKind();
    if (IsCategoricalKind(kind) || (kind == VelMTD::kContinuous && IsRescaled(v))) needed = true;
  }
  if (!needed) return nullptr;

  ElementPtr transformations = NewElement("LocalTransformations");
  for (int v : listed) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    const int kind = variable->GetMeasureKind();
    const std::vector<std::string> derived = DerivedFieldNames(v);
    if (kind == VelMTD::kContinuous) {
      if (!IsRescaled(v) || derived.empty()) continue;
      ElementPtr field = NewElement("DerivedField");
      field->AddAttribute("name", derived[0]);
      field->AddAttribute("optype", "continuous");
      field->AddAttribute("dataType", DataTypeText(*variable, false));
      ElementPtr norm = NewElement("NormContinuous");
      norm->AddAttribute("field", variable->GetName());
      ElementPtr low = NewElement("LinearNorm");
      low->AddAttribute("orig", NumberText(MinOf(*variable)));
      low->AddAttribute("norm", "-1");
      AddChildTo(norm.get(), std::move(low));
      ElementPtr high = NewElement("LinearNorm");
      high->AddAttribute("orig", NumberText(MaxOf(*variable)));
      high->AddAttribute("norm", "1");
      AddChildTo(norm.get(), std::move(high));
      AddChildTo(field.get(), std::move(norm));
      AddChildTo(transformations.get(), std::move(field));
    } else if (IsCategoricalKind(kind)) {
      const VelMTD::VelCategories* categories = variable->GetCategories();
      for (size_t c = 0; c < derived.size() && categories != nullptr; ++c) {
        ElementPtr field = NewElement("DerivedField");
        field->AddAttribute("name", derived[c]);
        field->AddAttribute("optype", "continuous");
        field->AddAttribute("dataType", "double");
        ElementPtr discrete = NewElement("NormDiscrete");
        discrete->AddAttribute("field", variable->GetName());
        discrete->AddAttribute("value", categories->CategoryValue(static_cast<int>(c)));
        AddChildTo(field.get(), std::move(discrete));
        AddChildTo(transformations.get(), std::move(field));
      }
    }
  }
  return transformations.release();
}
