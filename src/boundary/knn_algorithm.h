// The algorithm object the host drives: owns the settings (through its reader), the data
// preparation and the model, and carries the host's progress and stop hooks.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "boundary/stop_control.h"
#include "data/knn_data_preparation.h"
#include "host/vel_interfaces.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "settings/knn_settings.h"
#include "settings/knn_settings_reader.h"

class KNNModel;

class KNNAlgorithm : public IVelAlgorithm {
 public:
  // Reads and checks the settings document; the outcome is GetStatus. Throws only what
  // allocation throws (the factory turns that into a status).
  KNNAlgorithm(std::istream& settingsDocument, VelMTD::VelVarList* hostVariables);
  KNNAlgorithm(const KNNAlgorithm&) = delete;
  KNNAlgorithm& operator=(const KNNAlgorithm&) = delete;
  ~KNNAlgorithm() override;

  VelCommon::VelStatus Build(IVelDataSource& source) override;
  bool IsBuilt() const override;
  VelCommon::VelStatus ScoreRecord(const VelCommon::Record* record, void* unused,
                                   std::vector<std::vector<double>>* results) override;
  VelCommon::VelStatus WritePMML(std::ostream& out, const PMMLExportOptions* options) override;
  VelCommon::VelStatus GetStatus() const override;
  // A null listener changes nothing; otherwise the listener gets a fresh reporter.
  void SetProgressListener(IVelProgressListener* listener) override;
  // A null check changes nothing, so an installed check cannot be removed.
  void SetInterruptCheck(IVelInterruptCheck* check) override;
  void Interrupt() override;
  std::string GetVersion() const override;
  // The live process-wide warning list.
  const std::vector<VelCommon::VelStatus>* GetWarnings() const override;
  void Display(std::ostream& out) override;
  // The variable list built from the settings; null when reading failed.
  virtual VelMTD::VelVarList* GetVarList();
  virtual VelMTD::VelVarList* GetVarList() const;

  // Read access for tests and diagnostics.
  KNNSettings* GetSettings() const { return settings_; }
  KNNDataPreparation* GetDataPreparation() const { return dataPreparation_.get(); }
  KNNModel* GetModel() const { return model_.get(); }
  const KNNStopControl& GetStopControl() const { return stopControl_; }

 private:
  VelCommon::VelStatus RunBuild(IVelDataSource& source);

  KNNSettings* settings_ = nullptr;             // the reader's; not owned
  VelMTD::VelVarList* variableList_ = nullptr;  // the reader's; not owned
  std::unique_ptr<KNNDataPreparation> dataPreparation_;
  std::unique_ptr<KNNModel> model_;
  bool built_ = false;
  KNNStopControl stopControl_;         // stop flag and interrupt check
  VelMTD::VelVarList* hostVariables_;  // not owned
  KNNSettingsReader reader_;
  VelCommon::VelStatus status_;
};
