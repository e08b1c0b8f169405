// One NearestNeighborModel element per response model: the vendor extension with the
// selection and scoring tables, statistics, quality, the training table and the inputs.
#include <algorithm>
#include <utility>

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
using KNNPMML::ElementPtr;
using KNNPMML::NewElement;
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

ElementPtr Cell(const std::string& name, const std::string& text) {
  ElementPtr cell = NewElement(name);
  AddChildTo(cell.get(), KNNPMML::NewText(text));
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
  // Attached before it is filled: root is a plain element, so the model element stays in
  // the tree, owned by it.
  ElementPtr owned = NewElement("NearestNeighborModel");
  XMLElement* element = owned.get();
  AddChildTo(root.get(), std::move(owned));

  const char* function = responseCount == 0                     ? "clustering"
                         : responseModel.IsContinuousResponse() ? "regression"
                                                                : "classification";
  element->AddAttribute("functionName", function);
  element->AddAttribute("numberOfNeighbors", static_cast<double>(responseModel.GetK()));
  element->AddAttribute("continuousScoringMethod",
                        settings.ComputePredValFunc == 1 ? "median" : "average");
  element->AddAttribute("categoricalScoringMethod", "majorityVote");
  if (responseCount == 0) element->AddAttribute("instanceIdVariable", "ID");

  // Each Write* hands over a new subtree, adopted by AddChildTo before anything can fail.
  ElementPtr extension(WriteModelsExtension(i));
  if (status.IsError()) return;
  AddChildTo(element, std::move(extension));
  AddChildTo(element, WriteMiningSchema(i));
  AddChildTo(element, WriteModelStats(i));
  if (responseCount > 0) AddChildTo(element, WriteModelExplanation(i));
  AddChildTo(element, WriteLocalTransformations(i));

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
  ElementPtr extension = NewElement("Extension");
  extension->AddAttribute("extender", KNNPMML::kExtenderName);
  extension->AddAttribute("name", KNNPMML::kModelsExtensionName);

  if (responseCount > 0) {
    if (settings.IsFeaSelection && settings.IsAutoKSelection) {
      AddChildTo(extension.get(), WriteFeatureKSelectionTable(i));
    } else if (settings.IsFeaSelection &&
               (settings.IsAutoFeaSelection || settings.SpecifiedFeaNum >= 0)) {
      AddChildTo(extension.get(), WriteFeatureSelectionTable(i));
    } else if (!settings.IsFeaSelection && settings.IsAutoKSelection) {
      AddChildTo(extension.get(), WriteKSelectionTable(i));
    }
  }

  WriteScoringTables(*this, extension.get(), i);

  if (!status.IsError()) {
    const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
    if (responseCount > 0 && !responseModel.IsContinuousResponse()) {
      const std::vector<double> errors =
          scoringOutput ? scoringOutput->GetErrors() : std::vector<double>();
      const double error =
          static_cast<size_t>(i) < errors.size() ? errors[static_cast<size_t>(i)] : 0.0;
      AddChildTo(extension.get(), KNNPMML::AddParameter("percentIncorrectlyClassifiedCases",
                                                        "double", NumberText(error)));
    }
    const int32_t selected = static_cast<int32_t>(responseModel.GetFeatures().size()) -
                             static_cast<int32_t>(settings.ForcedVariables.size());
    AddChildTo(extension.get(),
               KNNPMML::AddParameter("selectedFeatures", "integer", KNNPMML::IntText(selected)));
  }
  return extension.release();
}

XMLElement* KNNPMMLWriter::WriteModelStats(int32_t i) {
  ElementPtr stats = NewElement("ModelStats");
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  std::vector<int> listed = responseModel.GetFeatures();
  if (responseCount > 0) listed.push_back(responseModel.GetResponseIndex());
  for (int v : listed) {
    const VelMTD::IVelVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr) continue;
    ElementPtr univariate = NewElement("UnivariateStats");
    univariate->AddAttribute("field", variable->GetName());
    const int kind = variable->GetMeasureKind();
    if (kind == VelMTD::kContinuous) {
      const auto* continuous = dynamic_cast<const VelMTD::VelContVar*>(variable);
      ElementPtr info = NewElement("NumericInfo");
      info->AddAttribute("minimum", NumberText(continuous != nullptr ? continuous->GetMin() : 0.0));
      info->AddAttribute("maximum", NumberText(continuous != nullptr ? continuous->GetMax() : 0.0));
      AddChildTo(univariate.get(), std::move(info));
    } else if (IsCategoricalKind(kind)) {
      ElementPtr discrete = NewElement("DiscrStats");
      std::vector<int32_t> counts;
      if (static_cast<size_t>(v) < dataPreparation.variables.size() &&
          dataPreparation.variables[static_cast<size_t>(v)] != nullptr) {
        if (const std::vector<unsigned>* stored =
                dataPreparation.variables[static_cast<size_t>(v)]->GetCategoryCounts()) {
          counts.assign(stored->begin(), stored->end());
        }
      }
      AddChildTo(discrete.get(), KNNPMML::MakeArray(counts));
      AddChildTo(univariate.get(), std::move(discrete));
    }
    AddChildTo(stats.get(), std::move(univariate));
  }
  return stats.release();
}

