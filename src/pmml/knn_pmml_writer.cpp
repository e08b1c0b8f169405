#include "pmml/knn_pmml_writer.h"

#include <algorithm>
#include <new>

#include "boundary/progress.h"
#include "boundary/status_codes.h"
#include "data/knn_data_preparation.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_xml_archive_element.h"
#include "pmml/knn_xml_names.h"
#include "predict/knn_pmml_prediction.h"

using KNNPMML::AddChildTo;
using VelXML::XMLElement;

VelCommon::VelStatus KNNWritePMML(KNNSettings& settings, VelMTD::VelVarList& variables,
                                  KNNModel& model, KNNDataPreparation& dataPreparation,
                                  KNNStopControl& stopControl, std::ostream& out,
                                  const PMMLExportOptions* options) {
  if (!model.IsBuilt()) return KNNStatus::Error(KNNStatus::kNotBuilt);
  try {
    // The writer owns the tree and every temporary file; leaving this scope, by any path,
    // deletes them.
    KNNPMMLWriter writer(settings, variables, model, dataPreparation, stopControl);
    return writer.WriteDocument(out, options);
  } catch (const std::bad_alloc&) {
    return KNNStatus::Error(KNNStatus::kOutOfMemory);
  }
}

KNNPMMLWriter::KNNPMMLWriter(KNNSettings& settingsRecord, VelMTD::VelVarList& variableList,
                             KNNModel& builtModel, KNNDataPreparation& preparation,
                             KNNStopControl& stop)
    : settings(settingsRecord),
      variables(variableList),
      model(builtModel),
      dataPreparation(preparation),
      stopControl(stop) {
  for (const auto& responseModel : model.GetResponseModels()) {
    models.push_back(responseModel.get());
  }
  responseCount = static_cast<uint32_t>(settings.ResponseCategorical.size() +
                                        settings.ResponseContinuous.size());
  modelCount = static_cast<uint32_t>(models.size());
  sharedFeatureSet = responseCount < 2 || !(settings.IsFeaSelection || settings.IsFeaWeight);
  progressListener = settings.progressListener;
  reporter = settings.reporter;
}

KNNPMMLWriter::~KNNPMMLWriter() = default;

VelCommon::VelStatus KNNPMMLWriter::WriteDocument(std::ostream& out,
                                                  const PMMLExportOptions* options) {
  useUTF8 = options != nullptr && options->useUTF8;
  root.reset(XMLElement::Create("PMML"));
  root->AddAttribute("version", "4.3");
  root->AddAttribute("xmlns", KNNPMML::kPMMLNamespace);
  root->AddAttribute("xmlns:xsi", KNNPMML::kSchemaInstanceNamespace);
  root->AddAttribute("xsi:schemaLocation", std::string(KNNPMML::kPMMLNamespace) + " pmml-4-3.xsd");

  WriteHeader(options);
  WriteMiningBuildTask();
  WriteDataDictionary();

  const uint32_t modelsToWrite = std::max(modelCount, responseCount);
  for (uint32_t i = 0; i < modelsToWrite; ++i) {
    WriteModel(static_cast<int32_t>(i));
    if (status.IsError()) break;
  }

  if (!status.IsError() && !settings.fieldFormat.empty()) {
    KNNPMML::KNNXMLArchiveElement* extension =
        KNNPMML::KNNXMLArchiveElement::CreateStreamed("Extension", useUTF8, settings.FileTempDir);
    if (extension == nullptr) {
      status = KNNStatus::Error(KNNStatus::kTempFileFailed);
    } else {
      extension->AddAttribute("extender", KNNPMML::kExtenderName);
      extension->AddAttribute("name", "DataDictionaryFieldProperties");
      AddChildTo(root.get(), extension);
      // The text is meant as markup and goes in as it stands; text that is not well-formed
      // markup would break the whole document, so it goes in as escaped character data.
      if (KNNPMML::IsWellFormedFragment(settings.fieldFormat)) {
        extension->WriteRaw(settings.fieldFormat);
      } else {
        AddChildTo(extension, VelXML::XMLString::Create(settings.fieldFormat));
      }
      CheckStreamedElement(extension);
    }
  }

  if (!status.IsError()) {
    StartStage();
    if (useUTF8) {
      VelXML::WriteTreeUTF8(out, nullptr, root.get(), true);
    } else {
      VelXML::WriteTree(out, nullptr, root.get(), true);
    }
    out.flush();
    ReportStageEnd("writePMML");
  }
  return status;
}

void KNNPMMLWriter::WriteHeader(const PMMLExportOptions* options) {
  XMLElement* header = XMLElement::Create("Header");
  header->AddAttribute("copyright", options != nullptr && !options->copyrightText.empty()
                                        ? options->copyrightText
                                        : std::string(KNNPMML::kDefaultCopyright));
  XMLElement* application = XMLElement::Create("Application");
  AddChildTo(header, application);
  application->AddAttribute("name", options != nullptr && !options->applicationName.empty()
                                        ? options->applicationName
                                        : std::string(KNNPMML::kDefaultApplicationName));
  if (options != nullptr && !options->applicationVersion.empty()) {
    application->AddAttribute("version", options->applicationVersion);
  }
  AddChildTo(root.get(), header);
}

void KNNPMMLWriter::StartStage() {
  if (reporter == nullptr) return;
  KNNProgress::StartPhase(settings);
}

void KNNPMMLWriter::ReportStageEnd(const char* stage) {
  if (reporter == nullptr) return;
  const std::string name(stage);
  if (name != "writeOrigToDisk" && name != "compDisSaveToDisk" && name != "writePMML") return;
  KNNProgress::Report(settings, stage);
}

void KNNPMMLWriter::CheckStreamedElement(const XMLElement* element) {
  KNNPMML::CheckStreamedElement(status, element);
}
