#include "model/knn_feature_selection.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "boundary/status_codes.h"
#include "model/knn_candidate_evaluation.h"

// ---------------------------------------------------------------------------------------
// Fixed number of features

KNNSpecificNumFS::KNNSpecificNumFS(KNNSettings* settingsRecord, KNNPredictionFactory* factory,
                                   const std::vector<int>& candidates)
    : settings(settingsRecord),
      predictionFactory(factory),
      numberToSelect(settingsRecord->SpecifiedFeaNum) {
  Restart(candidates);
}

void KNNSpecificNumFS::Restart(const std::vector<int>& candidates) {
  remaining = candidates;
  selected = settings->ForcedVariables;
  stepErrors.clear();
  trialErrors_.clear();
  trialAnswers_ = KNNCandidateAnswers();  // (its memory too)
  forcedSetEvaluated = false;
  status = VelCommon::VelStatus();
}

VelCommon::VelStatus KNNSpecificNumFS::Evaluate(KNNSingleResponseModel& model,
                                                const std::vector<int>& features, int32_t K,
                                                double& error) {
  const VelCommon::VelStatus s = model.BuildTreeForFeatures(features, -1);
  if (s.IsError()) return s;
  return KNNPassError(
      predictionFactory->ScoreCases(model, model.GetDataPreparation()->caseRows, -1, K),
      *predictionFactory, error);
}

VelCommon::VelStatus KNNSpecificNumFS::EvaluateCurrent(KNNSingleResponseModel& model, int32_t K) {
  double error = 0.0;
  status = Evaluate(model, selected, K, error);
  if (!status.IsError()) stepErrors.push_back(error);
  return status;
}

size_t KNNSpecificNumFS::BestTrial() const {
  // Strictly smaller only: among equal errors the earliest candidate stays.
  double bestError = DBL_MAX;
  size_t best = 0;
  for (size_t i = 0; i < trialErrors_.size(); ++i) {
    if (trialErrors_[i] < bestError) {
      bestError = trialErrors_[i];
      best = i;
    }
  }
  return best;
}

VelCommon::VelStatus KNNSpecificNumFS::TrialPass(KNNSingleResponseModel& model, int32_t K) {
  trialErrors_.clear();
  size_t next = 0;  // remaining candidates evaluated so far
  const std::vector<int> base(selected.begin(), selected.end() - 1);
  if (sharedSearches && (base.empty() || base.size() >= kSharedSearchBase)) {
    KNNCandidateEvaluation shared(model, *predictionFactory, base, K, trialAnswers_);
    size_t lastGroup = 0;  // where the last group evaluated starts
    for (size_t group = shared.GroupSize(remaining.size()); group > 0;
         group = shared.GroupSize(remaining.size() - next)) {
      const std::vector<int> candidates(
          remaining.begin() + static_cast<std::ptrdiff_t>(next),
          remaining.begin() + static_cast<std::ptrdiff_t>(next + group));
      bool applicable = false;
      status = shared.Evaluate(candidates, trialErrors_, applicable);
      if (status.IsError()) return status;
      if (!applicable) break;
      lastGroup = next;
      next += group;
    }
    // The winner's answers serve the scoring of its list that follows the selection.
    if (next == remaining.size() && next > 0) {
      const size_t best = BestTrial();
      if (best >= lastGroup) shared.KeepAnswersOf(best - lastGroup);
    }
  }
  for (; next < remaining.size(); ++next) {
    selected.back() = remaining[next];
    double error = 0.0;
    status = Evaluate(model, selected, K, error);
    if (status.IsError()) return status;
    trialErrors_.push_back(error);
  }
  const size_t best = BestTrial();
  selected.back() = remaining[best];
  stepErrors.push_back(trialErrors_[best]);
  remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(best));
  trialErrors_.clear();
  return status;
}

VelCommon::VelStatus KNNSpecificNumFS::ForwardSteps(KNNSingleResponseModel& model, int32_t K) {
  if (remaining.empty()) return status;
  selected.push_back(remaining[0]);
  for (;;) {
    status = TrialPass(model, K);
    if (status.IsError()) return status;
    if (!ContinueSelection() || remaining.empty()) return status;
    selected.push_back(remaining[0]);
  }
}

bool KNNSpecificNumFS::ContinueSelection() {
  const auto added = static_cast<int32_t>(stepErrors.size()) - (forcedSetEvaluated ? 1 : 0);
  return added < numberToSelect;
}

