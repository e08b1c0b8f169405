#include "model/knn_model.h"

#include <algorithm>

#include "boundary/progress.h"
#include "boundary/status_codes.h"
#include "data/knn_case_value.h"
#include "host/vel_display.h"
#include "host/vel_missing.h"

KNNModel::KNNModel(KNNSettings* settings, VelMTD::VelVarList* variableList,
                   KNNStopControl* stopControl, KNNDataPreparation* dataPreparation)
    : settings_(settings),
      variableList_(variableList),
      stopControl_(stopControl),
      dataPreparation_(dataPreparation),
      responseCount_(static_cast<int32_t>(settings->ResponseCategorical.size() +
                                          settings->ResponseContinuous.size())),
      selectionWanted_(responseCount_ != 0),
      sharedModel_(responseCount_ < 2 || (!settings->IsFeaSelection && !settings->IsFeaWeight)),
      recordFieldCount_(variableList != nullptr ? variableList->Size() : settings->TotalVarNum),
      caseIdVariable_(settings->CaseIDVariable),
      caseLabelVariable_(settings->CaseLabelVariable),
      preparedCases_(dataPreparation->caseRows) {}

KNNModel::~KNNModel() {
  selection_.reset();
  responseModels_.clear();
}

void KNNModel::CreateResponseModels() {
  responseModels_.clear();
  if (responseCount_ == 0) {
    responseModels_.push_back(
        std::make_unique<KNNSingleResponseModel>(dataPreparation_, -1, false));
    return;
  }
  for (const int index : settings_->ResponseCategorical) {
    responseModels_.push_back(
        std::make_unique<KNNSingleResponseModel>(dataPreparation_, index, false));
  }
  for (const int index : settings_->ResponseContinuous) {
    responseModels_.push_back(
        std::make_unique<KNNSingleResponseModel>(dataPreparation_, index, true));
  }
}

VelCommon::VelStatus KNNModel::Build() {
  VelCommon::VelStatus status;
  CreateResponseModels();

  if (selectionWanted_) {
    KNNProgress::StartPhase(*settings_);
    selection_ = std::make_unique<KNNModelSelection>(settings_, variableList_, stopControl_,
                                                     responseModels_);
    status = selection_->Run();
    KNNProgress::Report(*settings_, "modelSelection");
  }

  if (!status.IsError()) {
    KNNProgress::StartPhase(*settings_);
    if (sharedModel_) {
      status = responseModels_[0]->BuildTree();
    } else {
      for (auto& model : responseModels_) {
        status = model->BuildTree();
        if (status.IsError()) break;
      }
    }
    KNNProgress::Report(*settings_, "buildModel");
  }

  if (!status.IsError()) {
    maximumK_ = responseModels_[0]->GetK();
    if (sharedModel_ && responseCount_ > 1) {
      for (const auto& model : responseModels_) maximumK_ = std::max(maximumK_, model->GetK());
    }
    std::vector<int> used;
    for (const auto& model : responseModels_) {
      used.insert(used.end(), model->GetFeatures().begin(), model->GetFeatures().end());
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    dataPreparation_->MarkUsedVariables(used);
    built_ = true;
  }
  status_ = status;
  return status;
}

void KNNModel::WriteResult(const KNNNeighborList& list, const std::vector<double>* predictions,
                           std::vector<double>& result) const {
  const auto n = static_cast<size_t>(list.count);
  result.clear();
  result.reserve(3 * n + (predictions != nullptr ? predictions->size() : 0));
  for (size_t i = 0; i < n; ++i) {
    const double* row = preparedCases_[static_cast<size_t>(list.items[i].caseIndex)];
    result.push_back(static_cast<double>(KNNCaseValue::TruncateToInt(row[caseIdVariable_])));
  }
  for (size_t i = 0; i < n; ++i) result.push_back(list.items[i].distance);
  if (predictions != nullptr) result.insert(result.end(), predictions->begin(), predictions->end());
  for (size_t i = 0; i < n; ++i) {
    if (caseLabelVariable_ < 0) {
      result.push_back(VelMV::gMissingValue);
    } else {
      const double* row = preparedCases_[static_cast<size_t>(list.items[i].caseIndex)];
      result.push_back(row[caseLabelVariable_]);
    }
  }
}

VelCommon::VelStatus KNNModel::ScoreRecord(const VelCommon::Record& record,
                                           std::vector<std::vector<double>>& results) {
  if (record.Size() != recordFieldCount_) return KNNStatus::Error(KNNStatus::kBadScoreRecord);
  valueRow_.assign(static_cast<size_t>(recordFieldCount_), VelMV::gMissingValue);
  for (IKNNVariable* variable : dataPreparation_->variables) {
    if (variable == nullptr) continue;
    if (!variable->FillCase(record, valueRow_)) return KNNStatus::Error(KNNStatus::kBadScoreRecord);
  }
  const bool noCaseId = caseIdVariable_ < 0 ||
                        valueRow_[static_cast<size_t>(caseIdVariable_)] == VelMV::gMissingValue;
  results.assign(static_cast<size_t>(responseCount_), std::vector<double>());
  const double* row = valueRow_.data();

  if (!sharedModel_) {
    for (size_t r = 0; r < responseModels_.size(); ++r) {
      KNNSingleResponseModel& model = *responseModels_[r];
      KNNNeighborList& list = model.GetTree()->FindNearest(row, model.GetK(), noCaseId);
      if (list.count == 0) return KNNStatus::Error(KNNStatus::kNoNeighbor);
      const std::vector<double>& predictions = model.GetPredictor()->PredictEachK(row, list);
      WriteResult(list, &predictions, results[r]);
    }
    return VelCommon::VelStatus();
  }

  KNNSingleResponseModel& first = *responseModels_[0];
  const int32_t K = responseCount_ > 1 ? maximumK_ : first.GetK();
  KNNNeighborList& list = first.GetTree()->FindNearest(row, K, noCaseId);
  if (list.count == 0) return KNNStatus::Error(KNNStatus::kNoNeighbor);
  if (responseCount_ == 0) {
    results.resize(1);
    WriteResult(list, nullptr, results[0]);
    return VelCommon::VelStatus();
  }
  for (size_t r = 0; r < responseModels_.size(); ++r) {
    const std::vector<double>& predictions =
        responseModels_[r]->GetPredictor()->PredictEachK(row, list);
    WriteResult(list, &predictions, results[r]);
  }
  return VelCommon::VelStatus();
}

void KNNModel::Display() {
  VelComponentDisplay::DisplayText("KNNModel display start");
  if (sharedModel_) {
    if (!responseModels_.empty()) responseModels_[0]->Display();
  } else {
    for (auto& model : responseModels_) model->Display();
  }
  VelComponentDisplay::DisplayI("maximum number of K", maximumK_);
  VelComponentDisplay::DisplayI("number of response", responseCount_);
  VelComponentDisplay::DisplayText("KNNModel display start");
}
