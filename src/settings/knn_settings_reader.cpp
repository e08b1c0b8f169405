#include "settings/knn_settings_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "boundary/knn_warning.h"
#include "boundary/status_codes.h"
#include "host/vel_text.h"

namespace {

using VelCommon::VelStatus;

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsCategoricalKind(int kind) {
  return kind == VelMTD::kNumericCategorical || kind == VelMTD::kStringCategorical;
}

// A list of names divided by measure kind, with what went wrong on the way.
struct DividedNames {
  std::vector<int> categorical;
  std::vector<int> continuous;
  bool missing = false;
  bool repeated = false;
};

void RemoveValue(std::vector<int>& list, int value) {
  if (value < 0) return;
  std::erase(list, value);
}

}  // namespace

KNNSettingsReader::~KNNSettingsReader() {
  delete variables;
  delete settings;
}

void KNNSettingsReader::Fail(long code) {
  status = KNNStatus::Error(code);
}

int KNNSettingsReader::Find(const std::string& name) const {
  return variables->FindVariable(name);
}

int KNNSettingsReader::KindOf(int index) const {
  const VelMTD::IVelVariable* variable = variables->GetVarAt(index);
  return variable == nullptr ? 0 : variable->GetMeasureKind();
}

void KNNSettingsReader::AddUsed(int index) {
  if (!Contains(usedVariables, index)) usedVariables.push_back(index);
}

VelStatus KNNSettingsReader::Read(std::istream& document) {
  delete variables;
  variables = nullptr;
  delete settings;
  settings = nullptr;
  usedVariables.clear();
  status = VelStatus();
  warning = VelStatus();

  variables = new VelMTD::VelVarList();
  settings = new KNNSettings();

  if (document.rdstate() != std::ios_base::goodbit) {
    Fail(KNNStatus::kSettingsStreamFailed);
    return status;
  }
  VelSettingsParser parser;
  VelStatus parsed = parser.ParseToDOM(document);
  if (!parsed.IsError()) parsed = parser.FillVarList(*variables, false);
  if (parsed.IsError()) {
    status = parsed;
    return status;
  }
  parser.FillTransDict(*variables);  // nothing in this document depends on its outcome

  ReadCaseId(parser);
  ReadCaseLabel(parser);
  ReadFocal(parser);
  ReadTargets(parser);
  ReadPredictors(parser);
  ReadGeneralKeys(parser);
  ReadResponseKeys(parser);
  CheckRanges();
  CheckFoldCount();

  if (status.IsError()) return status;
  settings->TotalVarNum = variables->Size();
  settings->usedVariables = usedVariables;
  status = warning;
  return status;
}

void KNNSettingsReader::ReadCaseId(VelSettingsParser& parser) {
  if (status.IsError()) return;
  std::string name;
  if (parser.GetParameter("CaseIDVar", name, nullptr).IsError())
    return Fail(KNNStatus::kBadCaseIdVar);
  if (name.empty()) return Fail(KNNStatus::kEmptyCaseId);
  const int index = Find(name);
  if (index < 0) return Fail(KNNStatus::kUnknownCaseIdVar);
  if (KindOf(index) != VelMTD::kContinuous) return Fail(KNNStatus::kCaseIdNotContinuous);
  settings->CaseIDVariable = index;
  AddUsed(index);
}

void KNNSettingsReader::ReadCaseLabel(VelSettingsParser& parser) {
  if (status.IsError()) return;
  bool useLabels = false;
  if (parser.GetParameter("use_caselabels", useLabels, nullptr).IsError()) useLabels = false;
  if (!useLabels) return;
  std::string name;
  if (parser.GetParameter("CaseLabelVar", name, nullptr).IsError() || name.empty()) {
    return Fail(KNNStatus::kBadCaseLabelVar);
  }
  const int index = Find(name);
  if (index < 0) return Fail(KNNStatus::kUnknownCaseLabelVar);
  if (!IsCategoricalKind(KindOf(index))) return Fail(KNNStatus::kCaseLabelNotCategorical);
  settings->CaseLabelVariable = index;
  AddUsed(index);
}

void KNNSettingsReader::ReadFocal(VelSettingsParser& parser) {
  if (status.IsError()) return;
  std::string name;
  if (parser.GetParameter("FocalVar", name, nullptr).IsError() || name.empty()) {
    return Fail(KNNStatus::kBadFocalVar);
  }
  const int index = Find(name);
  if (index < 0) return Fail(KNNStatus::kUnknownFocalVar);
  settings->IfSpecifiedFocalCaseVariable = true;
  settings->FocalCaseValue = 0;
  settings->FocalCaseVariable = index;
  AddUsed(index);

  std::string valueText;
  if (parser.GetParameter("FocalCaseValue", valueText, nullptr).IsError()) valueText.clear();
  settings->FocalCaseValueText = valueText;
}

