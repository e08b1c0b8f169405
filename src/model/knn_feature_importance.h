// Importance of every feature of a response model: the leave-self-out error with that one
// feature left out of the distance, smoothed and normalised to sum 1.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "boundary/stop_control.h"
#include "host/vel_status.h"
#include "model/knn_feature_selection.h"
#include "predict/knn_prediction_factory.h"
#include "settings/knn_settings.h"

class KNNFeatureImportance {
 public:
  KNNFeatureImportance(KNNSettings* settings, KNNResponseModels& models,
                       KNNStopControl* stopControl);
  KNNFeatureImportance(const KNNFeatureImportance&) = delete;
  KNNFeatureImportance& operator=(const KNNFeatureImportance&) = delete;
  virtual ~KNNFeatureImportance();
  virtual void Unused() {}

  // Creates the prediction factory over every present predictor; 200046 when none.
  VelCommon::VelStatus SetUp();
  // Replaces every response model's importance list.
  VelCommon::VelStatus Run();

  VelCommon::VelStatus GetStatus() const { return status_; }
  // Per response: the normalised importances after a successful run.
  const std::vector<std::vector<double>>& Rows() const { return rows_; }

  // Turns leave-one-out errors into importances: (e_j + 1/n) / (sum e + 1).
  static void Normalise(std::vector<double>& row);

 private:
  // Appends one leave-one-out error per feature to the rows of the predictors in the
  // factory: rows_[responses[p]] receives the errors of the factory's predictor p.
  VelCommon::VelStatus LeaveOneOutErrors(KNNSingleResponseModel& model,
                                         const std::vector<int>& features, int32_t K,
                                         const std::vector<size_t>& responses);

  KNNSettings* settings_;
  KNNResponseModels& models_;
  std::unique_ptr<KNNPredictionFactory> factory_;
  int32_t K_ = 0;
  std::vector<std::vector<double>> rows_;
  KNNStopControl* stopControl_;
  VelCommon::VelStatus status_;
};
