#include "boundary/knn_validate_input.h"

#include "boundary/knn_warning.h"
#include "boundary/status_codes.h"

void KNNValidateInput::Validate(VelCommon::VelStatus& out) {
  status_ = VelCommon::VelStatus();
  if (data_->caseCount == 1) status_ = KNNStatus::Error(KNNStatus::kSingleCase);

  // Cross-validated K selection needs a case in every fold.
  if (status_.IsOK() && settings_->IsAutoKSelection && !settings_->IsFeaSelection) {
    const int fold = settings_->VFoldVariable;
    if (fold >= 0 && fold < static_cast<int>(data_->variables.size())) {
      const std::vector<unsigned>* counts =
          data_->variables[static_cast<size_t>(fold)]->GetCategoryCounts();
      if (counts != nullptr) {
        for (unsigned count : *counts) {
          if (count == 0) status_ = KNNStatus::Error(KNNStatus::kEmptyFold);
        }
      }
    }
  }

  if (status_.IsOK()) {
    for (int index : settings_->AllFeatures) {
      if (index < 0 || index >= static_cast<int>(data_->variables.size())) continue;
      if (data_->variables[static_cast<size_t>(index)]->IsConstant()) {
        status_ = KNNStatus::Error(KNNStatus::kConstantPredictor);
      }
    }
  }

  if (status_.IsOK()) CheckKAgainstCases();
  out = status_;
}

void KNNValidateInput::CheckKAgainstCases() {
  const int limit = data_->caseCount - 1;
  if (settings_->IsAutoKSelection) {
    if (settings_->MaxK > limit) {
      settings_->MaxK = limit;
      status_ = KNNStatus::Warning(KNNStatus::kMaxKLowered);
      KNNWarning::Instance().Add(status_);
    }
  } else if (settings_->SpecifiedK > limit) {
    settings_->SpecifiedK = limit;
    status_ = KNNStatus::Warning(KNNStatus::kSpecifiedKLowered);
    KNNWarning::Instance().Add(status_);
  }
}