namespace {

DividedNames Divide(const std::vector<std::string>& names, const VelMTD::VelVarList& variables) {
  DividedNames divided;
  for (const std::string& name : names) {
    const int index = variables.FindVariable(name);
    if (index < 0) {
      divided.missing = true;
      continue;
    }
    const VelMTD::IVelVariable* variable = variables.GetVarAt(index);
    std::vector<int>& list =
        IsCategoricalKind(variable->GetMeasureKind()) ? divided.categorical : divided.continuous;
    if (Contains(list, index)) {
      divided.repeated = true;
    } else {
      list.push_back(index);
    }
  }
  return divided;
}

}  // namespace

void KNNSettingsReader::ReadTargets(VelSettingsParser& parser) {
  if (status.IsError()) return;
  std::vector<std::string> names;
  if (parser.GetTargetVars(names).IsError()) return Fail(KNNStatus::kBadTargetList);
  DividedNames targets = Divide(names, *variables);
  if (targets.missing) return Fail(KNNStatus::kUnknownTarget);
  if (targets.repeated) return Fail(KNNStatus::kRepeatedName);
  settings->ResponseCategorical = std::move(targets.categorical);
  settings->ResponseContinuous = std::move(targets.continuous);
  settings->Responses = settings->ResponseCategorical;
  settings->Responses.insert(settings->Responses.end(), settings->ResponseContinuous.begin(),
                             settings->ResponseContinuous.end());
  for (int index : settings->Responses) AddUsed(index);
}

void KNNSettingsReader::ReadPredictors(VelSettingsParser& parser) {
  if (status.IsError()) return;
  std::vector<std::string> names;
  if (parser.GetPredictors(names).IsError()) return Fail(KNNStatus::kBadPredictorList);
  DividedNames predictors = Divide(names, *variables);
  if (predictors.missing) return Fail(KNNStatus::kUnknownPredictor);
  if (predictors.repeated) return Fail(KNNStatus::kRepeatedName);
  for (int index : predictors.categorical) {
    if (Contains(settings->ResponseCategorical, index)) {
      return Fail(KNNStatus::kPredictorIsTarget);
    }
  }
  for (int index : predictors.continuous) {
    if (Contains(settings->ResponseContinuous, index)) {
      return Fail(KNNStatus::kPredictorIsTarget);
    }
  }
  settings->FeatureCategorical = std::move(predictors.categorical);
  settings->FeatureContinuous = std::move(predictors.continuous);
  if (settings->FeatureCategorical.empty() && settings->FeatureContinuous.empty()) {
    return Fail(KNNStatus::kNoPredictor);
  }
  std::vector<int>& all = settings->AllFeatures;
  all = settings->FeatureCategorical;
  all.insert(all.end(), settings->FeatureContinuous.begin(), settings->FeatureContinuous.end());
  std::sort(all.begin(), all.end());

  // The identifying variables are never distances' features.
  for (int special :
       {settings->CaseIDVariable, settings->CaseLabelVariable, settings->FocalCaseVariable}) {
    RemoveValue(settings->FeatureCategorical, special);
    RemoveValue(settings->FeatureContinuous, special);
    RemoveValue(all, special);
  }
  if (all.empty()) return Fail(KNNStatus::kNoPredictorLeft);
  for (int index : all) AddUsed(index);
  settings->FeatureNum = static_cast<int>(all.size());
}

void KNNSettingsReader::ReadGeneralKeys(VelSettingsParser& parser) {
  if (status.IsError()) return;
  bool rescale = true;
  if (parser.GetParameter("RescaleMethod", rescale, nullptr).IsError()) {
    return Fail(KNNStatus::kBadRescaleMethod);
  }
  settings->RescaleMethod = rescale ? 0 : 1;

  std::string metric = "Euclidean";
  if (parser.GetParameter("DistMetric", metric, nullptr).IsError())
    return Fail(KNNStatus::kBadDistMetric);
  if (metric == "Euclidean") {
    settings->DistMetric = 0;
  } else if (metric == "CityBlock") {
    settings->DistMetric = 1;
  } else {
    return Fail(KNNStatus::kBadDistMetric);
  }

  std::string tempDir = ".\\temp";
  if (parser.GetParameter("TempFileDir", tempDir, nullptr).IsError()) {
    return Fail(KNNStatus::kBadTempFileDir);
  }
  ExtNameStr converted;
  converted.SetU8(tempDir);
  settings->FileTempDir = converted.GetCP();

  std::string fieldFormat;
  if (!parser.GetParameter("fieldFormat", fieldFormat, nullptr).IsError()) {
    settings->fieldFormat = fieldFormat;
  }
}

