// One NearestNeighborModel element per response model: the vendor extension with the
// selection and scoring tables, statistics, quality, the training table and the inputs.
#include <algorithm>

#include "boundary/status_codes.h"
#include "data/knn_case_value.h"
#include "data/knn_data_preparation.h"
#include "host/vel_missing.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_pmml_writer.h"
#include "pmml/knn_xml_archive_element.h"
#include "pmml/knn_xml_names.h"
#include "predict/knn_pmml_prediction.h"

using KNNPMML::AddChildTo;
using KNNPMML::NumberText;
using VelXML::XMLElement;

namespace {

bool IsCategoricalKind(int kind) {
  return kind == VelMTD::kNumericCategorical || kind == VelMTD::kStringCategorical;
}

// Category labels go into ";"-separated cells: the separator and the escape are escaped.
std::string EscapeCellText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == ';' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

XMLElement* Cell(const std::string& name, const std::string& text) {
  XMLElement* cell = XMLElement::Create(name);
  AddChildTo(cell, VelXML::XMLString::Create(text));
  return cell;
}

}  // namespace

std::string KNNPMMLWriter::VariableName(int32_t index) const {
  const VelMTD::IVelVariable* variable = variables.GetVarAt(index);
  return variable != nullptr ? variable->GetName() : std::string();
}

std::string KNNPMMLWriter::ValueText(double value, int32_t index) const {
  const VelMTD::IVelVariable* variable = variables.GetVarAt(index);
  if (variable == nullptr) return NumberText(value);
  const VelMTD::IVelValueCodec* codec = variable->GetValueCodec();
  switch (variable->GetMeasureKind()) {
    case VelMTD::kContinuous: {
      if (codec->IsMissingValue(value)) return NumberText(VelMV::gMissingValue);
      if (!IsRescaled(index)) return NumberText(value);
      const auto* continuous = dynamic_cast<const VelMTD::VelContVar*>(variable);
      if (continuous == nullptr) return NumberText(value);
      const double min = continuous->GetMin();
      const double max = continuous->GetMax();
      return NumberText((max - min) * (value + 1.0) * 0.5 + min);
    }
    case VelMTD::kNumericCategorical:
      return NumberText(codec->CategoryNumber(KNNCaseValue::TruncateToInt(value)));
    case VelMTD::kStringCategorical:
      if (codec->IsMissingText(NumberText(value)) || value == -1.0) return "-1";
      return EscapeCellText(codec->CategoryLabel(KNNCaseValue::TruncateToInt(value)));
    default:
      return NumberText(value);
  }
}

std::vector<std::string> KNNPMMLWriter::CategoryTexts(int32_t index) const {
  std::vector<std::string> texts;
  const VelMTD::IVelVariable* variable = variables.GetVarAt(index);
  if (variable == nullptr) return texts;
  const int count = variable->GetCategoryCount();
  for (int c = 0; c < count; ++c) texts.push_back(ValueText(static_cast<double>(c), index));
  return texts;
}

std::string KNNPMMLWriter::ColumnName(const std::string& fieldName) {
  std::string column = fieldName;
  for (char& c : column) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::string();
    if (c == ' ' || c == '$' || c == '%') c = '_';
  }
  if (!column.empty() && column[0] >= '0' && column[0] <= '9') column.insert(0, "_");
  // Cells are elements named after their column, so whatever an element name cannot hold
  // (brackets, colons, quotes, ...) is encoded; the field itself keeps its name.
  return KNNPMML::EncodeElementName(column);
}

std::string KNNPMMLWriter::UniqueColumnName(int32_t start,
                                            const std::vector<std::string>& columns) {
  for (int64_t k = start;; ++k) {
    std::string candidate = "field" + std::to_string(k);
    if (std::find(columns.begin(), columns.end(), candidate) == columns.end()) return candidate;
  }
}

void KNNPMMLWriter::WriteModel(int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= models.size()) return;
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  XMLElement* element = XMLElement::Create("NearestNeighborModel");
  AddChildTo(root.get(), element);

  const char* function = responseCount == 0                     ? "clustering"
                         : responseModel.IsContinuousResponse() ? "regression"
                                                                : "classification";
  element->AddAttribute("functionName", function);
  element->AddAttribute("numberOfNeighbors", static_cast<double>(responseModel.GetK()));
  element->AddAttribute("continuousScoringMethod",
                        settings.ComputePredValFunc == 1 ? "median" : "average");
  element->AddAttribute("categoricalScoringMethod", "majorityVote");
  if (responseCount == 0) element->AddAttribute("instanceIdVariable", "ID");

  XMLElement* extension = WriteModelsExtension(i);
  if (status.IsError()) {
    delete extension;
    return;
  }
  AddChildTo(element, extension);
  AddChildTo(element, WriteMiningSchema(i));
  AddChildTo(element, WriteModelStats(i));
  if (responseCount > 0) AddChildTo(element, WriteModelExplanation(i));
  if (XMLElement* transformations = WriteLocalTransformations(i)) {
    AddChildTo(element, transformations);
  }

  StartStage();
  AddChildTo(element, WriteTrainingInstances());
  ReportStageEnd("writeOrigToDisk");

  if (!status.IsError()) {
    StartStage();
    AddChildTo(element, WriteComparisonMeasure());
    AddChildTo(element, WriteKNNInputs(i));
    ReportStageEnd("compDisSaveToDisk");
  }
}

