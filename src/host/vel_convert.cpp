#include "host/vel_convert.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

#include "host/vel_variables.h"

namespace VelCommon {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Exactly `count` decimal digits at text[pos], advancing pos.
bool ReadDigits(std::string_view text, size_t& pos, size_t count, int& value) {
  if (pos + count > text.size()) return false;
  int result = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  pos += count;
  value = result;
  return true;
}

bool ReadChar(std::string_view text, size_t& pos, char expected) {
  if (pos >= text.size() || text[pos] != expected) return false;
  ++pos;
  return true;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian date (the civil-days algorithm: years are
// shifted to start in March so the leap day falls at the end of a cycle year).
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t monthIndex = month > 2 ? month - 3 : month + 9;
  const int64_t dayOfYear = (153 * monthIndex + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// "YYYY-MM-DD" at pos.
bool ReadDate(std::string_view text, size_t& pos, double& days) {
  int year = 0, month = 0, day = 0;
  if (!ReadDigits(text, pos, 4, year) || !ReadChar(text, pos, '-') ||
      !ReadDigits(text, pos, 2, month) || !ReadChar(text, pos, '-') ||
      !ReadDigits(text, pos, 2, day)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  days = static_cast<double>(DaysFromCivil(year, month, day));
  return true;
}

// "hh:mm:ss" with an optional fraction of a second at pos.
bool ReadTime(std::string_view text, size_t& pos, double& seconds) {
  int hour = 0, minute = 0, second = 0;
  if (!ReadDigits(text, pos, 2, hour) || !ReadChar(text, pos, ':') ||
      !ReadDigits(text, pos, 2, minute) || !ReadChar(text, pos, ':') ||
      !ReadDigits(text, pos, 2, second)) {
    return false;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  double fraction = 0.0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    double scale = 0.1;
    const size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      fraction += (text[pos] - '0') * scale;
      scale /= 10.0;
      ++pos;
    }
    if (pos == start) return false;
  }
  seconds = hour * 3600.0 + minute * 60.0 + second + fraction;
  return true;
}

}  // namespace

bool ParseDouble(std::string_view text, double& value) {
  text = Trim(text);
  // from_chars takes no leading plus; a sign after it ("+-1") must still fail.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  double result = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, result);
  if (error != std::errc() || ptr != end || !std::isfinite(result)) return false;
  value = result;
  return true;
}

bool ParseInt(std::string_view text, int& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  int result = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, result);
  if (error != std::errc() || ptr != end) return false;
  value = result;
  return true;
}

bool ParseBool(std::string_view text, bool& value) {
  text = Trim(text);
  if (text == "true" || text == "1") {
    value = true;
    return true;
  }
  if (text == "false" || text == "0") {
    value = false;
    return true;
  }
  return false;
}

bool ParseIsoTemporal(std::string_view text, int dateKind, double& value) {
  text = Trim(text);
  size_t pos = 0;
  double result = 0.0;
  switch (dateKind) {
    case VelMTD::kDate:
      if (!ReadDate(text, pos, result)) return false;
      break;
    case VelMTD::kTime:
      if (!ReadTime(text, pos, result)) return false;
      break;
    case VelMTD::kDateTime: {
      double days = 0.0;
      double seconds = 0.0;
      if (!ReadDate(text, pos, days) || !ReadChar(text, pos, 'T') ||
          !ReadTime(text, pos, seconds)) {
        return false;
      }
      result = days * 86400.0 + seconds;
      break;
    }
    default:
      return false;
  }
  if (pos != text.size()) return false;
  value = result;
  return true;
}

}  // namespace VelCommon
