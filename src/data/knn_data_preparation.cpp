#include "data/knn_data_preparation.h"

#include <new>

#include "boundary/knn_validate_input.h"
#include "boundary/progress.h"
#include "boundary/status_codes.h"
#include "host/vel_display.h"

namespace {

// "cases" is reported after every this many records read, dropped ones included.
constexpr int kCasesReportInterval = 30000;

}  // namespace

KNNDataPreparation::KNNDataPreparation(KNNSettings* settingsIn, VelMTD::VelVarList* variableListIn,
                                       KNNStopControl* stopControlIn,
                                       VelMTD::VelVarList* hostVariablesIn)
    : settings(settingsIn),
      variableList(variableListIn),
      stopControl(stopControlIn),
      rowWidth(settingsIn->TotalVarNum),
      hostVariables(hostVariablesIn) {}

KNNDataPreparation::~KNNDataPreparation() {
  for (IKNNVariable* variable : variables) delete variable;
}

void KNNDataPreparation::CreateVariables() {
  const int count = variableList->Size();
  variables.reserve(static_cast<size_t>(count));
  variableKinds.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const bool continuous = variableList->GetVarAt(i)->GetMeasureKind() == VelMTD::kContinuous;
    if (continuous) {
      variables.push_back(new KNNContVariable(settings, variableList, i));
    } else {
      variables.push_back(new KNNCatVariable(settings, variableList, i));
    }
    variableKinds.emplace_back(i, continuous ? 1 : 0);
  }
}

bool KNNDataPreparation::MarkUsedVariables(const std::vector<int>& indices) {
  for (IKNNVariable* variable : variables) variable->SetUsed(false);
  for (int index : indices) {
    if (index < 0 || index >= static_cast<int>(variables.size())) return false;
    variables[static_cast<size_t>(index)]->SetUsed(true);
  }
  return true;
}

VelCommon::VelStatus KNNDataPreparation::Prepare(VelCommon::VelStatus& out,
                                                 IVelDataSource& source) {
  try {
    CreateVariables();
    MarkUsedVariables(settings->usedVariables);
    status = ReadCases(source);
    if (!status.IsError()) {
      caseRows.resize(static_cast<size_t>(caseCount));
      for (int i = 0; i < caseCount; ++i) {
        caseRows[static_cast<size_t>(i)] = caseStore.data() + static_cast<ptrdiff_t>(i) * rowWidth;
      }
    }
  } catch (const std::bad_alloc&) {
    status = KNNStatus::Error(KNNStatus::kOutOfMemory);
  }
  if (!status.IsError()) {
    KNNValidateInput validate(settings, variableList, this);
    validate.Validate(status);
  }
  if (!status.IsError()) {
    // A validation warning lives on in the warning list only.
    status = VelCommon::VelStatus();
    if (hostVariables != nullptr) {
      VelMTD::IVelVariable* label = variableList->GetVarAt(settings->CaseLabelVariable);
      if (label == nullptr) {
        status = KNNStatus::Error(KNNStatus::kUnknownCaseLabelVar);
      } else {
        const int hostIndex = hostVariables->FindVariable(label->GetName());
        if (hostIndex < 0) {
          status = KNNStatus::Error(KNNStatus::kHostLacksCaseLabel);
        } else {
          auto* target = dynamic_cast<VelMTD::VelCatVar*>(label);
          const auto* from =
              dynamic_cast<const VelMTD::VelCatVar*>(hostVariables->GetVarAt(hostIndex));
          if (target != nullptr && from != nullptr) *target = *from;
        }
      }
    }
  }
  out = status;
  return status;
}

VelCommon::VelStatus KNNDataPreparation::ReadCases(IVelDataSource& source) {
  VelCommon::VelStatus result;
  if (!source.Rewind()) return KNNStatus::Error(KNNStatus::kNoData);
  KNNProgress::StartPhase(*settings);

  const VelCommon::Record* record = source.NextRecord();
  if (record != nullptr && record->Size() != settings->TotalVarNum) {
    return KNNStatus::Error(KNNStatus::kNoData);
  }
  const bool reporting = settings->progressListener != nullptr && settings->reporter != nullptr;
  int sinceReport = 0;
  caseCount = 0;
  for (; record != nullptr; record = source.NextRecord()) {
    bool missing = false;
    for (IKNNVariable* variable : variables) {
      if (variable->IsMissing(*record)) {
        missing = true;
        break;
      }
    }
    if (!missing) {
      for (IKNNVariable* variable : variables) {
        variable->AppendValue(result, *record, caseStore);
        if (!result.IsOK()) break;
      }
      ++caseCount;
    }
    if (result.IsOK() && stopControl != nullptr && stopControl->ShouldStop()) {
      result = KNNStatus::Error(KNNStatus::kInterrupted);
    }
    if (!result.IsOK()) return result;
    if (reporting && ++sinceReport == kCasesReportInterval) {
      KNNProgress::Report(*settings, "cases", caseCount);
      sinceReport = 0;
    }
  }
  if (caseCount == 0) return KNNStatus::Error(KNNStatus::kNoData);
  return result;
}

void KNNDataPreparation::Display() {
  VelComponentDisplay::DisplayText("KNNDataPreparation display start");
  VelComponentDisplay::DisplayText("original data");
  VelComponentDisplay::DisplayI("Number of valid cases is: ", caseCount);
  VelComponentDisplay::DisplayI("Number of original feature is: ", rowWidth);
  for (int i = 0; i < caseCount && i < static_cast<int>(caseRows.size()); ++i) {
    VelComponentDisplay::DisplayDV("case: ", caseRows[static_cast<size_t>(i)], rowWidth, false);
  }
  VelComponentDisplay::DisplayText("KNNDataPreparation display end");
}
