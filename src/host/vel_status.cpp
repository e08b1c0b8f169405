#include "host/vel_status.h"

#include <algorithm>

namespace VelCommon {

void VelStatus::SetDiscreteDatum(unsigned index, long value) {
  for (auto& entry : data_) {
    if (entry.first == index) {
      entry.second = value;
      return;
    }
  }
  data_.emplace_back(index, value);
}

long VelStatus::GetDiscreteDatum(unsigned index, long def) const {
  for (const auto& entry : data_) {
    if (entry.first == index) return entry.second;
  }
  return def;
}

bool VelStatus::HasDiscreteDatum(unsigned index) const {
  return std::any_of(data_.begin(), data_.end(),
                     [index](const auto& entry) { return entry.first == index; });
}

std::string HostStatusMessage(long code) {
  switch (code) {
    case kHostXmlNotWellFormed:
      return "the settings document is not well-formed XML";
    case kHostRootNotSettings:
      return "the settings document's root element is not <settings>";
    case kHostInvalidField:
      return "a field declaration in the settings document is invalid";
    case kHostListNotItems:
      return "a list-valued setting holds something other than <item> children";
    case kHostKeyUnreadable:
      return "a setting's value does not convert to its type";
    case kHostNotParsed:
      return "the settings document was not parsed";
    case kHostInternalError:
      return "the settings parser failed unexpectedly (out of memory?)";
    default:
      return std::string();
  }
}

}  // namespace VelCommon
