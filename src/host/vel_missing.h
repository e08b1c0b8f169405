// The missing-value constant and the guarded multiplication of the host framework.
#pragma once

#include <cfloat>
#include <cmath>

namespace VelMV {
// The most negative finite double: its negation exceeds every distance the component forms.
inline constexpr double gMissingValue = -DBL_MAX;
}  // namespace VelMV

class VelPower {
 public:
  // a * b, or the missing value when an operand is missing or the product is not finite.
  static double Multiply(double a, double b) {
    if (a == VelMV::gMissingValue || b == VelMV::gMissingValue) return VelMV::gMissingValue;
    const double product = a * b;
    if (!std::isfinite(product)) return VelMV::gMissingValue;
    return product;
  }
};
