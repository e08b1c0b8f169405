// Whole-text conversions shared by the settings parser and the data readers: numbers in the
// "C" conventions whatever the process locale, booleans, and ISO 8601 dates and times.
#pragma once

#include <string_view>

namespace VelCommon {

// Each returns false, leaving value untouched, unless the whole text (surrounding ASCII
// whitespace aside) is one value of the type.

// A finite number ("12", "-3.5", "1e-20", "+.5"); no hexadecimal, "inf" or "nan".
bool ParseDouble(std::string_view text, double& value);
// A decimal integer that fits in int.
bool ParseInt(std::string_view text, int& value);
// "true", "false", "1" or "0".
bool ParseBool(std::string_view text, bool& value);

// ISO 8601 in the form of a date kind (VelMTD::DateKind):
//   kDate      "2024-03-01"          -> days since 1970-01-01
//   kTime      "13:45:00"            -> seconds since midnight
//   kDateTime  "2024-03-01T13:45:00" -> seconds since 1970-01-01T00:00:00
// Seconds may carry a fraction ("13:45:00.25"). Time zones are not accepted: every value
// is taken as written, on one common clock.
bool ParseIsoTemporal(std::string_view text, int dateKind, double& value);

}  // namespace VelCommon
