#include "pmml/knn_pmml_writer.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <utility>

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
  root = KNNPMML::NewElement("PMML");
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
    std::unique_ptr<KNNPMML::KNNXMLArchiveElement> owned =
        KNNPMML::KNNXMLArchiveElement::CreateStreamed("Extension", useUTF8, settings.FileTempDir);
    if (owned == nullptr) {
      status = KNNStatus::Error(KNNStatus::kTempFileFailed);
    } else {
      KNNPMML::KNNXMLArchiveElement* extension = owned.get();  // root is plain: it stays
      extension->AddAttribute("extender", KNNPMML::kExtenderName);
      extension->AddAttribute("name", "DataDictionaryFieldProperties");
      AddChildTo(root.get(), std::move(owned));
      // The text is meant as markup and goes in as it stands; text that is not well-formed
      // markup would break the whole document, so it goes in as escaped character data.
      if (KNNPMML::IsWellFormedFragment(settings.fieldFormat)) {
        extension->WriteRaw(settings.fieldFormat);
      } else {
        AddChildTo(extension, KNNPMML::NewText(settings.fieldFormat));
      }
      CheckStreamedElement(extension);
    }
  }

  if (!status.IsError()) {
    StartStage();
    SerialiseDocument(out);
    if (!status.IsError()) ReportStageEnd("writePMML");
  }
  return status;
}

void KNNPMMLWriter::SerialiseDocument(std::ostream& out) {
  // Serialising allocates all the way (tags, escaped texts, the streamed elements' lines), so
  // it goes into a file of its own first; the copy from there allocates nothing, and a failing
  // allocation leaves out untouched. Its own suffix keeps the name from waiting for the
  // clock, as the tables' names do when there are several in one second.
  const KNNPMML::TempFile file(settings.FileTempDir, "_knnpmml");
  std::fstream document;
  if (!file.Path().empty()) {
    document.open(file.Path(), std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
  }
  if (!document.is_open()) {
    status = KNNStatus::Error(KNNStatus::kTempFileFailed);
    return;
  }
  if (useUTF8) {
    VelXML::WriteTreeUTF8(document, nullptr, root.get(), true);
  } else {
    VelXML::WriteTree(document, nullptr, root.get(), true);
  }
  document.flush();
  document.seekg(0, std::ios::beg);
  if (document.fail()) {
    status = KNNStatus::Error(KNNStatus::kStreamFailed);
    return;
  }
  char buffer[16384];
  // A host stream that fails part way is the host's to notice; the copy just stops there.
  while (out.good() && document.read(buffer, sizeof buffer).gcount() > 0) {
    out.write(buffer, document.gcount());
  }
  out.flush();
}

void KNNPMMLWriter::WriteHeader(const PMMLExportOptions* options) {
  KNNPMML::ElementPtr header = KNNPMML::NewElement("Header");
  header->AddAttribute("copyright", options != nullptr && !options->copyrightText.empty()
                                        ? options->copyrightText
                                        : std::string(KNNPMML::kDefaultCopyright));
  KNNPMML::ElementPtr application = KNNPMML::NewElement("Application");
  application->AddAttribute("name", options != nullptr && !options->applicationName.empty()
                                        ? options->applicationName
                                        : std::string(KNNPMML::kDefaultApplicationName));
  if (options != nullptr && !options->applicationVersion.empty()) {
    application->AddAttribute("version", options->applicationVersion);
  }
  AddChildTo(header.get(), std::move(application));
  AddChildTo(root.get(), std::move(header));
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
