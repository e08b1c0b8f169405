#include "host/vel_convert.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "host/vel_variables.h"

namespace VelCommon {
namespace {

// Parses with the kind's parser; a failed parse must leave the value untouched.
std::optional<double> Parse(char kind, const char* text) {
  double d = -777.0;
  int i = -777;
  bool b = true, ok = false;
  // clang-format off
  switch (kind) {
    case 'i': ok = ParseInt(text, i); d = i; break;
    case 'b': ok = ParseBool(text, b); d = ok ? b : d; break;
    case 'd': ok = ParseDouble(text, d); break;
    case 'D': ok = ParseIsoTemporal(text, VelMTD::kDate, d); break;
    case 'T': ok = ParseIsoTemporal(text, VelMTD::kTime, d); break;
    case 'X': ok = ParseIsoTemporal(text, VelMTD::kDateTime, d); break;
    default: ok = ParseIsoTemporal(text, VelMTD::kNoDate, d);
  }
  // clang-format on
  EXPECT_TRUE(ok || (d == -777.0 && b)) << "a failed parse changed the value: " << text;
  return ok ? std::optional(d) : std::nullopt;
}

TEST(Convert, WholeTextsOnly) {
  // kind: d double, i int, b bool, D date, T time, X dateTime, N no date kind
  using Case = std::tuple<char, const char*, std::optional<double>>;
  const std::nullopt_t no = std::nullopt;
  // clang-format off
  const Case cases[] = {
      {'d', "-3.5", -3.5}, {'d', "+.5", 0.5}, {'d', " 2.25\n", 2.25}, {'d', "nan", no},
      {'d', "", no}, {'d', "1,5", no}, {'d', "1.5x", no}, {'d', "inf", no}, {'d', "1 2", no},
      {'d', "1e400", no}, {'d', "0x10", no}, {'d', "+-1", no}, {'i', " 9 ", 9}, {'i', "5.0", no},
      {'i', "-2147483648", -2147483648.0}, {'i', "2147483648", no}, {'i', "1e3", no},
      {'d', "5.", 5.0}, {'b', "1", 1}, {'b', " false ", 0}, {'b', "True", no}, {'b', "yes", no},
      {'D', "1969-12-31", -1.0}, {'D', "2000-03-01", 11017.0}, {'D', "2024-03-01", 19783.0},
      {'D', "1900-02-29", no}, {'D', "2023-02-29", no}, {'D', "2024-04-31", no},
      {'D', "2024-3-1", no}, {'N', "2024-03-01", no}, {'T', "23:59:59", 86399.0},
      {'T', "12:00:00.25", 43200.25}, {'T', "24:00:00", no}, {'T', "12:00", no},
      {'T', "12:00:00.", no}, {'X', "2024-03-01", no}, {'X', "2024-03-01T13:45:00Z", no},
      {'X', "2024-03-01T13:45:00", 19783.0 * 86400 + 49500.0}, {'X', "1969-12-31T23:59:59", -1.0},
      {'X', "2024-03-01 13:45:00", no}};
  // clang-format on
  for (const auto& [kind, text, expected] : cases) {
    EXPECT_EQ(Parse(kind, text), expected) << kind << " '" << text << "'";
  }
}

}  // namespace
}  // namespace VelCommon
