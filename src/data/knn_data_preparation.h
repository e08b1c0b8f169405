// One pass over the host's records into the case store, the only copy of the training data.
#pragma once

#include <utility>
#include <vector>

#include "boundary/stop_control.h"
#include "data/knn_variable.h"
#include "host/vel_interfaces.h"
#include "settings/knn_settings.h"

// Final: its Display is virtual like every displayable part, but nothing derives from it,
// so the destructor need not be.
class KNNDataPreparation final {
 public:
  KNNDataPreparation(KNNSettings* settings, VelMTD::VelVarList* variableList,
                     KNNStopControl* stopControl, VelMTD::VelVarList* hostVariables);
  KNNDataPreparation(const KNNDataPreparation&) = delete;
  KNNDataPreparation& operator=(const KNNDataPreparation&) = delete;
  ~KNNDataPreparation();

  VelCommon::VelStatus Prepare(VelCommon::VelStatus& out, IVelDataSource& source);
  VelCommon::VelStatus ReadCases(IVelDataSource& source);
  // Marks exactly the listed variables as used; false at an index out of range.
  bool MarkUsedVariables(const std::vector<int>& indices);
  virtual void Display();

  VelCommon::VelStatus GetStatus() const { return status; }
  KNNSettings* GetSettings() const { return settings; }
  VelMTD::VelVarList* GetVariableList() const { return variableList; }

  KNNSettings* settings;
  VelMTD::VelVarList* variableList;
  KNNStopControl* stopControl;
  std::vector<double> caseStore;                   // caseCount x rowWidth, row after row
  std::vector<double*> caseRows;                   // caseRows[i] -> first value of stored case i
  std::vector<IKNNVariable*> variables;            // owned, variable-list order
  std::vector<std::pair<int, int>> variableKinds;  // (index, kind): 0 categorical, 1 continuous
  int caseCount = 0;
  int rowWidth;
  VelMTD::VelVarList* hostVariables;
  VelCommon::VelStatus status;

 private:
  void CreateVariables();
};