void KNNSettingsReader::ReadResponseKeys(VelSettingsParser& parser) {
  if (status.IsError()) return;
  if (settings->Responses.empty()) {
    // Without a target nothing is selected or weighted; only K itself matters.
    ReadSpecifiedK(parser);
    return;
  }
  std::string function = "Mean";
  if (parser.GetParameter("ComputePredValFunc", function, nullptr).IsError()) {
    return Fail(KNNStatus::kBadPredValFunc);
  }
  if (function == "Mean") {
    settings->ComputePredValFunc = 0;
  } else if (function == "Median") {
    settings->ComputePredValFunc = 1;
  } else {
    return Fail(KNNStatus::kBadPredValFunc);
  }

  bool weight = false;
  if (parser.GetParameter("IsFeatureWeight", weight, nullptr).IsError()) {
    return Fail(KNNStatus::kBadFeatureWeight);
  }
  // Importance is computed exactly when it is used as weights.
  settings->IsFeaImportance = weight;
  settings->IsFeaWeight = weight;

  ReadFeatureSelection(parser);
  if (status.IsWarning()) {
    warning = status;
    status = VelStatus();
  }
  ReadKSelection(parser);
  ReadSpecifiedFeatures(parser);
}

void KNNSettingsReader::ReadFeatureSelection(VelSettingsParser& parser) {
  if (status.IsError()) return;
  bool selection = false;
  if (parser.GetParameter("IsFeatureSelection", selection, nullptr).IsError()) {
    return Fail(KNNStatus::kBadFeatureSelection);
  }
  settings->IsFeaSelection = selection;
  if (!selection) return;

  std::vector<std::string> forcedNames;
  if (parser.GetArray("ForcedVariables", forcedNames, nullptr).IsError()) {
    return Fail(KNNStatus::kBadForcedVariables);
  }
  std::vector<int> forced;
  for (const std::string& name : forcedNames) {
    const int index = Find(name);
    if (index < 0) return Fail(KNNStatus::kUnknownForcedVariable);
    if (Contains(forced, index)) return Fail(KNNStatus::kRepeatedName);
    forced.push_back(index);
  }
  std::erase_if(forced, [&](int index) { return Contains(settings->Responses, index); });
  settings->ForcedVariables = forced;
  for (int index : forced) AddUsed(index);

  bool automatic = false;
  if (parser.GetParameter("IsAutoFeatureSelection", automatic, nullptr).IsError()) {
    return Fail(KNNStatus::kBadAutoFeatureSelection);
  }
  settings->IsAutoFeaSelection = automatic;

  if (automatic) {
    settings->SpecifiedFeaNum = -1;
    double range = 0.01;
    if (parser.GetParameter("SpecifiedErrRange", range, nullptr).IsError() || range < 0.0 ||
        range > 1.0) {
      return Fail(KNNStatus::kBadErrRange);
    }
    settings->SpecifiedErrRange = range;
    return;
  }

  // The count is of the names given, before targets are taken out.
  const int f = static_cast<int>(forcedNames.size());
  const int total = settings->FeatureNum;
  int n = std::max(0, std::min(total, 20) - f);
  const bool readable = !parser.GetParameter("NSpecifiedFeatures", n, nullptr).IsError();
  settings->SpecifiedErrRange = -1.0;
  if (readable && n >= 0 && f + n >= 1 && f + n <= total) {
    settings->SpecifiedFeaNum = n;
  } else if (readable && f + n > total) {
    settings->SpecifiedFeaNum = total - f;
    status = KNNStatus::Warning(KNNStatus::kFeatureNumLowered);
    KNNWarning::Instance().Add(status);
  } else {
    Fail(KNNStatus::kBadSpecifiedFeatureNum);
  }
}

void KNNSettingsReader::ReadSpecifiedK(VelSettingsParser& parser) {
  if (status.IsError()) return;
  int k = 3;
  if (parser.GetParameter("SpecifiedK", k, nullptr).IsError() || k <= 0) {
    return Fail(KNNStatus::kBadSpecifiedK);
  }
  settings->SpecifiedK = k;
}

