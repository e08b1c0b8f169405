#include "data/knn_variable.h"

#include <algorithm>
#include <new>

#include "boundary/status_codes.h"
#include "data/knn_case_value.h"
#include "host/vel_missing.h"

namespace {

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// Appends one value; an allocation failure becomes code 3 instead of escaping.
void Store(VelCommon::VelStatus& out, std::vector<double>& store, double value) {
  try {
    store.push_back(value);
    out = VelCommon::VelStatus();
  } catch (const std::bad_alloc&) {
    out = KNNStatus::Error(KNNStatus::kOutOfMemory);
  }
}

}  // namespace

KNNCatVariable::KNNCatVariable(KNNSettings* settings, VelMTD::VelVarList* variables, int idx)
    : IKNNVariable(settings, variables),
      categoryCount(variables->GetVarAt(idx)->GetCategoryCount()),
      index(idx),
      isCaseLabel(idx == settings->CaseLabelVariable) {
  counts.assign(static_cast<size_t>(std::max(categoryCount, 0)), 0U);
}

bool KNNCatVariable::IsMissing(const VelCommon::Record& record) {
  if (!used || isCaseLabel) return false;
  const double value = record[index];
  // Written as !(value < count) so that NaN counts as missing too.
  return !(value < categoryCount) || value == -1.0;
}

void KNNCatVariable::AppendValue(VelCommon::VelStatus& out, const VelCommon::Record& record,
                                 std::vector<double>& store) {
  const double value = record[index];
  if (used) {
    const int code = KNNCaseValue::TruncateToInt(value);
    if (constant) {
      if (firstValue == -1) {
        firstValue = code;
      } else if (code != firstValue) {
        constant = false;
      }
    }
    // The case label's codes are its own business; negative codes have no count to go to.
    if (!isCaseLabel && code >= 0 && code < categoryCount) ++counts[static_cast<size_t>(code)];
  }
  Store(out, store, value);
  status = out;
}

bool KNNCatVariable::FillCase(const VelCommon::Record& record, std::vector<double>& row) {
  const double value = record[index];
  if (used && !isCaseLabel && (!(value < categoryCount) || value == -1.0)) return false;
  row[static_cast<size_t>(index)] = value;
  return true;
}

KNNContVariable::KNNContVariable(KNNSettings* settings, VelMTD::VelVarList* variables, int idx)
    : IKNNVariable(settings, variables), index(idx), firstValue(VelMV::gMissingValue) {
  const auto* declared = dynamic_cast<const VelMTD::VelContVar*>(variables->GetVarAt(idx));
  min = declared != nullptr ? declared->GetMin() : 0.0;
  max = declared != nullptr ? declared->GetMax() : 0.0;
  // Targets, the case ID and the focal value keep their own units.
  rescale = settings->RescaleMethod == 0 && !Contains(settings->ResponseContinuous, idx) &&
            idx != settings->CaseIDVariable && idx != settings->FocalCaseVariable;
}

bool KNNContVariable::IsMissing(const VelCommon::Record& record) {
  return used && record[index] == VelMV::gMissingValue;
}

void KNNContVariable::AppendValue(VelCommon::VelStatus& out, const VelCommon::Record& record,
                                  std::vector<double>& store) {
  const double value = record[index];
  if (!used) {
    Store(out, store, value);
    status = out;
    return;
  }
  if (constant) {
    if (firstValue == VelMV::gMissingValue) {
      firstValue = value;
    } else if (value != firstValue) {
      constant = false;
    }
  }
  Store(out, store, rescale ? 2.0 * (value - min) / (max - min) - 1.0 : value);
  status = out;
}

bool KNNContVariable::FillCase(const VelCommon::Record& record, std::vector<double>& row) {
  const double value = record[index];
  if (!used) {
    row[static_cast<size_t>(index)] = value;
    return true;
  }
  if (value == VelMV::gMissingValue) return false;
  row[static_cast<size_t>(index)] = rescale ? 2.0 * (value - min) / (max - min) - 1.0 : value;
  return true;
}