XMLElement* KNNPMMLWriter::WriteModelsExtension(int32_t i) {
  XMLElement* extension = XMLElement::Create("Extension");
  extension->AddAttribute("extender", KNNPMML::kExtenderName);
  extension->AddAttribute("name", KNNPMML::kModelsExtensionName);

  if (responseCount > 0) {
    XMLElement* table = nullptr;
    if (settings.IsFeaSelection && settings.IsAutoKSelection) {
      table = WriteFeatureKSelectionTable(i);
    } else if (settings.IsFeaSelection &&
               (settings.IsAutoFeaSelection || settings.SpecifiedFeaNum >= 0)) {
      table = WriteFeatureSelectionTable(i);
    } else if (!settings.IsFeaSelection && settings.IsAutoKSelection) {
      table = WriteKSelectionTable(i);
    }
    if (table != nullptr) AddChildTo(extension, table);
  }

  WriteScoringTables(*this, extension, i);

  if (!status.IsError()) {
    const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
    if (responseCount > 0 && !responseModel.IsContinuousResponse()) {
      const std::vector<double> errors =
          scoringOutput ? scoringOutput->GetErrors() : std::vector<double>();
      const double error =
          static_cast<size_t>(i) < errors.size() ? errors[static_cast<size_t>(i)] : 0.0;
      AddChildTo(extension, KNNPMML::AddParameter("percentIncorrectlyClassifiedCases", "double",
                                                  NumberText(error)));
    }
    const int32_t selected = static_cast<int32_t>(responseModel.GetFeatures().size()) -
                             static_cast<int32_t>(settings.ForcedVariables.size());
    AddChildTo(extension,
               KNNPMML::AddParameter("selectedFeatures", "integer", KNNPMML::IntText(selected)));
  }
  return extension;
}

XMLElement* KNNPMMLWriter::WriteModelStats(int32_t i) {
  XMLElement* stats = XMLElement::Create("ModelStats");
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  std::vector<int> listed = responseModel.GetFeatures();
  if (responseCount > 0) listed.push_back(responseModel.GetResponseIndex());
  for (int v : listed) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    XMLElement* univariate = XMLElement::Create("UnivariateStats");
    univariate->AddAttribute("field", variable->GetName());
    AddChildTo(stats, univariate);
    const int kind = variable->GetMeasureKind();
    if (kind == VelMTD::kContinuous) {
      const auto* continuous = dynamic_cast<const VelMTD::VelContVar*>(variable);
      XMLElement* info = XMLElement::Create("NumericInfo");
      info->AddAttribute("minimum", NumberText(continuous != nullptr ? continuous->GetMin() : 0.0));
      info->AddAttribute("maximum", NumberText(continuous != nullptr ? continuous->GetMax() : 0.0));
      AddChildTo(univariate, info);
    } else if (IsCategoricalKind(kind)) {
      XMLElement* discrete = XMLElement::Create("DiscrStats");
      AddChildTo(univariate, discrete);
      std::vector<int32_t> counts;
      if (static_cast<size_t>(v) < dataPreparation.variables.size() &&
          dataPreparation.variables[static_cast<size_t>(v)] != nullptr) {
        if (const std::vector<unsigned>* stored =
                dataPreparation.variables[static_cast<size_t>(v)]->GetCategoryCounts()) {
          counts.assign(stored->begin(), stored->end());
        }
      }
      AddChildTo(discrete, KNNPMML::MakeArray(counts));
    }
  }
  return stats;
}

