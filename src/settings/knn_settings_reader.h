// Reads the settings document into the variable list and a checked KNNSettings record.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "host/vel_settings_parser.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "settings/knn_settings.h"

class KNNSettingsReader {
 public:
  KNNSettingsReader() = default;
  KNNSettingsReader(const KNNSettingsReader&) = delete;
  KNNSettingsReader& operator=(const KNNSettingsReader&) = delete;
  // Deletes the variable list and the settings record (with its reporter).
  ~KNNSettingsReader();

  // Reads the document through the host parser. The result is also kept (GetStatus).
  VelCommon::VelStatus Read(std::istream& document);

  VelCommon::VelStatus GetStatus() const { return status; }
  // Both stay owned by the reader; both exist after Read, whatever its outcome.
  KNNSettings* GetSettings() const { return settings; }
  VelMTD::VelVarList* GetVariables() const { return variables; }
  const std::vector<int>& GetUsedVariables() const { return usedVariables; }

 private:
  // Each step records its outcome in status; steps after an error do not run.
  void ReadCaseId(VelSettingsParser& parser);
  void ReadCaseLabel(VelSettingsParser& parser);
  void ReadFocal(VelSettingsParser& parser);
  void ReadTargets(VelSettingsParser& parser);
  void ReadPredictors(VelSettingsParser& parser);
  void ReadGeneralKeys(VelSettingsParser& parser);
  void ReadResponseKeys(VelSettingsParser& parser);
  void ReadFeatureSelection(VelSettingsParser& parser);
  void ReadKSelection(VelSettingsParser& parser);
  void ReadSpecifiedK(VelSettingsParser& parser);
  void ReadSpecifiedFeatures(VelSettingsParser& parser);
  void CheckRanges();
  void CheckFoldCount();

  // Index of the variable of that name, or -1.
  int Find(const std::string& name) const;
  int KindOf(int index) const;
  void AddUsed(int index);
  void Fail(long code);

  VelCommon::VelStatus status;
  // The fixed-feature-count warning, kept so that later successful steps do not lose it.
  VelCommon::VelStatus warning;
  KNNSettings* settings = nullptr;
  VelMTD::VelVarList* variables = nullptr;
  std::vector<int> usedVariables;
};
