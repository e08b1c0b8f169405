// One-line messages, written for a user, for every status the host can meet: the host
// libraries' codes and every code of the component's catalogue.
#pragma once

#include <string>

#include "host/vel_status.h"

namespace knncli {

struct SettingsInfo;

// "200042: field 'x' is declared with equal minimum and maximum". settings (may be null)
// lets the message name the field a code is about.
std::string StatusMessage(const VelCommon::VelStatus& status, const SettingsInfo* settings);

// True when the table holds a message for the code (for tests of completeness).
bool HasStatusMessage(long code);

}  // namespace knncli
