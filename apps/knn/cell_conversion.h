// Text-to-number conversions for CSV cells: missing-value tokens, strict finite numbers and
// ISO 8601 dates, times and date-times.
#pragma once

#include <string>
#include <string_view>

namespace knncli {

// The cell without leading and trailing blanks (spaces and tabs).
std::string_view TrimBlanks(std::string_view text);

// Empty, "NA", "NaN" and "?" (after trimming) stand for a missing value.
bool IsMissingToken(std::string_view cell);

// The whole (trimmed) text is one finite decimal number; "inf", "nan", "1e999" and "12abc"
// are rejected.
bool ParseFiniteNumber(std::string_view text, double& value);

// YYYY-MM-DD as days since 1970-01-01 (negative before).
bool ParseIsoDate(std::string_view text, double& days);
// hh:mm[:ss[.fff]] as seconds since midnight.
bool ParseIsoTime(std::string_view text, double& seconds);
// YYYY-MM-DDThh:mm[:ss[.fff]][Z] (a space may replace the T) as seconds since the epoch.
bool ParseIsoDateTime(std::string_view text, double& seconds);

// Shortest text that reads back as exactly the same double.
std::string ShortestNumberText(double value);
// printf "%.15g", the precision of every number the host writes to CSV.
std::string NumberText15(double value);

}  // namespace knncli
