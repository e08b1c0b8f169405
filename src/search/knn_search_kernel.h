// Arithmetic shared by the bucketed searches (the KD-tree's and the candidate search's): the
// per-column terms of both metrics, eight-case lane groups and the tolerances that keep a
// bucketed answer identical to the one-case-per-leaf walk's. Internal to the search subsystem.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "data/knn_case_value.h"
#include "host/vel_missing.h"

namespace knn_search_kernel {

// The bound used while the list is not yet full: larger than every distance.
constexpr double kNoBound = -VelMV::gMissingValue;

// Pruning margin, tie tolerances and the largest sum the bucketed searches accept (see
// knn_kd_tree.cpp for why they are safe).
constexpr double kPruneMargin = 1e-10;
constexpr double kTieRelative = 1e-8;
constexpr double kTieAbsolute = 1e-13;
constexpr double kLargestSum = 1e300;

// Leaf copies are stored leaf by leaf, column by column within a leaf, so that one column of
// kLanes cases is a group of vectors: each lane accumulates its own case's sum in column
// order, the same operations as one case at a time. kLanes doubles of padding let the last
// leaf's last group read whole vectors.
constexpr int kLanes = 8;
constexpr int kLaneWidth = 2;  // one SSE2 register; kLanes / kLaneWidth of them per group
using Lanes = double __attribute__((vector_size(kLaneWidth * sizeof(double))));
using LaneMask = int64_t __attribute__((vector_size(kLaneWidth * sizeof(int64_t))));

inline Lanes LoadLanes(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline Lanes Broadcast(double x) {
  return Lanes{} + x;
}
inline Lanes Max(Lanes a, Lanes b) {
  return a > b ? a : b;
}
// Whether any lane of a group of kLanes sums is at most bound.
inline bool AnyWithin(const Lanes* sums, double bound) {
  const Lanes limit = Broadcast(bound);
  LaneMask within = sums[0] <= limit;
  for (int v = 1; v < kLanes / kLaneWidth; ++v) within |= sums[v] <= limit;
  LaneMask folded = within;
  for (int i = 1; i < kLaneWidth; ++i) folded[0] |= within[i];
  return folded[0] != 0;
}
// Two floats of a leaf box, widened exactly.
using FloatPair = float __attribute__((vector_size(kLaneWidth * sizeof(float))));
inline Lanes LoadWidened(const float* p) {
  FloatPair v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_convertvector(v, Lanes);
}

// Per-column arithmetic of the two metrics, inlined into the search. Both must give exactly
// the numbers of KNNEuclideanDis / KNNCityblockDis::ComputeTerm.
struct EuclideanTerms {
  // w * d^2; false when the host cannot form the square (the search then fails). The host's
  // guarded multiplication gives the missing value exactly when d * d is not finite (a missing
  // or non-finite d squares to infinity or NaN), so one comparison of the plain product
  // decides it.
  static bool Squared(double d, double w, double& term) {
    const double square = d * d;
    if (!(square <= DBL_MAX)) return false;
    term = w * square;
    return true;
  }
  // The same term when the caller has ruled out overflow.
  static double Term(double d, double w) { return w * (d * d); }
  static Lanes Term(Lanes d, Lanes w) { return w * (d * d); }
  static double Magnitude(double a, double w) { return w * (a * a); }
};

struct CityblockTerms {
  static bool Squared(double d, double w, double& term) {
    term = w * std::fabs(d);
    return true;
  }
  static double Term(double d, double w) { return w * std::fabs(d); }
  // |d| by its sign bit, as fabs does.
  static Lanes Term(Lanes d, Lanes w) {
    return w * std::bit_cast<Lanes>(std::bit_cast<LaneMask>(d) & INT64_MAX);
  }
  static double Magnitude(double a, double w) { return w * a; }
};

// Categorical codes are compared after truncation, as the category histograms count them.
inline int Code(double value) {
  return KNNCaseValue::TruncateToInt(value);
}

}  // namespace knn_search_kernel
