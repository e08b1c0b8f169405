#include "model/knn_feature_importance.h"

#include "boundary/status_codes.h"

KNNFeatureImportance::KNNFeatureImportance(KNNSettings* settings, KNNResponseModels& models,
                                           KNNStopControl* stopControl)
    : settings_(settings), models_(models), stopControl_(stopControl) {}

KNNFeatureImportance::~KNNFeatureImportance() = default;

VelCommon::VelStatus KNNFeatureImportance::SetUp() {
  std::vector<KNNPredictionSummary*> predictors;
  for (const auto& model : models_) {
    if (model->GetPredictor() != nullptr) predictors.push_back(model->GetPredictor());
  }
  if (predictors.empty()) {
    status_ = KNNStatus::Error(KNNStatus::kNoPredictionObject);
  } else {
    factory_ = std::make_unique<KNNPredictionFactory>(predictors, stopControl_, false);
    status_ = VelCommon::VelStatus();
  }
  return status_;
}

void KNNFeatureImportance::Normalise(std::vector<double>& row) {
  if (row.empty()) return;
  const double share = 1.0 / static_cast<double>(row.size());
  double sum = 0.0;
  for (double& value : row) {
    value += share;
    sum += value;
  }
  for (double& value : row) value /= sum;
}

VelCommon::VelStatus KNNFeatureImportance::LeaveOneOutErrors(KNNSingleResponseModel& model,
                                                             const std::vector<int>& features,
                                                             int32_t K,
                                                             const std::vector<size_t>& responses) {
  K_ = K;
  const size_t n = features.size();
  if (n == 1) {
    // Nothing is left once the only feature is removed: its error counts as 0.
    for (const size_t r : responses) rows_[r].push_back(0.0);
    return VelCommon::VelStatus();
  }
  std::vector<int> reduced;
  reduced.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    reduced.clear();
    for (size_t j = 0; j < n; ++j) {
      if (j != i) reduced.push_back(features[j]);
    }
    VelCommon::VelStatus s = model.BuildTreeForFeatures(reduced, -1);
    if (s.IsError()) return s;
    s = factory_->ScoreCases(model, model.GetDataPreparation()->caseRows, -1, K);
    if (s.IsError()) return s;
    const std::vector<double> errors = factory_->GetErrors();
    for (size_t p = 0; p < responses.size() && p < errors.size(); ++p) {
      rows_[responses[p]].push_back(errors[p]);
    }
  }
  return VelCommon::VelStatus();
}

VelCommon::VelStatus KNNFeatureImportance::Run() {
  VelCommon::VelStatus status = status_;
  if (status.IsError() || factory_ == nullptr) return status;
  rows_.assign(models_.size(), {});
  if (settings_->IsFeaSelection) {
    // Every response model has its own feature list.
    for (size_t r = 0; r < models_.size() && !status.IsError(); ++r) {
      KNNSingleResponseModel& model = *models_[r];
      if (model.GetPredictor() == nullptr) continue;
      factory_->SetSummaries({model.GetPredictor()});
      status = LeaveOneOutErrors(model, model.GetFeatures(), model.GetK(), {r});
    }
  } else {
    // One feature set for all: one pass per left-out feature serves every response.
    std::vector<KNNPredictionSummary*> predictors;
    std::vector<size_t> responses;
    for (size_t r = 0; r < models_.size(); ++r) {
      if (models_[r]->GetPredictor() == nullptr) continue;
      predictors.push_back(models_[r]->GetPredictor());
      responses.push_back(r);
    }
    factory_->SetSummaries(predictors);
    status = LeaveOneOutErrors(*models_[0], settings_->AllFeatures, models_[0]->GetK(), responses);
  }
  if (!status.IsError()) {
    for (size_t r = 0; r < models_.size(); ++r) {
      Normalise(rows_[r]);
      models_[r]->SetImportance(rows_[r]);
    }
  }
  status_ = status;
  return status;
}
