// Forward feature selection: starting from the forced features, add the candidate whose
// addition gives the lowest leave-self-out error, until a fixed number was added or the
// error stops changing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "boundary/stop_control.h"
#include "host/vel_status.h"
#include "model/knn_candidate_evaluation.h"
#include "model/knn_single_response_model.h"
#include "predict/knn_prediction_factory.h"
#include "settings/knn_settings.h"

using KNNResponseModels = std::vector<std::unique_ptr<KNNSingleResponseModel>>;

// Adds SpecifiedFeaNum features.
class KNNSpecificNumFS {
 public:
  KNNSpecificNumFS(KNNSettings* settings, KNNPredictionFactory* factory,
                   const std::vector<int>& candidates);
  KNNSpecificNumFS(const KNNSpecificNumFS&) = delete;
  KNNSpecificNumFS& operator=(const KNNSpecificNumFS&) = delete;
  virtual ~KNNSpecificNumFS() = default;

  virtual VelCommon::VelStatus Select(KNNSingleResponseModel& model, int32_t K);
  virtual VelCommon::VelStatus ForwardSteps(KNNSingleResponseModel& model, int32_t K);
  // Evaluates the selected list and appends its error to the step errors.
  virtual VelCommon::VelStatus EvaluateCurrent(KNNSingleResponseModel& model, int32_t K);
  virtual void Unused() {}
  // The stopping rule, asked after every completed step.
  virtual bool ContinueSelection();

  // Starts afresh for the next model: every candidate remaining, only the forced features
  // selected, no step errors.
  void Restart(const std::vector<int>& candidates);
  // Leave-self-out error of a feature list (tree rebuilt over all cases, unit weights).
  VelCommon::VelStatus Evaluate(KNNSingleResponseModel& model, const std::vector<int>& features,
                                int32_t K, double& error);

  KNNSettings* settings;
  std::vector<int> remaining;
  std::vector<int> selected;
  std::vector<double> stepErrors;
  KNNPredictionFactory* predictionFactory;
  int32_t numberToSelect;
  bool forcedSetEvaluated = false;
  VelCommon::VelStatus status;
  // Trial passes with no feature or at least kSharedSearchBase features before the trial
  // slot evaluate their candidates from shared searches (same errors; off only to compare
  // the two). With one feature before it, one tree per candidate is faster.
  bool sharedSearches = true;
  static constexpr size_t kSharedSearchBase = 2;

 protected:
  // Tries every remaining candidate in the trial slot (the last entry of selected) and keeps
  // the one with the lowest error; the earliest candidate wins ties.
  VelCommon::VelStatus TrialPass(KNNSingleResponseModel& model, int32_t K);
  // The position of the lowest trial error (the earliest among equal ones).
  size_t BestTrial() const;

  std::vector<double> trialErrors_;
  KNNCandidateAnswers trialAnswers_;  // the shared passes' answers, reused from pass to pass
};

// Stops when the error no longer changes by more than SpecifiedErrRange (relative).
class KNNAutoFS : public KNNSpecificNumFS {
 public:
  using KNNSpecificNumFS::KNNSpecificNumFS;
  ~KNNAutoFS() override = default;

  VelCommon::VelStatus Select(KNNSingleResponseModel& model, int32_t K) override;
  bool ContinueSelection() override;
};

class KNNFeatureSelection {
 public:
  // combinedMode: the K passed to Run is used for every model.
  KNNFeatureSelection(KNNSettings* settings, KNNResponseModels& models, KNNStopControl* stopControl,
                      bool combinedMode);
  KNNFeatureSelection(const KNNFeatureSelection&) = delete;
  KNNFeatureSelection& operator=(const KNNFeatureSelection&) = delete;
  virtual ~KNNFeatureSelection();
  virtual void Unused() {}

  // Selects the features of every response model in order. K is used in combined mode only.
  VelCommon::VelStatus Run(int32_t K);

  VelCommon::VelStatus GetStatus() const { return status_; }
  const std::vector<int>& Candidates() const { return candidates_; }
  // Per response: forced features first, then the added ones in the order chosen.
  const std::vector<std::vector<int>>& RecordedFeatures() const { return recordedFeatures_; }
  // Per response: the error after each step (the forced set's first when there is one).
  const std::vector<std::vector<double>>& RecordedErrors() const { return recordedErrors_; }
  bool IsCombinedMode() const { return combinedMode_; }
  bool IsAutomatic() const { return automatic_; }
  int32_t NumberToSelect() const { return numberToSelect_; }
  KNNSpecificNumFS* Strategy() const { return strategy_.get(); }

 private:
  KNNSettings* settings_;
  KNNResponseModels& models_;
  KNNStopControl* stopControl_;
  std::unique_ptr<KNNSpecificNumFS> strategy_;
  std::unique_ptr<KNNPredictionFactory> factory_;
  std::vector<int> candidates_;
  bool automatic_;
  int32_t numberToSelect_;
  std::vector<std::vector<int>> recordedFeatures_;
  std::vector<std::vector<double>> recordedErrors_;
  bool combinedMode_;
  VelCommon::VelStatus status_;
};