VelCommon::VelStatus KNNSpecificNumFS::Select(KNNSingleResponseModel& model, int32_t K) {
  status = VelCommon::VelStatus();
  if (!settings->ForcedVariables.empty()) {
    forcedSetEvaluated = true;
    EvaluateCurrent(model, K);
  }
  if (!status.IsError() && !remaining.empty() && numberToSelect != 0) ForwardSteps(model, K);
  return status;
}

// ---------------------------------------------------------------------------------------
// Automatic stop

VelCommon::VelStatus KNNAutoFS::Select(KNNSingleResponseModel& model, int32_t K) {
  status = VelCommon::VelStatus();
  selected = settings->ForcedVariables;
  if (selected.empty()) {
    if (remaining.empty()) return status;
    selected.push_back(remaining[0]);
    TrialPass(model, K);
  } else {
    forcedSetEvaluated = true;
    EvaluateCurrent(model, K);
  }
  if (status.IsError() || stepErrors.empty() || stepErrors.back() == 0.0 || remaining.empty()) {
    return status;
  }
  return ForwardSteps(model, K);
}

bool KNNAutoFS::ContinueSelection() {
  const auto undo = [this] {
    stepErrors.pop_back();
    selected.pop_back();
  };
  const double last = stepErrors.back();
  // A perfect fit on the training cases is taken as overfitting: drop the step.
  if (last == 0.0) {
    undo();
    return false;
  }
  if (stepErrors.size() < 2) return true;
  const double prev = stepErrors[stepErrors.size() - 2];
  const double range = settings->SpecifiedErrRange;
  const double rel = std::fabs(prev - last) / prev;
  if (rel <= range && last <= prev) return false;
  if (last > prev && rel > 2.0 * range) {
    undo();
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Driver over the response models

KNNFeatureSelection::KNNFeatureSelection(KNNSettings* settings, KNNResponseModels& models,
                                         KNNStopControl* stopControl, bool combinedMode)
    : settings_(settings),
      models_(models),
      stopControl_(stopControl),
      candidates_(settings->AllFeatures),
      automatic_(settings->IsAutoFeaSelection),
      numberToSelect_(settings->SpecifiedFeaNum),
      recordedFeatures_(models.size()),
      recordedErrors_(models.size()),
      combinedMode_(combinedMode) {
  for (const int forced : settings_->ForcedVariables) {
    const auto it = std::find(candidates_.begin(), candidates_.end(), forced);
    if (it == candidates_.end()) {
      // Only noted: the set-up below decides the construction status.
      status_ = KNNStatus::Error(KNNStatus::kBadSpecifiedFeatureNum);
    } else {
      candidates_.erase(it);
    }
  }
  KNNPredictionSummary* predictor = models_.empty() ? nullptr : models_[0]->GetPredictor();
  if (predictor == nullptr) {
    status_ = KNNStatus::Error(KNNStatus::kNoPredictionObject);
    return;
  }
  factory_ = std::make_unique<KNNPredictionFactory>(std::vector<KNNPredictionSummary*>{predictor},
                                                    stopControl_, false);
  if (automatic_) {
    strategy_ = std::make_unique<KNNAutoFS>(settings_, factory_.get(), candidates_);
  } else {
    strategy_ = std::make_unique<KNNSpecificNumFS>(settings_, factory_.get(), candidates_);
  }
  status_ = VelCommon::VelStatus();
}

KNNFeatureSelection::~KNNFeatureSelection() = default;

VelCommon::VelStatus KNNFeatureSelection::Run(int32_t K) {
  if (strategy_ == nullptr) return status_;
  VelCommon::VelStatus status;
  for (size_t r = 0; r < models_.size(); ++r) {
    KNNSingleResponseModel& model = *models_[r];
    if (model.GetPredictor() == nullptr) return KNNStatus::Error(KNNStatus::kNoPredictionObject);
    factory_->SetSummaries({model.GetPredictor()});
    const int32_t k = combinedMode_ ? K : model.GetK();
    strategy_->Restart(candidates_);
    status = strategy_->Select(model, k);
    if (status.IsError()) return status;
    recordedFeatures_[r] = strategy_->selected;
    recordedErrors_[r] = strategy_->stepErrors;
    model.SetFeatures(strategy_->selected);
    strategy_->Restart(candidates_);
  }
  return status;
}
