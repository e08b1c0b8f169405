// The model of one response field: its K, its features with their weights and importances,
// its own KD-tree over the stored cases and its predictor.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "data/knn_data_preparation.h"
#include "host/vel_status.h"
#include "predict/knn_prediction_summary.h"
#include "search/knn_kd_tree.h"
#include "settings/knn_settings.h"

// What kept answers were searched with: they serve a later pass only through a tree built
// the same way.
struct KNNAnswerKey {
  std::vector<int> features;    // in column order
  std::vector<double> weights;  // the tree's, by variable column
  int32_t K = 0;
};

// Leave-self-out answers a selection pass found for the feature list it chose, kept so that
// scoring the training cases with that list again reads them instead of searching.
struct KNNKeptAnswers : KNNAnswerKey {
  std::vector<KNNNeighbor> found;  // K slots per case
  std::vector<int32_t> counts;     // one per case
};

// Each case's nearest cases outside its own fold (the fold code in its row), as the
// cross-validation searches for K found them, kept so that a later leave-self-out pass over
// all cases with the same features and weights searches only each case's own fold
// (KNNKdTree::FindNearestJoined).
struct KNNFoldAnswers : KNNAnswerKey {
  std::vector<int32_t> cases;   // K slots per case, ascending by distance
  std::vector<int32_t> counts;  // per case; -1: not searched, or not exactly
};

class KNNSingleResponseModel {
 public:
  // responseIndex -1: a model without response (no predictor).
  KNNSingleResponseModel(KNNDataPreparation* dataPreparation, int32_t responseIndex,
                         bool isContinuous);
  KNNSingleResponseModel(const KNNSingleResponseModel&) = delete;
  KNNSingleResponseModel& operator=(const KNNSingleResponseModel&) = delete;
  virtual ~KNNSingleResponseModel();
  virtual VelCommon::VelStatus GetStatus() const { return status_; }

  // Builds the tree over all cases with the model's own features and weights.
  VelCommon::VelStatus BuildTree();
  // Builds the tree over features with unit weights, leaving out the cases of excludedFold
  // (-1: none). The model's own lists are not touched.
  VelCommon::VelStatus BuildTreeForFeatures(const std::vector<int>& features, int32_t excludedFold);
  void Display();

  KNNSettings* GetSettings() const { return settings_; }
  VelMTD::VelVarList* GetVariableList() const { return variableList_; }
  KNNDataPreparation* GetDataPreparation() const { return dataPreparation_; }

  int32_t GetK() const { return K_; }
  void SetK(int32_t k) { K_ = k; }
  const std::vector<int>& GetFeatures() const { return features_; }
  void SetFeatures(const std::vector<int>& features) { features_ = features; }
  // Parallel to the features; may be longer (one entry per candidate before selection).
  const std::vector<double>& GetWeights() const { return weights_; }
  void SetWeights(const std::vector<double>& weights) { weights_ = weights; }
  // Parallel to the features; empty until importance is computed.
  const std::vector<double>& GetImportance() const { return importance_; }
  void SetImportance(const std::vector<double>& importance) { importance_ = importance; }
  int32_t GetResponseIndex() const { return responseIndex_; }
  bool IsContinuousResponse() const { return isContinuous_; }
  KNNKdTree* GetTree() const { return tree_.get(); }
  // Null when the model has no response.
  KNNPredictionSummary* GetPredictor() const { return predictor_.get(); }

  void KeepAnswers(KNNKeptAnswers answers) { kept_ = std::move(answers); }
  // The kept answers when the tree in place searches exactly as they were found (same
  // features in the same order, same weights, no fold left out) for K neighbours; else null.
  const KNNKeptAnswers* KeptAnswers(int32_t K) const;
  void KeepFoldAnswers(KNNFoldAnswers answers) { foldAnswers_ = std::move(answers); }
  // The kept fold answers when the tree in place was built over all cases with their
  // features and weights and they hold more than K neighbours per case; else null.
  const KNNFoldAnswers* FoldAnswers(int32_t K) const;

 private:
  KNNSettings* settings_;
  VelMTD::VelVarList* variableList_;
  KNNDataPreparation* dataPreparation_;
  std::unique_ptr<KNNKdTree> tree_;
  std::unique_ptr<KNNPredictionSummary> predictor_;
  int32_t K_;
  std::vector<int> features_;
  std::vector<double> weights_;
  std::vector<double> importance_;
  int32_t responseIndex_;
  bool isContinuous_;
  VelCommon::VelStatus status_;
  // Whether the tree in place searches as key's answers were found (same features in the
  // same order, same weights, no fold left out) and they cover caseCount = every case.
  bool TreeSearchesAsFound(const KNNAnswerKey& key, size_t caseCount) const;

  KNNKeptAnswers kept_;
  KNNFoldAnswers foldAnswers_;
};
