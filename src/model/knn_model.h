// The model as a whole: one single-response model per response field, the selection stages
// that shape them, and the scoring of single new records.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "boundary/stop_control.h"
#include "data/knn_data_preparation.h"
#include "host/vel_record.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "model/knn_model_selection.h"
#include "model/knn_single_response_model.h"
#include "settings/knn_settings.h"

class KNNModel {
 public:
  KNNModel(KNNSettings* settings, VelMTD::VelVarList* variableList, KNNStopControl* stopControl,
           KNNDataPreparation* dataPreparation);
  KNNModel(const KNNModel&) = delete;
  KNNModel& operator=(const KNNModel&) = delete;
  virtual ~KNNModel();
  virtual VelCommon::VelStatus GetStatus() const { return status_; }
  virtual void Display();

  // Creates the response models, runs the selection stages and builds the final trees.
  VelCommon::VelStatus Build();
  // Scores one host record: one result per response (one in all without a response) holding
  // N case IDs, N distances, the prediction vector (with responses) and N case labels.
  VelCommon::VelStatus ScoreRecord(const VelCommon::Record& record,
                                   std::vector<std::vector<double>>& results);

  // Read access for the model document.
  const KNNResponseModels& GetResponseModels() const { return responseModels_; }
  KNNSingleResponseModel* GetResponseModel(int32_t r) const {
    return responseModels_[static_cast<size_t>(r)].get();
  }
  int32_t GetResponseCount() const { return responseCount_; }
  int32_t GetMaximumK() const { return maximumK_; }
  bool IsSharedModel() const { return sharedModel_; }
  bool IsBuilt() const { return built_; }
  // Null when no selection stage ran.
  KNNModelSelection* GetSelection() const { return selection_.get(); }
  KNNDataPreparation* GetDataPreparation() const { return dataPreparation_; }

 private:
  void CreateResponseModels();
  void WriteResult(const KNNNeighborList& list, const std::vector<double>* predictions,
                   std::vector<double>& result) const;

  KNNSettings* settings_;
  VelMTD::VelVarList* variableList_;
  KNNStopControl* stopControl_;
  KNNDataPreparation* dataPreparation_;
  std::unique_ptr<KNNModelSelection> selection_;
  KNNResponseModels responseModels_;
  int32_t responseCount_ = 0;
  int32_t maximumK_ = 0;
  bool built_ = false;
  bool selectionWanted_ = false;
  bool sharedModel_ = true;
  int32_t recordFieldCount_ = 0;
  int32_t caseIdVariable_ = -1;
  int32_t caseLabelVariable_ = -1;
  const KNNCaseRows& preparedCases_;
  VelCommon::VelStatus status_;
  std::vector<double> valueRow_;  // reused by every ScoreRecord
};
