#include "model/knn_model_selection.h"

#include <cfloat>

#include "boundary/progress.h"
#include "boundary/status_codes.h"

namespace {

// The folds' answers are kept for the pass that scores every case afterwards when they take
// at most this much memory.
constexpr size_t kFoldAnswerBytes = size_t{64} << 20;

}  // namespace

// ---------------------------------------------------------------------------------------
// K by cross-validation

KNNAutoKSelection::KNNAutoKSelection(KNNSettings* settings, KNNResponseModels& models,
                                     KNNStopControl* stopControl)
    : models_(models),
      settings_(settings),
      stopControl_(stopControl),
      maxK_(settings->MaxK),
      minK_(settings->MinK) {}

size_t KNNAutoKSelection::BestIndex(const std::vector<double>& errors) {
  size_t best = 0;
  for (size_t i = 1; i < errors.size(); ++i) {
    if (errors[best] > errors[i]) best = i;
  }
  return best;
}

VelCommon::VelStatus KNNAutoKSelection::Run() {
  VelCommon::VelStatus status;
  const size_t nR = models_.size();
  selectedK_.clear();
  if (maxK_ < minK_) {
    // Too few cases for the requested range (validation lowered MaxK): nothing to compare,
    // every response takes the largest K the data allows.
    errorGrid_.assign(nR, {});
    for (auto& model : models_) {
      selectedK_.push_back(maxK_);
      model->SetK(maxK_);
    }
    return status;
  }
  const auto nK = static_cast<size_t>(maxK_ - minK_ + 1);
  errorGrid_.assign(nR, std::vector<double>(nK, 0.0));

  std::vector<KNNPredictionSummary*> predictors;
  for (const auto& model : models_) predictors.push_back(model->GetPredictor());
  factory_ = std::make_unique<KNNKSelePredictionFactory>(predictors, stopControl_, maxK_, minK_);

  const int32_t V = settings_->VFoldValue;
  const std::vector<unsigned>* foldCounts = nullptr;
  KNNDataPreparation* data = models_[0]->GetDataPreparation();
  const auto foldIndex = static_cast<size_t>(settings_->VFoldVariable);
  if (settings_->VFoldVariable >= 0 && foldIndex < data->variables.size() &&
      data->variables[foldIndex] != nullptr) {
    foldCounts = data->variables[foldIndex]->GetCategoryCounts();
  }
  const double folds = static_cast<double>(V);

  // Every case is searched once, from its fold: its answer is kept for the pass that scores
  // all cases with the chosen K, which then searches the case's own fold only.
  const size_t n = data->caseRows.size();
  const auto slots = static_cast<size_t>(maxK_);
  KNNFoldAnswers answers;
  const bool keep =
      settings_->VFoldVariable >= 0 && n * (slots + 1) * sizeof(int32_t) <= kFoldAnswerBytes;
  // The factory records into answers until the folds are done, however they end.
  struct Recording {
    KNNKSelePredictionFactory& factory;
    ~Recording() { factory.RecordFoldAnswers(nullptr); }
  } recording{*factory_};
  if (keep) {
    answers.K = maxK_;
    answers.cases.assign(n * slots, 0);
    answers.counts.assign(n, -1);
    factory_->RecordFoldAnswers(&answers);
  }

  for (int32_t f = 0; f < V && !status.IsError(); ++f) {
    status = models_[0]->BuildTreeForFeatures(settings_->AllFeatures, f);
    if (status.IsError()) break;
    status = factory_->ScoreCases(*models_[0], data->caseRows, f, maxK_);
    if (status.GetErrorCode() == KNNStatus::kSquaredErrorFailed) {
      status = KNNStatus::Error(KNNStatus::kKSelectionError);
    }
    if (status.IsError()) break;
    const auto& acc = factory_->KAccumulators();
    for (size_t r = 0; r < nR; ++r) {
      const bool continuous = models_[r]->IsContinuousResponse();
      double foldSize = 0.0;
      if (!continuous && foldCounts != nullptr && static_cast<size_t>(f) < foldCounts->size()) {
        foldSize = static_cast<double>((*foldCounts)[static_cast<size_t>(f)]);
      }
      for (size_t i = 0; i < nK; ++i) {
        if (continuous) {
          errorGrid_[r][i] += acc[r][i] / folds;
        } else if (foldSize > 0.0) {
          // Each fold's misclassification rate weighs 1/V, whatever the fold's size.
          errorGrid_[r][i] += (1.0 - acc[r][i] / foldSize) / folds;
        }
      }
    }
  }
  if (status.IsError()) return status;
  if (keep) {
    answers.features = settings_->AllFeatures;
    answers.weights = models_[0]->GetTree()->Weights();
    models_[0]->KeepFoldAnswers(std::move(answers));
  }
  for (size_t r = 0; r < nR; ++r) {
    const auto k = minK_ + static_cast<int32_t>(BestIndex(errorGrid_[r]));
    selectedK_.push_back(k);
    models_[r]->SetK(k);
  }
  return status;
}

// ---------------------------------------------------------------------------------------
// K and features together

KNNBothKAndFeaSelection::KNNBothKAndFeaSelection(KNNSettings* settings, KNNResponseModels& models,
                                                 KNNFeatureSelection* featureSelection,
                                                 KNNStopControl* stopControl)
    : models_(models),
      featureSelection_(featureSelection),
      settings_(settings),
      maxK_(settings->MaxK),
      minK_(settings->MinK),
      stopControl_(stopControl) {}

