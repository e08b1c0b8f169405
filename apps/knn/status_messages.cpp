#include "status_messages.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "settings_info.h"

namespace knncli {
namespace {

// Where the name that makes a message precise comes from.
enum class Culprit {
  kNone,
  kDatumField,        // datum 0 is a variable index
  kUnknownTarget,     // first target that is no field
  kUnknownPredictor,  // first input that is no field
  kTargetInput,       // first input that is also a target of the same kind
  kUnknownForced,     // first forced variable that is no field
  kCaseId,
  kFocal,
  kVFold,
  kCaseLabel,
  kNoRange,  // last continuous field without a declared bound
};

struct Entry {
  long code;
  const char* text;       // used when no name is known
  const char* namedText;  // "{}" is replaced by the name; null when the code names none
  Culprit culprit;
};

// clang-format off
constexpr Entry kMessages[] = {
  {1, "interrupted", nullptr, Culprit::kNone},
  {3, "out of memory (or an unexpected failure) while creating the algorithm or storing the data", nullptr, Culprit::kNone},
  {6, "the model has not been built", nullptr, Culprit::kNone},
  {100001, "the settings document is not well-formed XML", nullptr, Culprit::kNone},
  {100002, "the settings document's root element is not <settings>", nullptr, Culprit::kNone},
  {100003, "a field declaration in the settings document is invalid (unknown optype or dataType, a name or category given twice, min above max, or a malformed number)", nullptr, Culprit::kNone},
  {100004, "a list-valued setting holds something other than <item> children", nullptr, Culprit::kNone},
  {100005, "a setting's value does not convert to its type (booleans are true/false, numbers must be whole numbers)", nullptr, Culprit::kNone},
  {100006, "the settings document was queried before it was parsed", nullptr, Culprit::kNone},
  {200001, "no usable training case: the data has no record, or every record lacks a value in a field the settings use", nullptr, Culprit::kNone},
  {200002, "the settings document could not be read", nullptr, Culprit::kNone},
  {200005, "\"NSpecifiedFeatures\" must be 0 or more and, with the forced variables, give at least one feature", nullptr, Culprit::kNone},
  {200006, "\"MinK\" and \"MaxK\" must be whole numbers with 0 < MinK < MaxK", nullptr, Culprit::kNone},
  {200007, "\"VFoldValue\" must be a whole number of at least 2", nullptr, Culprit::kNone},
  {200008, "\"VFoldVar\" must name the fold field when K is chosen by cross-validation", nullptr, Culprit::kNone},
  {200009, "\"CaseIDVar\" is empty; it must name the case ID field", nullptr, Culprit::kNone},
  {200010, "a field is both a target and an input", "field '{}' is both a target and an input", Culprit::kTargetInput},
  {200011, "\"RescaleMethod\" must be true or false", nullptr, Culprit::kNone},
  {200012, "\"DistMetric\" must be \"Euclidean\" or \"CityBlock\"", nullptr, Culprit::kNone},
  {200013, "\"ComputePredValFunc\" must be \"Mean\" or \"Median\"", nullptr, Culprit::kNone},
  {200015, "\"IsFeatureWeight\" must be true or false", nullptr, Culprit::kNone},
  {200016, "\"IsFeatureSelection\" must be true or false", nullptr, Culprit::kNone},
  {200017, "\"IsAutoFeatureSelection\" must be true or false", nullptr, Culprit::kNone},
  {200018, "\"SpecifiedK\" must be a whole number above 0", nullptr, Culprit::kNone},
  {200019, "\"TempFileDir\" cannot be read", nullptr, Culprit::kNone},
  {200021, "the input list cannot be read", nullptr, Culprit::kNone},
  {200022, "an input is not a declared field", "input '{}' is not a declared field", Culprit::kUnknownPredictor},
  {200026, "\"CaseIDVar\" cannot be read", nullptr, Culprit::kNone},
  {200027, "\"FocalVar\" is missing or empty; it must name the focal-record flag field", nullptr, Culprit::kNone},
  {200028, "a target is not a declared field", "target '{}' is not a declared field", Culprit::kUnknownTarget},
  {200029, "the target list cannot be read", nullptr, Culprit::kNone},
  {200030, "\"FocalVar\" names no declared field", "FocalVar '{}' is not a declared field", Culprit::kFocal},
  {200032, "the fold field is not categorical", "the fold field '{}' is not categorical", Culprit::kVFold},
  {200034, "a fold of the fold field holds no training case", nullptr, Culprit::kNone},
  {200035, "an input has the same value in every training case", nullptr, Culprit::kNone},
  {200036, "\"VFoldVar\" names no declared field", "VFoldVar '{}' is not a declared field", Culprit::kVFold},
  {200037, "a continuous field has no declared minimum or maximum", "field '{}' is continuous but has no declared minimum or maximum", Culprit::kNoRange},
  {200038, "no input field is given", nullptr, Culprit::kNone},
  {200039, "\"SpecifiedErrRange\" must be a number from 0 to 1", nullptr, Culprit::kNone},
  {200040, "\"ForcedVariables\" cannot be read", nullptr, Culprit::kNone},
  {200041, "the number of categories of the fold field differs from \"VFoldValue\"", nullptr, Culprit::kNone},
  {200042, "a continuous field is declared with equal minimum and maximum", "field '{}' is declared with equal minimum and maximum", Culprit::kDatumField},
  {200043, "the case ID field must be continuous", "the case ID field '{}' must be continuous", Culprit::kCaseId},
  {200046, "no prediction object is available for feature selection or importance", nullptr, Culprit::kNone},
  {200047, "no input is left once the case ID, case label and focal fields are taken out", nullptr, Culprit::kNone},
  {200049, "the record has the wrong number of values, or a missing or out-of-range value in a field the model uses", nullptr, Culprit::kNone},
  {200050, "a field is named twice among the targets, the inputs or the forced variables", nullptr, Culprit::kNone},
  {200051, "a forced variable is not a declared field", "forced variable '{}' is not a declared field", Culprit::kUnknownForced},
  {200052, "\"CaseIDVar\" names no declared field", "CaseIDVar '{}' is not a declared field", Culprit::kCaseId},
  {200053, "the case label field must be categorical", "the case label field '{}' must be categorical", Culprit::kCaseLabel},
  {200054, "\"CaseLabelVar\" names no declared field", "CaseLabelVar '{}' is not a declared field", Culprit::kCaseLabel},
  {200055, "\"CaseLabelVar\" is missing or empty while \"use_caselabels\" is true", nullptr, Culprit::kNone},
  {200056, "writing a temporary file of the model document failed", nullptr, Culprit::kNone},
  {200057, "a temporary file could not be created (check \"TempFileDir\")", nullptr, Culprit::kNone},
  {200058, "only one training case is left once records with missing values are dropped", nullptr, Culprit::kNone},
  {200059, "a squared prediction error could not be formed (a missing value)", nullptr, Culprit::kNone},
  {200060, "a squared prediction error could not be formed during feature selection", nullptr, Culprit::kNone},
  {200061, "a squared prediction error could not be formed during the combined choice of K and features", nullptr, Culprit::kNone},
  {200062, "a squared prediction error could not be formed during the choice of K", nullptr, Culprit::kNone},
  {200063, "scoring the training cases for the model document failed", nullptr, Culprit::kNone},
  {200064, "no neighbour was found for a case", nullptr, Culprit::kNone},
  {200065, "the host's variable list has no field named like the case label field", nullptr, Culprit::kNone},
  {200066, "\"SpecifiedFeature\" or \"SpecifiedFeatureWeight\" cannot be read, or names an unknown or repeated field", nullptr, Culprit::kNone},
  {200067, "specified features exclude feature selection, K selection and feature weighting, and need exactly one weight each", nullptr, Culprit::kNone},
  {200068, "more features were asked for than there are inputs; the number was lowered to fit", nullptr, Culprit::kNone},
  {200069, "\"MaxK\" exceeded the number of training cases minus one and was lowered to it", nullptr, Culprit::kNone},
  {200070, "\"SpecifiedK\" exceeded the number of training cases minus one and was lowered to it", nullptr, Culprit::kNone},
};
// clang-format on

const Entry* FindEntry(long code) {
  for (const Entry& entry : kMessages) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::string FirstUnknown(const std::vector<std::string>& names, const VelMTD::VelVarList& list) {
  for (const std::string& name : names) {
    if (list.FindVariable(name) < 0) return name;
  }
  return std::string();
}

std::string TargetInput(const SettingsInfo& info) {
  const VelMTD::VelVarList& list = *info.variables;
  for (const std::string& input : info.predictorNames) {
    for (const std::string& target : info.targetNames) {
      if (input != target) continue;
      const VelMTD::IVelVariable* variable = list.GetVarAt(list.FindVariable(input));
      if (variable != nullptr) return input;
    }
  }
  return std::string();
}

std::string LastWithoutRange(const SettingsInfo& info) {
  std::string found;
  const VelMTD::VelVarList& list = *info.variables;
  for (int v = 0; v < list.Size(); ++v) {
    const auto* continuous = dynamic_cast<const VelMTD::VelContVar*>(list.GetVarAt(v));
    if (continuous == nullptr) continue;
    const std::string& name = continuous->GetName();
    if (name == info.caseIdName || name == info.focalName) continue;
    if (std::fabs(continuous->GetMin() + DBL_MAX) < DBL_EPSILON ||
        std::fabs(continuous->GetMax() - DBL_MAX) < DBL_EPSILON) {
      found = name;
    }
  }
  return found;
}

std::string CulpritName(const Entry& entry, const VelCommon::VelStatus& status,
                        const SettingsInfo& info) {
  const VelMTD::VelVarList& list = *info.variables;
  switch (entry.culprit) {
    case Culprit::kNone:
      return std::string();
    case Culprit::kDatumField: {
      const VelMTD::IVelVariable* variable =
          list.GetVarAt(static_cast<int>(status.GetDiscreteDatum(0, -1)));
      return variable != nullptr ? variable->GetName() : std::string();
    }
    case Culprit::kUnknownTarget:
      return FirstUnknown(info.targetNames, list);
    case Culprit::kUnknownPredictor:
      return FirstUnknown(info.predictorNames, list);
    case Culprit::kTargetInput:
      return TargetInput(info);
    case Culprit::kUnknownForced:
      return FirstUnknown(info.forcedNames, list);
    case Culprit::kCaseId:
      return info.caseIdName;
    case Culprit::kFocal:
      return info.focalName;
    case Culprit::kVFold:
      return info.vfoldName;
    case Culprit::kCaseLabel:
      return info.caseLabelName;
    case Culprit::kNoRange:
      return LastWithoutRange(info);
  }
  return std::string();
}

// Position data the host parser attaches to its own codes.
std::string HostDetail(const VelCommon::VelStatus& status) {
  const long code = status.GetErrorCode();
  if (code == VelCommon::kHostXmlNotWellFormed && status.HasDiscreteDatum(0)) {
    std::string detail = " (line " + std::to_string(status.GetDiscreteDatum(0));
    if (status.HasDiscreteDatum(1))
      detail += ", column " + std::to_string(status.GetDiscreteDatum(1));
    return detail + ")";
  }
  if (code == VelCommon::kHostInvalidField && status.HasDiscreteDatum(0)) {
    return " (field declaration " + std::to_string(status.GetDiscreteDatum(0) + 1) + ")";
  }
  return std::string();
}

}  // namespace

bool HasStatusMessage(long code) {
  return FindEntry(code) != nullptr;
}

std::string StatusMessage(const VelCommon::VelStatus& status, const SettingsInfo* settings) {
  const long code = status.GetErrorCode();
  const std::string prefix = std::to_string(code) + ": ";
  const Entry* entry = FindEntry(code);
  if (entry == nullptr) return prefix + "unexpected status";
  std::string name;
  if (settings != nullptr && entry->namedText != nullptr)
    name = CulpritName(*entry, status, *settings);
  if (name.empty()) return prefix + entry->text + HostDetail(status);
  std::string text = entry->namedText;
  text.replace(text.find("{}"), 2, name);
  return prefix + text;
}

}  // namespace knncli
