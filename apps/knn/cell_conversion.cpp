#include "cell_conversion.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace knncli {
namespace {

bool ParseDigits(std::string_view text, size_t count, int& value) {
  if (text.size() < count) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool IsLeapYear(long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian civil date (H. Hinnant's algorithm).
long DaysFromCivil(long year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// Parses the date part and returns the number of characters it used (10), or 0.
size_t ParseDatePart(std::string_view text, double& days) {
  int year = 0;
  int month = 0;
  int day = 0;
  if (!ParseDigits(text, 4, year) || text.size() < 10 || text[4] != '-' || text[7] != '-' ||
      !ParseDigits(text.substr(5), 2, month) || !ParseDigits(text.substr(8), 2, day)) {
    return 0;
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
  days = static_cast<double>(DaysFromCivil(year, month, day));
  return 10;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsMissingToken(std::string_view cell) {
  cell = TrimBlanks(cell);
  return cell.empty() || cell == "NA" || cell == "NaN" || cell == "?";
}

bool ParseFiniteNumber(std::string_view text, double& value) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  // from_chars would accept "inf" and "nan"; only digits, a sign, a point and an exponent
  // make a number here.
  for (const char c : text) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E';
    if (!allowed) return false;
  }
  double parsed = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  if (!std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

bool ParseIsoDate(std::string_view text, double& days) {
  text = TrimBlanks(text);
  double parsed = 0.0;
  if (ParseDatePart(text, parsed) != text.size() || text.size() != 10) return false;
  days = parsed;
  return true;
}

bool ParseIsoTime(std::string_view text, double& seconds) {
  text = TrimBlanks(text);
  int hours = 0;
  int minutes = 0;
  if (!ParseDigits(text, 2, hours) || text.size() < 5 || text[2] != ':' ||
      !ParseDigits(text.substr(3), 2, minutes)) {
    return false;
  }
  double secs = 0.0;
  if (text.size() > 5) {
    if (text[5] != ':' || text.size() < 8) return false;
    int wholeSeconds = 0;
    if (!ParseDigits(text.substr(6), 2, wholeSeconds)) return false;
    secs = wholeSeconds;
    if (text.size() > 8) {
      if (text[8] != '.' || text.size() == 9) return false;
      double fraction = 0.0;
      double scale = 0.1;
      for (const char c : text.substr(9)) {
        if (c < '0' || c > '9') return false;
        fraction += (c - '0') * scale;
        scale /= 10.0;
      }
      secs += fraction;
    }
    // 60 allows a leap second.
    if (wholeSeconds > 60) return false;
  }
  if (hours > 24 || minutes > 59 || (hours == 24 && (minutes != 0 || secs != 0.0))) return false;
  seconds = hours * 3600.0 + minutes * 60.0 + secs;
  return true;
}

bool ParseIsoDateTime(std::string_view text, double& seconds) {
  text = TrimBlanks(text);
  double days = 0.0;
  if (ParseDatePart(text, days) != 10 || text.size() < 11) return false;
  if (text[10] != 'T' && text[10] != ' ') return false;
  std::string_view timePart = text.substr(11);
  if (!timePart.empty() && timePart.back() == 'Z') timePart.remove_suffix(1);
  double timeSeconds = 0.0;
  if (!ParseIsoTime(timePart, timeSeconds)) return false;
  seconds = days * 86400.0 + timeSeconds;
  return true;
}

std::string ShortestNumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return std::string(buffer, result.ptr);
}

std::string NumberText15(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.15g", value);
  return buffer;
}

}  // namespace knncli