XMLElement* KNNPMMLWriter::WriteModelExplanation(int32_t i) {
  ElementPtr explanation = NewElement("ModelExplanation");
  const KNNSingleResponseModel& responseModel = *models[static_cast<size_t>(i)];
  const int32_t response = responseModel.GetResponseIndex();
  ElementPtr quality = NewElement("PredictiveModelQuality");
  quality->AddAttribute("targetField", VariableName(response));
  const std::vector<double> errors =
      scoringOutput ? scoringOutput->GetErrors() : std::vector<double>();
  if (responseModel.IsContinuousResponse()) {
    const double error =
        static_cast<size_t>(i) < errors.size() ? errors[static_cast<size_t>(i)] : 0.0;
    quality->AddAttribute("sumSquaredError", error);
  } else {
    ElementPtr confusion = NewElement("ConfusionMatrix");
    ElementPtr labels = NewElement("ClassLabels");
    AddChildTo(labels.get(), KNNPMML::MakeStringArray(CategoryTexts(response)));
    AddChildTo(confusion.get(), std::move(labels));
    ElementPtr matrix = NewElement("Matrix");
    KNNConfusionTable table;
    if (responseModel.GetPredictor() != nullptr) responseModel.GetPredictor()->GetConfusion(table);
    for (const std::vector<int32_t>& row : table) {
      ElementPtr array = NewElement("Array");
      array->AddAttribute("type", "int");
      array->AddAttribute("n", static_cast<double>(row.size()));
      KNNPMML::FillIntArray(array.get(), row);
      AddChildTo(matrix.get(), std::move(array));
    }
    AddChildTo(confusion.get(), std::move(matrix));
    AddChildTo(quality.get(), std::move(confusion));
  }
  AddChildTo(explanation.get(), std::move(quality));
  return explanation.release();
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

  ElementPtr instances = NewElement("TrainingInstances");
  instances->AddAttribute("recordCount", KNNPMML::UIntText(recordCount));
  instances->AddAttribute("fieldCount", KNNPMML::UIntText(fieldCount));
  instances->AddAttribute("isTransformed", "false");

  ElementPtr fields = NewElement("InstanceFields");
  std::vector<std::string> columns;
  if (!hasID) {
    ElementPtr idField = NewElement("InstanceField");
    idField->AddAttribute("field", "ID");
    idField->AddAttribute("column", "ID");
    AddChildTo(fields.get(), std::move(idField));
    columns.push_back("ID");
  }
  const size_t firstColumn = columns.size();
  for (int32_t v = 0; v < variableCount; ++v) {
    const std::string name = VariableName(v);
    std::string column = ColumnName(name);
    if (column.empty()) column = UniqueColumnName(v, columns);
    columns.push_back(column);
    ElementPtr field = NewElement("InstanceField");
    field->AddAttribute("field", name);
    field->AddAttribute("column", column);
    AddChildTo(fields.get(), std::move(field));
  }
  AddChildTo(instances.get(), std::move(fields));

  ElementPtr table;
  if (streamLargeTables == 1) {
    table =
        KNNPMML::KNNXMLArchiveElement::CreateStreamed("InlineTable", useUTF8, settings.FileTempDir);
  } else {
    table = NewElement("InlineTable");
  }
  if (table == nullptr) {
    status = KNNStatus::Error(KNNStatus::kTempFileFailed);
    return instances.release();
  }

  // A streamed table takes each row's markup straight into its file, without elements.
  auto* streamed = dynamic_cast<KNNPMML::KNNXMLArchiveElement*>(table.get());
  std::vector<std::string> texts(columns.size());
  std::string markup;
  for (uint32_t r = 0; r < recordCount; ++r) {
    if (stopControl.ShouldStop()) {
      status = KNNStatus::Error(KNNStatus::kInterrupted);
      break;
    }
    const double* stored = dataPreparation.caseRows[r];
    if (!hasID) texts[0] = KNNPMML::UIntText(r + 1);
    for (int32_t v = 0; v < variableCount; ++v) {
      texts[firstColumn + static_cast<size_t>(v)] = ValueText(stored[v], v);
    }
    if (streamed != nullptr) {
      markup.clear();
      VelXML::AppendTextElementsMarkup(markup, "row", columns.data(), texts.data(), columns.size());
      streamed->WriteMarkup(markup);
      continue;
    }
    ElementPtr row = NewElement("row");
    for (size_t c = 0; c < columns.size(); ++c) AddChildTo(row.get(), Cell(columns[c], texts[c]));
    AddChildTo(table.get(), std::move(row));
  }
  const XMLElement* attached = table.get();  // instances is plain: the table stays alive
  AddChildTo(instances.get(), std::move(table));
  if (!status.IsError()) CheckStreamedElement(attached);
  return instances.release();
}

XMLElement* KNNPMMLWriter::WriteComparisonMeasure() {
  ElementPtr measure = NewElement("ComparisonMeasure");
  measure->AddAttribute("kind", "distance");
  AddChildTo(measure.get(), NewElement(settings.DistMetric == 0 ? "euclidean" : "cityBlock"));
  return measure.release();
}

XMLElement* KNNPMMLWriter::WriteKNNInputs(int32_t i) {
  ElementPtr inputs = NewElement("KNNInputs");
  for (int v : models[static_cast<size_t>(i)]->GetFeatures()) {
    for (const std::string& name : DerivedFieldNames(v)) {
      ElementPtr input = NewElement("KNNInput");
      input->AddAttribute("field", name);
      input->AddAttribute("compareFunction", "absDiff");
      AddChildTo(inputs.get(), std::move(input));
    }
  }
  return inputs.release();
}
