#include "model/knn_single_response_model.h"

#include "host/vel_display.h"

KNNSingleResponseModel::KNNSingleResponseModel(KNNDataPreparation* dataPreparation,
                                               int32_t responseIndex, bool isContinuous)
    : settings_(dataPreparation->GetSettings()),
      variableList_(dataPreparation->GetVariableList()),
      dataPreparation_(dataPreparation),
      K_(settings_->SpecifiedK),
      features_(settings_->AllFeatures),
      weights_(settings_->AllFeatures.size(), 1.0),
      responseIndex_(responseIndex),
      isContinuous_(isContinuous) {
  tree_ = std::make_unique<KNNKdTree>(*dataPreparation_);
  if (responseIndex_ >= 0) {
    const std::vector<unsigned>* counts = nullptr;
    const auto index = static_cast<size_t>(responseIndex_);
    if (!isContinuous_ && index < dataPreparation_->variables.size()) {
      auto* variable = dynamic_cast<KNNCatVariable*>(dataPreparation_->variables[index]);
      if (variable != nullptr) counts = variable->GetCategoryCounts();
    }
    predictor_.reset(CreatePredictionSummary(isContinuous_, settings_->ComputePredValFunc,
                                             responseIndex_, settings_->TotalVarNum, counts,
                                             dataPreparation_->caseRows));
  }
  if (!settings_->SpecifiedFeatures.empty()) {
    features_ = settings_->SpecifiedFeatures;
    weights_ = settings_->SpecifiedFeatureWeights;
  }
}

KNNSingleResponseModel::~KNNSingleResponseModel() {
  // The predictor reads the case store through the same rows as the tree; drop it first.
  predictor_.reset();
  tree_.reset();
}

VelCommon::VelStatus KNNSingleResponseModel::BuildTreeForFeatures(const std::vector<int>& features,
                                                                  int32_t excludedFold) {
  tree_->Clear();
  status_ = tree_->Build(features, excludedFold, nullptr);
  return status_;
}

VelCommon::VelStatus KNNSingleResponseModel::BuildTree() {
  tree_->Clear();
  status_ = tree_->Build(features_, -1, &weights_);
  return status_;
}

bool KNNSingleResponseModel::TreeSearchesAsFound(const KNNAnswerKey& key, size_t caseCount) const {
  return tree_ != nullptr && caseCount == dataPreparation_->caseRows.size() &&
         tree_->IsBuiltOver(key.features) && tree_->Weights() == key.weights;
}

const KNNKeptAnswers* KNNSingleResponseModel::KeptAnswers(int32_t K) const {
  if (K < 1 || kept_.K != K || !TreeSearchesAsFound(kept_, kept_.counts.size())) return nullptr;
  return &kept_;
}

const KNNFoldAnswers* KNNSingleResponseModel::FoldAnswers(int32_t K) const {
  const KNNFoldAnswers& a = foldAnswers_;
  if (K < 1 || K >= a.K || !TreeSearchesAsFound(a, a.counts.size())) return nullptr;
  return &a;
}

void KNNSingleResponseModel::Display() {
  VelComponentDisplay::DisplayText("KNNSingleResponseModel display start");
  if (tree_ != nullptr) tree_->DisplayAll();
  VelComponentDisplay::DisplayI("Number of K", K_);
  VelComponentDisplay::DisplayDV("Weight of variables", weights_);
  VelComponentDisplay::DisplayDV("Importance of variables", importance_);
  VelComponentDisplay::DisplayB("indicator to the continuous response", isContinuous_);
  VelComponentDisplay::DisplayI("response index", responseIndex_);
  VelComponentDisplay::DisplayI("number of K", K_);
  VelComponentDisplay::DisplayText("KNNSingleResponseModel display end");
}
