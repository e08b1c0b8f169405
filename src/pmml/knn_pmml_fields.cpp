// Field descriptions of the model document: the data dictionary, and per model the mining
// schema and the local transformations that show how distances see each field.
#include <algorithm>

#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_pmml_writer.h"
#include "pmml/knn_xml_archive_element.h"

using KNNPMML::AddChildTo;
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
  XMLElement* dictionary = XMLElement::Create("DataDictionary");
  int32_t count = 0;
  for (int32_t v = 0; v < variables.Size(); ++v) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    AddChildTo(dictionary, WriteDataField(*variable, v));
    ++count;
  }
  dictionary->AddAttribute("numberOfFields", static_cast<double>(count));
  AddChildTo(root.get(), dictionary);
}

XMLElement* KNNPMMLWriter::WriteDataField(const VelMTD::IVelVariable& variable, int32_t index) {
  XMLElement* field = XMLElement::Create("DataField");
  field->AddAttribute("name", variable.GetName());
  if (!variable.GetDisplayName().empty()) {
    field->AddAttribute("displayName", variable.GetDisplayName());
  }
  const int kind = variable.GetMeasureKind();
  if (kind == VelMTD::kContinuous) {
    field->AddAttribute("optype", "continuous");
    field->AddAttribute("dataType", DataTypeText(variable, false));
    XMLElement* interval = XMLElement::Create("Interval");
    interval->AddAttribute("closure", "openClosed");
    interval->AddAttribute("leftMargin", NumberText(MinOf(variable)));
    interval->AddAttribute("rightMargin", NumberText(MaxOf(variable)));
    AddChildTo(field, interval);
  } else if (IsCategoricalKind(kind)) {
    field->AddAttribute("optype", "categorical");
    field->AddAttribute("dataType", DataTypeText(variable, true));
    const VelMTD::VelCategories* categories = variable.GetCategories();
    const int count = variable.GetCategoryCount();
    for (int c = 0; c < count && categories != nullptr; ++c) {
      XMLElement* value = XMLElement::Create("Value");
      AddChildTo(field, value);
      value->AddAttribute("value", categories->CategoryValue(c));
      const std::vector<std::string>& labels = categories->CategoryLabels();
      if (static_cast<size_t>(c) < labels.size()) {
        value->AddAttribute("displayValue", labels[static_cast<size_t>(c)]);
      }
      value->AddAttribute("property", "valid");
    }
    if (index == settings.FocalCaseVariable && kind == VelMTD::kStringCategorical) {
      XMLElement* extension = XMLElement::Create("Extension");
      extension->AddAttribute("extender", KNNPMML::kExtenderName);
      extension->AddAttribute("name", "flagTypeTrueValue");
      extension->AddAttribute("value", settings.FocalCaseValueText);
      AddChildTo(field, extension);
    }
  }
  return field;
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
  XMLElement* schema = XMLElement::Create("MiningSchema");
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  const std::vector<int>& features = responseModel.GetFeatures();
  const std::vector<double>& importance = responseModel.GetImportance();
  const std::vector<double>& weights = responseModel.GetWeights();
  for (int v : settings.AllFeatures) {
    XMLElement* field = XMLElement::Create("MiningField");
    AddChildTo(schema, field);
    field->AddAttribute("name", VariableName(v));
    const auto found = std::find(features.begin(), features.end(), v);
    if (found == features.end()) {
      field->AddAttribute("usageType", "supplementary");
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
      XMLElement* weight = XMLElement::Create("Extension");
      weight->AddAttribute("name", "weight");
      weight->AddAttribute("value", NumberText(weights[p]));
      AddChildTo(field, weight);
    }
  }
  if (responseCount > 0) {
    XMLElement* predicted = XMLElement::Create("MiningField");
    predicted->AddAttribute("name", VariableName(responseModel.GetResponseIndex()));
    predicted->AddAttribute("usageType", "predicted");
    AddChildTo(schema, predicted);
  }
  return schema;
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

  XMLElement* transformations = XMLElement::Create("LocalTransformations");
  for (int v : listed) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    const int kind = variable->GetMeasureKind();
    const std::vector<std::string> derived = DerivedFieldNames(v);
    if (kind == VelMTD::kContinuous) {
      if (!IsRescaled(v) || derived.empty()) continue;
      XMLElement* field = XMLElement::Create("DerivedField");
      field->AddAttribute("name", derived[0]);
      field->AddAttribute("optype", "continuous");
      field->AddAttribute("dataType", DataTypeText(*variable, false));
      XMLElement* norm = XMLElement::Create("NormContinuous");
      norm->AddAttribute("field", variable->GetName());
      XMLElement* low = XMLElement::Create("LinearNorm");
      low->AddAttribute("orig", NumberText(MinOf(*variable)));
      low->AddAttribute("norm", "-1");
      XMLElement* high = XMLElement::Create("LinearNorm");
      high->AddAttribute("orig", NumberText(MaxOf(*variable)));
      high->AddAttribute("norm", "1");
      AddChildTo(norm, low);
      AddChildTo(norm, high);
      AddChildTo(field, norm);
      AddChildTo(transformations, field);
    } else if (IsCategoricalKind(kind)) {
      const VelMTD::VelCategories* categories = variable->GetCategories();
      for (size_t c = 0; c < derived.size() && categories != nullptr; ++c) {
        XMLElement* field = XMLElement::Create("DerivedField");
        field->AddAttribute("name", derived[c]);
        field->AddAttribute("optype", "continuous");
        field->AddAttribute("dataType", "double");
        XMLElement* discrete = XMLElement::Create("NormDiscrete");
        discrete->AddAttribute("field", variable->GetName());
        discrete->AddAttribute("value", categories->CategoryValue(static_cast<int>(c)));
        AddChildTo(field, discrete);
        AddChildTo(transformations, field);
      }
    }
  }
  return transformations;
}