VelCommon::VelStatus KNNBothKAndFeaSelection::Run() {
  VelCommon::VelStatus status;
  const size_t nR = models_.size();
  const int32_t nKSigned = maxK_ - minK_ + 1;
  const size_t nK = nKSigned > 0 ? static_cast<size_t>(nKSigned) : 0;
  featureGrid_.assign(nR * nK, {});
  errorGrid_.assign(nR * nK, {});
  bestK_.assign(nR, 0);
  bestFeatures_.assign(nR, {});

  const auto mapStatus = [](VelCommon::VelStatus s) {
    if (s.GetErrorCode() == KNNStatus::kFeatureSelectionError) {
      return KNNStatus::Error(KNNStatus::kKAndFeatureSelectionError);
    }
    return s;
  };

  if (nK == 0) {
    // Too few cases for the requested range: select the features once with the largest K
    // the data allows; no grid is recorded.
    status = featureSelection_->GetStatus();
    if (!status.IsError()) status = mapStatus(featureSelection_->Run(maxK_));
    if (!status.IsError()) {
      for (size_t r = 0; r < nR; ++r) {
        bestK_[r] = maxK_;
        bestFeatures_[r] = featureSelection_->RecordedFeatures()[r];
        models_[r]->SetK(maxK_);
        models_[r]->SetFeatures(bestFeatures_[r]);
      }
    }
    status_ = status;
    return status;
  }

  std::vector<double> finalError(nR * nK, DBL_MAX);
  for (size_t i = 0; i < nK; ++i) {
    const int32_t K = minK_ + static_cast<int32_t>(i);
    status = featureSelection_->GetStatus();
    if (!status.IsError()) status = mapStatus(featureSelection_->Run(K));
    if (status.IsError()) break;
    for (size_t r = 0; r < nR; ++r) {
      const size_t cell = r * nK + i;
      featureGrid_[cell] = featureSelection_->RecordedFeatures()[r];
      errorGrid_[cell] = featureSelection_->RecordedErrors()[r];
      if (!errorGrid_[cell].empty()) finalError[cell] = errorGrid_[cell].back();
    }
  }
  if (!status.IsError()) {
    for (size_t r = 0; r < nR; ++r) {
      size_t best = 0;
      for (size_t i = 1; i < nK; ++i) {
        if (finalError[r * nK + best] > finalError[r * nK + i]) best = i;
      }
      bestK_[r] = minK_ + static_cast<int32_t>(best);
      bestFeatures_[r] = featureGrid_[r * nK + best];
      models_[r]->SetK(bestK_[r]);
      models_[r]->SetFeatures(bestFeatures_[r]);
    }
  }
  status_ = status;
  return status;
}

// ---------------------------------------------------------------------------------------
// Driver

KNNModelSelection::KNNModelSelection(KNNSettings* settings, VelMTD::VelVarList* variableList,
                                     KNNStopControl* stopControl, KNNResponseModels& models)
    : settings_(settings),
      variableList_(variableList),
      stopControl_(stopControl),
      models_(models) {}

KNNModelSelection::~KNNModelSelection() {
  // The combined selection refers to the feature selection; release it first.
  combinedSelection_.reset();
  kSelection_.reset();
  featureImportance_.reset();
  featureSelection_.reset();
}

VelCommon::VelStatus KNNModelSelection::Run() {
  KNNSettings& settings = *settings_;
  VelCommon::VelStatus status;
  bool combinedRan = false;

  if (settings.IsAutoKSelection && settings.IsFeaSelection) {
    KNNProgress::StartPhase(settings);
    if (featureSelection_ == nullptr) {
      featureSelection_ =
          std::make_unique<KNNFeatureSelection>(settings_, models_, stopControl_, true);
    }
    combinedSelection_ = std::make_unique<KNNBothKAndFeaSelection>(
        settings_, models_, featureSelection_.get(), stopControl_);
    status = combinedSelection_->Run();
    KNNProgress::Report(settings, "kandFeatselection");
    combinedRan = true;
  } else if (settings.IsAutoKSelection) {
    KNNProgress::StartPhase(settings);
    kSelection_ = std::make_unique<KNNAutoKSelection>(settings_, models_, stopControl_);
    status = kSelection_->Run();
    KNNProgress::Report(settings, "kselection");
  }

  const bool featureStepWanted =
      settings.IsFeaSelection && (settings.IsAutoFeaSelection || settings.SpecifiedFeaNum >= 0);
  if (!status.IsError() && !combinedRan && featureStepWanted) {
    KNNProgress::StartPhase(settings);
    if (featureSelection_ == nullptr) {
      featureSelection_ =
          std::make_unique<KNNFeatureSelection>(settings_, models_, stopControl_, false);
    }
    status = featureSelection_->GetStatus();
    if (!status.IsError()) status = featureSelection_->Run(-1);
    KNNProgress::Report(settings, "featSelection");
  }

  if (!status.IsError() && settings.IsFeaImportance) {
    KNNProgress::StartPhase(settings);
    featureImportance_ = std::make_unique<KNNFeatureImportance>(settings_, models_, stopControl_);
    featureImportance_->SetUp();
    status = featureImportance_->Run();
    KNNProgress::Report(settings, "featImportance");
    if (!status.IsError() && settings.IsFeaWeight) {
      KNNProgress::StartPhase(settings);
      for (auto& model : models_) model->SetWeights(model->GetImportance());
      KNNProgress::Report(settings, "featWeight");
    }
  }
  status_ = status;
  return status;
}