void KNNSettingsReader::ReadKSelection(VelSettingsParser& parser) {
  if (status.IsError()) return;
  bool automatic = false;
  if (!parser.GetParameter("IsAutoKSelection", automatic, nullptr).IsError()) {
    settings->IsAutoKSelection = automatic;
  }

  int minK = 3;
  int maxK = 5;
  const bool minReadable = !parser.GetParameter("MinK", minK, nullptr).IsError();
  const bool maxReadable = !parser.GetParameter("MaxK", maxK, nullptr).IsError();
  if (!minReadable || !maxReadable || minK <= 0 || maxK < 1 || minK >= maxK) {
    return Fail(KNNStatus::kBadKRange);
  }
  settings->MinK = minK;
  settings->MaxK = maxK;

  ReadSpecifiedK(parser);
  if (status.IsError()) return;

  if (!settings->IsAutoKSelection || settings->IsFeaSelection) return;
  // Cross-validated K selection needs its fold variable.
  std::string foldName;
  if (parser.GetParameter("VFoldVar", foldName, nullptr).IsError() || foldName.empty()) {
    return Fail(KNNStatus::kBadVFoldVar);
  }
  int folds = 10;
  if (parser.GetParameter("VFoldValue", folds, nullptr).IsError() || folds < 2) {
    return Fail(KNNStatus::kBadVFoldValue);
  }
  const int index = Find(foldName);
  if (index < 0) return Fail(KNNStatus::kUnknownVFoldVar);
  if (!IsCategoricalKind(KindOf(index))) return Fail(KNNStatus::kVFoldNotCategorical);
  settings->VFoldValue = folds;
  settings->VFoldVariable = index;
  AddUsed(index);
}

void KNNSettingsReader::ReadSpecifiedFeatures(VelSettingsParser& parser) {
  if (status.IsError()) return;
  std::vector<std::string> names;
  if (parser.GetArray("SpecifiedFeature", names, nullptr).IsError()) {
    return Fail(KNNStatus::kBadSpecifiedFeature);
  }
  std::vector<int> features;
  for (const std::string& name : names) {
    const int index = Find(name);
    if (index < 0 || Contains(features, index)) return Fail(KNNStatus::kBadSpecifiedFeature);
    features.push_back(index);
  }
  settings->SpecifiedFeatures = features;
  if (!features.empty()) {
    std::vector<double> weights;
    if (parser.GetArray("SpecifiedFeatureWeight", weights, nullptr).IsError()) {
      return Fail(KNNStatus::kBadSpecifiedFeature);
    }
    settings->SpecifiedFeatureWeights = weights;
  }
  const bool selecting = settings->IsFeaSelection || settings->IsAutoKSelection ||
                         settings->IsFeaImportance || settings->IsFeaWeight;
  if (!features.empty() && selecting) return Fail(KNNStatus::kSpecifiedFeatureConflict);
  if (settings->SpecifiedFeatureWeights.size() != features.size()) {
    return Fail(KNNStatus::kSpecifiedFeatureConflict);
  }
}

void KNNSettingsReader::CheckRanges() {
  if (status.IsError()) return;
  constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
  constexpr double kLowest = std::numeric_limits<double>::lowest();
  constexpr double kHighest = std::numeric_limits<double>::max();
  for (int index = 0; index < variables->Size(); ++index) {
    if (index == settings->CaseIDVariable || index == settings->FocalCaseVariable) continue;
    const auto* variable = dynamic_cast<const VelMTD::VelContVar*>(variables->GetVarAt(index));
    if (variable == nullptr || variable->GetMeasureKind() != VelMTD::kContinuous) continue;
    const double min = variable->GetMin();
    const double max = variable->GetMax();
    // Every continuous variable needs a declared range, whether the settings use it or not.
    if (std::fabs(min - kLowest) <= kEpsilon || std::fabs(max - kHighest) <= kEpsilon) {
      status = KNNStatus::Error(KNNStatus::kNoRange);
    } else if (std::fabs(max - min) < kEpsilon) {
      status = KNNStatus::Error(KNNStatus::kEqualMinMax);
      status.SetDiscreteDatum(0, index);
    }
  }
}

void KNNSettingsReader::CheckFoldCount() {
  if (status.IsError()) return;
  if (!settings->IsAutoKSelection || settings->IsFeaSelection) return;
  const VelMTD::IVelVariable* fold = variables->GetVarAt(settings->VFoldVariable);
  if (fold == nullptr || fold->GetCategoryCount() != settings->VFoldValue) {
    Fail(KNNStatus::kFoldCountMismatch);
  }
}
