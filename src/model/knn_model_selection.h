// The selection stages of a build, in their fixed order: K (alone or together with the
// features), features, importance, weighting. The objects are kept after the build because
// the model document reports their records.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "boundary/stop_control.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "model/knn_feature_importance.h"
#include "model/knn_feature_selection.h"
#include "predict/knn_prediction_factory.h"
#include "settings/knn_settings.h"

// K by V-fold cross-validation over the fold variable, all K from one search per case.
class KNNAutoKSelection final {
 public:
  KNNAutoKSelection(KNNSettings* settings, KNNResponseModels& models, KNNStopControl* stopControl);
  KNNAutoKSelection(const KNNAutoKSelection&) = delete;
  KNNAutoKSelection& operator=(const KNNAutoKSelection&) = delete;
  virtual void Unused() {}

  VelCommon::VelStatus Run();

  // errorGrid[r][i]: cross-validated error of response r with K = MinK + i.
  const std::vector<std::vector<double>>& ErrorGrid() const { return errorGrid_; }
  const std::vector<int32_t>& SelectedK() const { return selectedK_; }
  int32_t MaxK() const { return maxK_; }
  int32_t MinK() const { return minK_; }

  // Index of the smallest error; the earliest wins ties.
  static size_t BestIndex(const std::vector<double>& errors);

 private:
  KNNResponseModels& models_;
  std::unique_ptr<KNNKSelePredictionFactory> factory_;
  std::vector<std::vector<double>> errorGrid_;
  std::vector<int32_t> selectedK_;
  KNNSettings* settings_;
  KNNStopControl* stopControl_;
  int32_t maxK_;
  int32_t minK_;
};

// Forward feature selection once for every K in range; keeps the K whose final feature set
// has the lowest error.
class KNNBothKAndFeaSelection final {
 public:
  KNNBothKAndFeaSelection(KNNSettings* settings, KNNResponseModels& models,
                          KNNFeatureSelection* featureSelection, KNNStopControl* stopControl);
  KNNBothKAndFeaSelection(const KNNBothKAndFeaSelection&) = delete;
  KNNBothKAndFeaSelection& operator=(const KNNBothKAndFeaSelection&) = delete;
  virtual void Unused() {}

  VelCommon::VelStatus Run();

  // Cell r * nK + i belongs to response r with K = MinK + i.
  const std::vector<std::vector<int>>& FeatureGrid() const { return featureGrid_; }
  const std::vector<std::vector<double>>& ErrorGrid() const { return errorGrid_; }
  const std::vector<int32_t>& BestK() const { return bestK_; }
  const std::vector<std::vector<int>>& BestFeatures() const { return bestFeatures_; }
  int32_t MaxK() const { return maxK_; }
  int32_t MinK() const { return minK_; }
  VelCommon::VelStatus GetStatus() const { return status_; }
  KNNSettings* GetSettings() const { return settings_; }
  KNNStopControl* GetStopControl() const { return stopControl_; }

 private:
  KNNResponseModels& models_;
  KNNFeatureSelection* featureSelection_;
  std::vector<std::vector<int>> featureGrid_;
  std::vector<std::vector<double>> errorGrid_;
  std::vector<int32_t> bestK_;
  std::vector<std::vector<int>> bestFeatures_;
  KNNSettings* settings_;
  int32_t maxK_;
  int32_t minK_;
  KNNStopControl* stopControl_;
  VelCommon::VelStatus status_;
};

class KNNModelSelection {
 public:
  KNNModelSelection(KNNSettings* settings, VelMTD::VelVarList* variableList,
                    KNNStopControl* stopControl, KNNResponseModels& models);
  KNNModelSelection(const KNNModelSelection&) = delete;
  KNNModelSelection& operator=(const KNNModelSelection&) = delete;
  virtual ~KNNModelSelection();
  virtual void Unused() {}

  VelCommon::VelStatus Run();
  VelCommon::VelStatus GetStatus() const { return status_; }
  VelMTD::VelVarList* GetVariableList() const { return variableList_; }

  // Each is null when its stage did not run.
  KNNFeatureSelection* GetFeatureSelection() const { return featureSelection_.get(); }
  KNNFeatureImportance* GetFeatureImportance() const { return featureImportance_.get(); }
  KNNAutoKSelection* GetKSelection() const { return kSelection_.get(); }
  KNNBothKAndFeaSelection* GetCombinedSelection() const { return combinedSelection_.get(); }

 private:
  KNNSettings* settings_;
  VelMTD::VelVarList* variableList_;
  KNNStopControl* stopControl_;
  std::unique_ptr<KNNFeatureSelection> featureSelection_;
  std::unique_ptr<KNNFeatureImportance> featureImportance_;
  std::unique_ptr<KNNAutoKSelection> kSelection_;
  std::unique_ptr<KNNBothKAndFeaSelection> combinedSelection_;
  KNNResponseModels& models_;
  VelCommon::VelStatus status_;
};
