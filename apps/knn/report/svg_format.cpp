#include "report/svg_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace knnreport {
namespace {

// Decodes one UTF-8 sequence at text[pos]. Returns its length and sets codePoint, or
// returns 0 for a malformed, overlong or surrogate sequence.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, std::uint32_t& codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length = 0;
  std::uint32_t value = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(pos + i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  codePoint = value;
  return length;
}

std::string GroupThousands(std::string_view digits) {
  // digits: optional '-', integer part, optional fraction starting at '.'.
  std::string sign;
  if (!digits.empty() && digits.front() == '-') {
    sign = "-";
    digits.remove_prefix(1);
  }
  const std::size_t dot = std::min(digits.find('.'), digits.size());
  const std::string_view integer = digits.substr(0, dot);
  std::string grouped;
  for (std::size_t i = 0; i < integer.size(); ++i) {
    if (i > 0 && (integer.size() - i) % 3 == 0) grouped += ',';
    grouped += integer[i];
  }
  return sign + grouped + std::string(digits.substr(dot));
}

std::string TrimFraction(std::string text) {
  if (text.find('.') == std::string::npos) return text;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

std::string ToFixed(double value, int decimals) {
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "n/a";
  std::string text(buffer, result.ptr);
  // "-0", "-0.00" read badly; a rounded negative zero is zero.
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

std::string ToScientific(double value, int significant) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, significant - 1);
  if (result.ec != std::errc()) return "n/a";
  std::string text(buffer, result.ptr);
  const std::size_t e = text.find('e');
  std::string mantissa = TrimFraction(text.substr(0, e));
  std::string exponent = text.substr(e + 1);
  std::string sign;
  if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) {
    if (exponent[0] == '-') sign = "-";
    exponent.erase(0, 1);
  }
  exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
  return mantissa + "e" + sign + exponent;
}

}  // namespace

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::uint32_t cp = 0;
    const std::size_t length = DecodeUtf8(text, pos, cp);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++pos;
      continue;
    }
    switch (cp) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF) {
          break;  // not allowed anywhere in XML 1.0
        }
        out.append(text.substr(pos, length));
    }
    pos += length;
  }
  return out;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::uint32_t cp = 0;
    const std::size_t length = DecodeUtf8(text, pos, cp);
    pos += length == 0 ? 1 : length;
    ++count;
  }
  return count;
}

std::string Ellipsize(std::string_view text, std::size_t maxChars) {
  if (CodePointCount(text) <= maxChars) return std::string(text);
  if (maxChars == 0) return std::string();
  std::size_t pos = 0;
  for (std::size_t kept = 0; kept + 1 < maxChars && pos < text.size(); ++kept) {
    std::uint32_t cp = 0;
    const std::size_t length = DecodeUtf8(text, pos, cp);
    pos += length == 0 ? 1 : length;
  }
  return std::string(text.substr(0, pos)) + "\xE2\x80\xA6";
}

std::string FormatNumber(double value, int significant) {
  if (!std::isfinite(value)) return "n/a";
  if (value == 0.0) return "0";
  significant = std::clamp(significant, 1, 17);
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e15 || magnitude < 1e-4) return ToScientific(value, significant);
  const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
  const int decimals = std::max(0, significant - 1 - exponent);
  return GroupThousands(TrimFraction(ToFixed(value, decimals)));
}

std::string FormatTick(double value, double step) {
  if (!std::isfinite(value)) return "n/a";
  if (!std::isfinite(step) || step <= 0.0) return FormatNumber(value);
  if (std::fabs(value) < step * 1e-6) value = 0.0;
  if (step < 1e-6 || std::fabs(value) >= 1e15) return FormatNumber(value, 6);
  // Decimals needed to write the step exactly (1-2-5 steps need at most one more than
  // their order of magnitude).
  int decimals = 0;
  while (decimals < 10) {
    const double scaled = step * std::pow(10.0, decimals);
    if (std::fabs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) break;
    ++decimals;
  }
  return GroupThousands(ToFixed(value, decimals));
}

std::string FormatCount(long long value) {
  return GroupThousands(std::to_string(value));
}

std::string FormatPercent(double fraction) {
  if (!std::isfinite(fraction)) return "n/a";
  return FormatNumber(fraction * 100.0, 3) + "%";
}

bool ParseNumber(std::string_view text, double& value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && (text.front() == '+' || text.front() == '-'))) return false;
  double parsed = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  if (!std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

}  // namespace knnreport
