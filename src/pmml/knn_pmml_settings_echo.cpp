// The settings the model was built with, written back as vendor parameters of the build task.
#include <utility>

#include "host/vel_text.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_pmml_writer.h"
#include "pmml/knn_xml_archive_element.h"

using KNNPMML::AddChildTo;
using KNNPMML::AddParameter;
using KNNPMML::ElementPtr;
using KNNPMML::IntText;
using KNNPMML::NewElement;
using VelXML::XMLElement;

namespace {

const char* BoolText(bool value) {
  return value ? "true" : "false";
}

}  // namespace

void KNNPMMLWriter::AddFieldParameter(XMLElement* parent, int32_t index, const char* name,
                                      const char* type) {
  if (index < 0) return;
  AddChildTo(parent, AddParameter(name, type, VariableName(index)));
}

void KNNPMMLWriter::AddListParameter(XMLElement* parent, const char* name,
                                     const std::vector<int>& indices) {
  if (indices.empty()) return;
  ElementPtr parameter = NewElement("Parameter");
  parameter->AddAttribute("name", name);
  ElementPtr list = NewElement("ListValue");
  for (int index : indices) {
    if (index < 0) continue;
    ElementPtr value = NewElement("Value");
    value->AddAttribute("value", VariableName(index));
    AddChildTo(list.get(), std::move(value));
  }
  AddChildTo(parameter.get(), std::move(list));
  AddChildTo(parent, std::move(parameter));
}

void KNNPMMLWriter::WriteMiningBuildTask() {
  ElementPtr task = NewElement("MiningBuildTask");
  ElementPtr extension = NewElement("Extension");
  extension->AddAttribute("extender", KNNPMML::kExtenderName);
  extension->AddAttribute("name", KNNPMML::kSettingsExtensionName);
  ElementPtr parameterList = NewElement("Parameters");
  XMLElement* parameters = parameterList.get();  // filled below, owned by extension
  AddChildTo(extension.get(), std::move(parameterList));
  AddChildTo(task.get(), std::move(extension));

  const auto add = [parameters](const char* name, const char* type, const std::string& value) {
    AddChildTo(parameters, AddParameter(name, type, value));
  };
  AddFieldParameter(parameters, settings.CaseIDVariable, "CaseIDVar", "fieldName");
  AddFieldParameter(parameters, settings.CaseLabelVariable, "CaseLabelVar", "fieldName");
  AddFieldParameter(parameters, settings.VFoldVariable, "VFoldVar", "fieldName");
  AddFieldParameter(parameters, settings.FocalCaseVariable, "FocalVar", "fieldName");
  // "true" means rescaling on, although the type says enum.
  add("RescaleMethod", "enum", BoolText(settings.RescaleMethod == 0));
  add("DistMetric", "enum", settings.DistMetric != 0 ? "CityBlock" : "Euclidean");
  add("ComputePredValFunc", "enum", settings.ComputePredValFunc != 0 ? "Median" : "Mean");
  add("use_caselabels", "boolean", BoolText(settings.CaseLabelVariable != -1));
  add("IsFeatureImportance", "boolean", BoolText(settings.IsFeaImportance));
  add("IsFeatureSelection", "boolean", BoolText(settings.IsFeaSelection));
  add("IsAutoFeatureSelection", "boolean", BoolText(settings.IsAutoFeaSelection));
  add("IsFeatureWeight", "boolean", BoolText(settings.IsFeaWeight));
  add("IsAutoKSelection", "boolean", BoolText(settings.IsAutoKSelection));
  add("NSpecifiedFeatures", "integer", IntText(settings.SpecifiedFeaNum));
  if (settings.IsAutoKSelection) {
    add("MinK", "integer", IntText(settings.MinK));
    add("MaxK", "integer", IntText(settings.MaxK));
  } else {
    add("SpecifiedK", "integer", IntText(settings.SpecifiedK));
  }
  add("VFoldValue", "integer", IntText(settings.VFoldValue));
  if (settings.SpecifiedErrRange != -1.0) {
    add("SpecifiedErrRange", "double", KNNPMML::NumberText(settings.SpecifiedErrRange));
  }
  ExtNameStr directory;
  directory.SetCP(settings.FileTempDir);
  add("TempFileDir", "string", directory.GetU8());
  AddListParameter(parameters, "ForcedVariables", settings.ForcedVariables);
  AddListParameter(parameters, "target", settings.Responses);
  AddListParameter(parameters, "inputs", settings.AllFeatures);

  AddChildTo(root.get(), std::move(task));
}