XMLElement* KNNPMMLWriter::WriteModelExplanation(int32_t i) {
  XMLElement* explanation = XMLElement::Create("ModelExplanation");
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  const int32_t response = responseModel.GetResponseIndex();
  XMLElement* quality = XMLElement::Create("PredictiveModelQuality");
  quality->AddAttribute("targetField", VariableName(response));
  const std::vector<double> errors =
      scoringOutput ? scoringOutput->GetErrors() : std::vector<double>();
  if (responseModel.IsContinuousResponse()) {
    const double error =
        static_cast<size_t>(i) < errors.size() ? errors[static_cast<size_t>(i)] : 0.0;
    quality->AddAttribute("sumSquaredError", error);
  } else {
    XMLElement* confusion = XMLElement::Create("ConfusionMatrix");
    AddChildTo(quality, confusion);
    XMLElement* labels = XMLElement::Create("ClassLabels");
    AddChildTo(labels, KNNPMML::MakeStringArray(CategoryTexts(response)));
    AddChildTo(confusion, labels);
    XMLElement* matrix = XMLElement::Create("Matrix");
    KNNConfusionTable table;
    if (responseModel.GetPredictor() != nullptr) responseModel.GetPredictor()->GetConfusion(table);
    for (const std::vector<int32_t>& row : table) {
      XMLElement* array = XMLElement::Create("Array");
      array->AddAttribute("type", "int");
      array->AddAttribute("n", static_cast<double>(row.size()));
      KNNPMML::FillIntArray(array, row);
      AddChildTo(matrix, array);
    }
    AddChildTo(confusion, matrix);
  }
  AddChildTo(explanation, quality);
  return explanation;
}

XMLElement* KNNPMMLWriter::WriteTrainingInstances() {
  std::vector<std::string> names;
  std::string furtherName;
  variables.GetVarNames(names, furtherName);
  const bool hasID =
      furtherName == "ID" || std::find(names.begin(), names.end(), "ID") != names.end();
  const int32_t variableCount = variables.Size();
  const auto fieldCount = static_cast<uint32_t>(variableCount + (hasID ? 0 : 1));
  const auto recordCount = static_cast<uint32_t>(dataPreparation.caseRows.size());

  XMLElement* instances = XMLElement::Create("TrainingInstances");
  instances->AddAttribute("recordCount", KNNPMML::UIntText(recordCount));
  instances->AddAttribute("fieldCount", KNNPMML::UIntText(fieldCount));
  instances->AddAttribute("isTransformed", "false");

  XMLElement* fields = XMLElement::Create("InstanceFields");
  AddChildTo(instances, fields);
  std::vector<std::string> columns;
  if (!hasID) {
    XMLElement* idField = XMLElement::Create("InstanceField");
    idField->AddAttribute("field", "ID");
    idField->AddAttribute("column", "ID");
    AddChildTo(fields, idField);
    columns.push_back("ID");
  }
  const size_t firstColumn = columns.size();
  for (int32_t v = 0; v < variableCount; ++v) {
    const std::string name = VariableName(v);
    std::string column = ColumnName(name);
    if (column.empty()) column = UniqueColumnName(v, columns);
    columns.push_back(column);
    XMLElement* field = XMLElement::Create("InstanceField");
    field->AddAttribute("field", name);
    field->AddAttribute("column", column);
    AddChildTo(fields, field);
  }

  XMLElement* table = streamLargeTables == 1 ? KNNPMML::KNNXMLArchiveElement::CreateStreamed(
                                                   "InlineTable", useUTF8, settings.FileTempDir)
                                             : XMLElement::Create("InlineTable");
  if (table == nullptr) {
    status = KNNStatus::Error(KNNStatus::kTempFileFailed);
    return instances;
  }

  for (uint32_t r = 0; r < recordCount; ++r) {
    if (stopControl.ShouldStop()) {
      status = KNNStatus::Error(KNNStatus::kInterrupted);
      break;
    }
    const double* stored = dataPreparation.caseRows[r];
    XMLElement* row = XMLElement::Create("row");
    if (!hasID) AddChildTo(row, Cell("ID", KNNPMML::UIntText(r + 1)));
    for (int32_t v = 0; v < variableCount; ++v) {
      AddChildTo(row, Cell(columns[firstColumn + static_cast<size_t>(v)], ValueText(stored[v], v)));
    }
    AddChildTo(table, row);
  }
  AddChildTo(instances, table);
  if (!status.IsError()) CheckStreamedElement(table);
  return instances;
}

XMLElement* KNNPMMLWriter::WriteComparisonMeasure() {
  XMLElement* measure = XMLElement::Create("ComparisonMeasure");
  measure->AddAttribute("kind", "distance");
  AddChildTo(measure, XMLElement::Create(settings.DistMetric == 0 ? "euclidean" : "cityBlock"));
  return measure;
}

XMLElement* KNNPMMLWriter::WriteKNNInputs(int32_t i) {
  XMLElement* inputs = XMLElement::Create("KNNInputs");
  for (int v : models[static_cast<size_t>(i)]->GetFeatures()) {
    for (const std::string& name : DerivedFieldNames(v)) {
      XMLElement* input = XMLElement::Create("KNNInput");
      input->AddAttribute("field", name);
      input->AddAttribute("compareFunction", "absDiff");
      AddChildTo(inputs, input);
    }
  }
  return inputs;
}
