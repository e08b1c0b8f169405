// What the host itself needs to know about a settings document: the variable list (names,
// kinds, categories, defaults), the targets in response order and the case label field.
// The host parses the document a second time for this; the component keeps its own copy.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/vel_status.h"
#include "host/vel_variables.h"

namespace knncli {

struct SettingsInfo {
  std::unique_ptr<VelMTD::VelVarList> variables = std::make_unique<VelMTD::VelVarList>();
  // Names exactly as the document gives them (they may name no field).
  std::vector<std::string> targetNames;
  std::vector<std::string> predictorNames;
  std::vector<std::string> forcedNames;
  std::string caseIdName;
  std::string focalName;
  std::string vfoldName;
  std::string caseLabelName;
  bool useCaseLabels = false;
  // Variable indices of the targets in response order: categorical targets first, then
  // continuous ones, each in document order. Names that are no field are left out.
  std::vector<int> responses;
  // Index of the case label field when case labels are on, else -1.
  int caseLabel = -1;
};

// Parses the document; a parser error status is returned as the parser gave it.
VelCommon::VelStatus ReadSettingsInfo(const std::string& document, SettingsInfo& info);

}  // namespace knncli
