// The model document: one PMML 4.3 document per WritePMML call, built as an element tree and
// written to the host's stream only when every step succeeded.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "boundary/stop_control.h"
#include "host/vel_interfaces.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "host/vel_xml.h"
#include "settings/knn_settings.h"

class KNNModel;
class KNNDataPreparation;
class KNNSingleResponseModel;
class KNNPredictionSummary;
class KNNPMMLPrediction;
class KNNReporter;

// Writes the built model as a PMML document to out. Nothing reaches out unless the whole
// document could be built; temporary files never outlive the call.
VelCommon::VelStatus KNNWritePMML(KNNSettings& settings, VelMTD::VelVarList& variables,
                                  KNNModel& model, KNNDataPreparation& dataPreparation,
                                  KNNStopControl& stopControl, std::ostream& out,
                                  const PMMLExportOptions* options);

namespace KNNPMML {
// Who wrote the vendor extensions, and the notice used when the host gives none.
inline constexpr const char* kExtenderName = "VelKNN";
inline constexpr const char* kDefaultCopyright = "Copyright (c) VelKNN component authors";
inline constexpr const char* kDefaultApplicationName = "NearestNeighbor";
inline constexpr const char* kPMMLNamespace = "http://www.dmg.org/PMML-4_3";
inline constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
// The vendor extension of each model, holding the selection and scoring tables.
inline constexpr const char* kModelsExtensionName = "VelKNN Models";
// The vendor extension of the build task, holding the settings echo.
inline constexpr const char* kSettingsExtensionName = "VelKNN Model Settings";
}  // namespace KNNPMML

// The context of one document write. Owns the element tree, the training-case scoring
// object and the scoring tables not yet attached; everything else is borrowed.
class KNNPMMLWriter {
 public:
  KNNPMMLWriter(KNNSettings& settings, VelMTD::VelVarList& variables, KNNModel& model,
                KNNDataPreparation& dataPreparation, KNNStopControl& stopControl);
  KNNPMMLWriter(const KNNPMMLWriter&) = delete;
  KNNPMMLWriter& operator=(const KNNPMMLWriter&) = delete;
  ~KNNPMMLWriter();

  VelCommon::VelStatus WriteDocument(std::ostream& out, const PMMLExportOptions* options);

  // Every Write* below that returns an element hands over a new subtree the caller owns
  // (AddChildTo adopts it); null means nothing to attach.

  // Document frame.
  void WriteHeader(const PMMLExportOptions* options);
  // The finished tree to out, through a temporary file: out receives nothing unless the whole
  // document could be serialised.
  void SerialiseDocument(std::ostream& out);
  void StartStage();
  void ReportStageEnd(const char* stage);

  // Settings echo.
  void WriteMiningBuildTask();
  void AddFieldParameter(VelXML::XMLElement* parent, int32_t index, const char* name,
                         const char* type);
  void AddListParameter(VelXML::XMLElement* parent, const char* name,
                        const std::vector<int>& indices);

  // Field descriptions.
  void WriteDataDictionary();
  VelXML::XMLElement* WriteDataField(const VelMTD::IVelVariable& variable, int32_t index);
  VelXML::XMLElement* WriteMiningSchema(int32_t i);
  VelXML::XMLElement* WriteLocalTransformations(int32_t i);
  bool IsRescaled(int32_t index) const;
  std::vector<std::string> DerivedFieldNames(int32_t index) const;

  // Model elements.
  void WriteModel(int32_t i);
  VelXML::XMLElement* WriteModelsExtension(int32_t i);
  VelXML::XMLElement* WriteModelStats(int32_t i);
  VelXML::XMLElement* WriteModelExplanation(int32_t i);
  VelXML::XMLElement* WriteTrainingInstances();
  VelXML::XMLElement* WriteComparisonMeasure();
  VelXML::XMLElement* WriteKNNInputs(int32_t i);
  std::string ValueText(double value, int32_t index) const;
  std::vector<std::string> CategoryTexts(int32_t index) const;
  std::string VariableName(int32_t index) const;
  static std::string ColumnName(const std::string& fieldName);
  static std::string UniqueColumnName(int32_t start, const std::vector<std::string>& columns);

  // Selection tables.
  VelXML::XMLElement* WriteKSelectionTable(int32_t r);
  VelXML::XMLElement* WriteFeatureSelectionTable(int32_t r);
  VelXML::XMLElement* WriteFeatureKSelectionTable(int32_t r);

  // Status 200056 when element is a streamed element whose temporary file has failed.
  void CheckStreamedElement(const VelXML::XMLElement* element);

  // The variable's data type text, with the case identifier as "integer" and date kinds.
  std::string DataTypeText(const VelMTD::IVelVariable& variable, bool categorical) const;

  KNNSettings& settings;
  VelMTD::VelVarList& variables;
  KNNModel& model;
  KNNDataPreparation& dataPreparation;
  KNNStopControl& stopControl;
  bool useUTF8 = false;
  int32_t streamLargeTables = 1;
  VelCommon::VelStatus status;
  std::unique_ptr<VelXML::XMLElement> root;
  bool sharedFeatureSet = true;
  uint32_t responseCount = 0;
  uint32_t modelCount = 0;
  std::vector<KNNSingleResponseModel*> models;  // model i describes response i
  std::unique_ptr<KNNPMMLPrediction> scoringOutput;
  std::vector<KNNPredictionSummary*> predictors;
  IVelProgressListener* progressListener = nullptr;
  KNNReporter* reporter = nullptr;
  // Scoring tables of every model, made during model 0 and attached model by model; a slot
  // is empty once attached, or when the model has no such table.
  std::vector<std::unique_ptr<VelXML::XMLElement>> neighbourTables;
  std::vector<std::unique_ptr<VelXML::XMLElement>> probabilityTables;
};
