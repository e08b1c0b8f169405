// Text helpers shared by the charts and the HTML report: escaping of document text and
// number formatting meant for people rather than for round-tripping.
#pragma once

#include <string>
#include <string_view>

namespace knnreport {

// Escapes the five XML special characters so any text from a model document can be placed
// in element content or in a double- or single-quoted attribute. Control characters that
// XML 1.0 forbids are dropped, and invalid UTF-8 bytes become U+FFFD, so the output always
// parses.
std::string EscapeXml(std::string_view text);

// Shortens text to at most maxChars code points, ending with an ellipsis when cut. Never
// splits a UTF-8 sequence.
std::string Ellipsize(std::string_view text, std::size_t maxChars);

// Number of code points of a UTF-8 text (invalid bytes count one each).
std::size_t CodePointCount(std::string_view text);

// A number for people: about `significant` significant digits, trailing zeros dropped,
// thousands separated by commas, scientific notation only for very small or very large
// magnitudes. Non-finite values give "n/a".
std::string FormatNumber(double value, int significant = 4);

// A tick label: every tick of one axis gets the same number of decimals, derived from the
// tick step, so 0.00 0.05 0.10 line up.
std::string FormatTick(double value, double step);

// A whole count with thousands separators.
std::string FormatCount(long long value);

// A fraction in [0, 1] as a percentage with about three significant digits ("12.5%").
std::string FormatPercent(double fraction);

// Parses a whole text as a finite double, independent of the locale; surrounding blanks
// are allowed. Returns false for anything else (empty, trailing garbage, inf, nan).
bool ParseNumber(std::string_view text, double& value);

}  // namespace knnreport
