#include "host/vel_variables.h"

#include "host/vel_convert.h"
#include "host/vel_missing.h"

namespace VelMTD {

void VelCategories::Add(const std::string& value, double number, const std::string* label) {
  values_.push_back(value);
  numbers_.push_back(number);
  if (label != nullptr) labels_.push_back(*label);
}

int VelCategories::FindCode(const std::string& value, bool numeric) const {
  if (numeric) {
    // Numeric categories match by value, so "1" and "1.0" name the same category; the
    // text is read in the "C" conventions whatever the process locale.
    double number = 0.0;
    if (!VelCommon::ParseDouble(value, number)) return -1;
    for (size_t i = 0; i < numbers_.size(); ++i) {
      if (numbers_[i] == number) return static_cast<int>(i);
    }
    return -1;
  }
  for (size_t i = 0; i < values_.size(); ++i) {
    if (values_[i] == value) return static_cast<int>(i);
  }
  return -1;
}

bool IVelVariable::IsMissingValue(double value) const {
  return value == VelMV::gMissingValue;
}

bool IVelVariable::IsMissingText(const std::string& text) const {
  return text.empty() || text == "NA" || text == "NaN" || text == "?";
}

VelContVar::VelContVar(const std::string& name, double min, double max, int dateKind,
                       const std::string& displayName)
    : min_(min), max_(max), dateKind_(dateKind) {
  name_ = name;
  displayName_ = displayName;
}

double VelContVar::CategoryNumber(int) const {
  return VelMV::gMissingValue;
}

VelCatVar::VelCatVar(const std::string& name, bool numeric, const VelCategories& categories,
                     const std::string& displayName)
    : numeric_(numeric), categories_(categories) {
  name_ = name;
  displayName_ = displayName;
}

VelCatVar& VelCatVar::operator=(const VelCatVar& other) {
  if (this != &other) {
    numeric_ = other.numeric_;
    categories_ = other.categories_;
  }
  return *this;
}

std::string VelCatVar::CategoryLabel(int index) const {
  if (index < 0 || index >= categories_.Size()) return std::string();
  return categories_.CategoryValue(index);
}

double VelCatVar::CategoryNumber(int index) const {
  if (index < 0 || index >= categories_.Size()) return VelMV::gMissingValue;
  return categories_.CategoryNumber(index);
}

VelVarList::~VelVarList() = default;

int VelVarList::FindVariable(const std::string& name) const {
  for (size_t i = 0; i < variables_.size(); ++i) {
    if (variables_[i]->GetName() == name) return static_cast<int>(i);
  }
  return -1;
}

IVelVariable* VelVarList::GetVarAt(int index) const {
  if (index < 0 || index >= Size()) return nullptr;
  return variables_[static_cast<size_t>(index)].get();
}

void VelVarList::GetVarNames(std::vector<std::string>& names, std::string& furtherName) const {
  names.clear();
  for (const auto& variable : variables_) names.push_back(variable->GetName());
  furtherName.clear();
}

int VelVarList::Add(std::unique_ptr<IVelVariable> variable) {
  variables_.push_back(std::move(variable));
  return Size() - 1;
}

void VelVarList::Clear() {
  variables_.clear();
}

}  // namespace VelMTD
