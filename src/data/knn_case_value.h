// Conversions of stored case values shared by data preparation and the neighbour search.
#pragma once

#include <climits>

namespace KNNCaseValue {

// A stored double truncated toward zero to a 32-bit code. Values outside the int range (and
// NaN) give INT_MIN instead of undefined behaviour; they never equal a valid code.
inline int TruncateToInt(double value) {
  if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int>(value);
  return INT_MIN;
}

}  // namespace KNNCaseValue
