#include "settings_info.h"

#include <sstream>

#include "host/vel_settings_parser.h"

namespace knncli {

VelCommon::VelStatus ReadSettingsInfo(const std::string& document, SettingsInfo& info) {
  VelSettingsParser parser;
  std::istringstream stream(document);
  VelCommon::VelStatus status = parser.ParseToDOM(stream);
  if (status.IsError()) return status;
  info.variables->Clear();
  status = parser.FillVarList(*info.variables, false);
  if (status.IsError()) return status;

  // Keys the component also checks: a failure here leaves the field empty and the
  // component's own status explains it.
  parser.GetTargetVars(info.targetNames);
  parser.GetPredictors(info.predictorNames);
  parser.GetArray("ForcedVariables", info.forcedNames);
  parser.GetParameter("CaseIDVar", info.caseIdName);
  parser.GetParameter("FocalVar", info.focalName);
  parser.GetParameter("VFoldVar", info.vfoldName);
  parser.GetParameter("use_caselabels", info.useCaseLabels);
  parser.GetParameter("CaseLabelVar", info.caseLabelName);

  info.responses.clear();
  std::vector<int> continuous;
  for (const std::string& name : info.targetNames) {
    const int index = info.variables->FindVariable(name);
    if (index < 0) continue;
    if (info.variables->GetVarAt(index)->GetMeasureKind() == VelMTD::kContinuous) {
      continuous.push_back(index);
    } else {
      info.responses.push_back(index);
    }
  }
  info.responses.insert(info.responses.end(), continuous.begin(), continuous.end());
  info.caseLabel = info.useCaseLabels ? info.variables->FindVariable(info.caseLabelName) : -1;
  return VelCommon::VelStatus();
}

}  // namespace knncli
