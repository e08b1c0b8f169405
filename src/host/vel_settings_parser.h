// The host's settings parser: reads a settings document (libxml2 underneath) and answers
// keys, lists, targets and inputs, and fills the variable list.
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "host/vel_status.h"
#include "host/vel_variables.h"

class VelSettingsParser {
 public:
  VelSettingsParser();
  ~VelSettingsParser();
  VelSettingsParser(const VelSettingsParser&) = delete;
  VelSettingsParser& operator=(const VelSettingsParser&) = delete;

  // Parses the whole document; 100001 (not well-formed, datum 0 line, datum 1 column) or
  // 100002 (root is not <settings>).
  VelCommon::VelStatus ParseToDOM(std::istream& document);
  // Appends one variable per <field>, in document order; 100003 for an invalid declaration.
  VelCommon::VelStatus FillVarList(VelMTD::VelVarList& list, bool append);
  // Transformation dictionary: this host has none; always OK.
  VelCommon::VelStatus FillTransDict(VelMTD::VelVarList& list);

  // One <param name="key">. Absent: value untouched, OK. Present but not convertible
  // (booleans true/false/1/0, whole-text numbers): 100005, value untouched.
  VelCommon::VelStatus GetParameter(const char* key, bool& value, void* reserved = nullptr);
  VelCommon::VelStatus GetParameter(const char* key, int& value, void* reserved = nullptr);
  VelCommon::VelStatus GetParameter(const char* key, double& value, void* reserved = nullptr);
  VelCommon::VelStatus GetParameter(const char* key, std::string& value, void* reserved = nullptr);
  // A list-valued key of <item> children. Absent: list untouched, OK. Any other child
  // element: 100004; an item that does not convert: 100005.
  VelCommon::VelStatus GetArray(const char* key, std::vector<std::string>& values,
                                void* reserved = nullptr);
  VelCommon::VelStatus GetArray(const char* key, std::vector<double>& values,
                                void* reserved = nullptr);

  // Field names under <targets> and <inputs>, in document order (empty when absent).
  VelCommon::VelStatus GetTargetVars(std::vector<std::string>& names);
  VelCommon::VelStatus GetPredictors(std::vector<std::string>& names);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
