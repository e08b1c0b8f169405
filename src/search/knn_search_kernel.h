// Arithmetic shared by the bucketed searches (the KD-tree's and the candidate search's): the
// per-column terms of both metrics, eight-case lane groups and the tolerances that keep a
// bucketed answer identical to the one-case-per-leaf walk's. Internal to the search subsystem.
#pragma once

#include <algorithm>
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
constexpr int kLaneWidth = 2;  // the SSE2 vector every x86-64 processor has

// The width of the wide leaf scans and the instruction set they are compiled for.
constexpr int kWideWidth = 4;
#define KNN_WIDE_TARGET "avx2"

// Vectors of W doubles and their comparison masks. A group of kLanes sums is kLanes / W of
// them: four SSE2 vectors, or two AVX2 vectors in the leaf scans compiled for processors
// that have AVX2 (the same operations lane by lane, so the same sums; no fused
// multiply-add, see src/CMakeLists.txt). AVX-512 was measured no faster than AVX2 here.
template <int W>
struct VectorOf;
template <>
struct VectorOf<2> {
  using type = double __attribute__((vector_size(16)));
  using mask = int64_t __attribute__((vector_size(16)));
  using floats = float __attribute__((vector_size(8)));
};
template <>
struct VectorOf<4> {
  using type = double __attribute__((vector_size(32)));
  using mask = int64_t __attribute__((vector_size(32)));
  using floats = float __attribute__((vector_size(16)));
};
// The mask type of a vector type.
template <class V>
using MaskOf = typename VectorOf<sizeof(V) / sizeof(double)>::mask;
using Lanes = VectorOf<kLaneWidth>::type;

// Whether trees built from now on use the wide leaf scans: the processor has them and they
// are not turned off (tests run both).
bool WideLeafScans();
void SetWideLeafScans(bool on);

template <class V>
[[gnu::always_inline]] inline V LoadLanes(const double* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
[[gnu::always_inline]] inline V Broadcast(double x) {
  V v;
  for (size_t i = 0; i < sizeof(V) / sizeof(double); ++i) v[i] = x;
  return v;
}
// A value from memory in every lane (vbroadcastsd for the wide vectors, compiled and inlined
// as SignBits below is).
[[gnu::target(KNN_WIDE_TARGET)]] inline VectorOf<4>::type BroadcastFrom(const double* p) {
  return __builtin_ia32_vbroadcastsd256(p);
}
// Four floats from memory widened to doubles in one instruction (the generic conversion is
// split in two halves).
[[gnu::target(KNN_WIDE_TARGET)]] inline VectorOf<4>::type WidenFrom(const float* p) {
  VectorOf<4>::floats v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_ia32_cvtps2pd256(v);
}
template <class V>
[[gnu::always_inline]] inline V LoadBroadcast(const double* p) {
  if constexpr (sizeof(V) == sizeof(VectorOf<4>::type)) {
    return BroadcastFrom(p);
  } else {
    return Broadcast<V>(*p);
  }
}
template <class V>
[[gnu::always_inline]] inline V Max(V a, V b) {
  return a > b ? a : b;
}
// The sign bits of a comparison mask's lanes (movmskpd). The wide one is compiled for the
// wide target only, and so cannot be forced inline into the generic helpers below; they are
// themselves inlined into the wide functions, where the compiler inlines it as well.
[[gnu::always_inline]] inline unsigned SignBits(VectorOf<2>::mask within) {
  return static_cast<unsigned>(__builtin_ia32_movmskpd((VectorOf<2>::type)within));
}
[[gnu::target(KNN_WIDE_TARGET)]] inline unsigned SignBits(VectorOf<4>::mask within) {
  return static_cast<unsigned>(__builtin_ia32_movmskpd256((VectorOf<4>::type)within));
}
// The lanes of a group of kLanes sums that are at most bound, as bits (lane i: bit i). A NaN
// sum is never within.
template <class V>
[[gnu::always_inline]] inline unsigned WithinBits(const V* sums, double bound) {
  constexpr int kWidth = sizeof(V) / sizeof(double);
  const V limit = Broadcast<V>(bound);
  unsigned bits = 0;
  for (int v = 0; v < kLanes / kWidth; ++v) bits |= SignBits(sums[v] <= limit) << (v * kWidth);
  return bits;
}
// The bits of the first `lanes` lanes of a group (all of them from kLanes on).
inline unsigned LanesBelow(int32_t lanes) {
  return lanes >= kLanes ? (1U << kLanes) - 1 : (1U << lanes) - 1;
}
// The smallest of a group of kLanes sums, NaN lanes ignored (+inf when all are NaN): lowest
// <= bound exactly when some lane is within bound.
template <class V>
[[gnu::always_inline]] inline double Lowest(const V* sums) {
  constexpr int kWidth = sizeof(V) / sizeof(double);
  V low = Broadcast<V>(HUGE_VAL);
  for (int v = 0; v < kLanes / kWidth; ++v) low = sums[v] < low ? sums[v] : low;
  double lowest = low[0];
  for (int i = 1; i < kWidth; ++i) lowest = low[i] < lowest ? low[i] : lowest;
  return lowest;
}
// W floats of a leaf box, widened exactly to a vector of W doubles.
template <class V = Lanes>
[[gnu::always_inline]] inline V LoadWidened(const float* p) {
  if constexpr (sizeof(V) == sizeof(VectorOf<4>::type)) {
    return WidenFrom(p);
  } else {
    typename VectorOf<sizeof(V) / sizeof(double)>::floats v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, V);
  }
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
  template <class V>
  [[gnu::always_inline]] static V Term(V d, V w) {
    return w * (d * d);
  }
  static double Magnitude(double a, double w) { return w * (a * a); }
};

struct CityblockTerms {
  static bool Squared(double d, double w, double& term) {
    term = w * std::fabs(d);
    return true;
  }
  static double Term(double d, double w) { return w * std::fabs(d); }
  // |d| by its sign bit, as fabs does.
  // (Copied rather than bit_cast: GCC 12's undefined-behaviour sanitizer reports a spurious
  // null-pointer load for a bit_cast of a wide vector in a function compiled for AVX2.)
  template <class V>
  [[gnu::always_inline]] static V Term(V d, V w) {
    MaskOf<V> bits;
    std::memcpy(&bits, &d, sizeof bits);
    bits &= INT64_MAX;
    V magnitude;
    std::memcpy(&magnitude, &bits, sizeof magnitude);
    return w * magnitude;
  }
  static double Magnitude(double a, double w) { return w * a; }
};

// The distance from the query to a leaf's bounding box (lo[0, stride), hi[0, stride), float,
// padded with unbounded columns and zero weights): a lower bound of every case's sum. Each
// term is at most the case's (rounding is monotone); summing them in two lanes instead of
// column order moves the total by far less than kPruneMargin, which callers allow for.
// Branch-free: a column the query lies within adds exactly nothing.
template <class Terms>
[[gnu::always_inline]] inline double BoxDistance(const float* lo, const float* hi, const double* q,
                                                 const double* w, size_t stride) {
  Lanes reach{};
  for (size_t j = 0; j < stride; j += kLaneWidth) {
    const Lanes qj = LoadLanes<Lanes>(q + j);
    const Lanes gap = Max(Max(LoadWidened(lo + j) - qj, qj - LoadWidened(hi + j)), Lanes{});
    reach += Terms::Term(gap, LoadLanes<Lanes>(w + j));
  }
  return reach[0] + reach[1];
}

// The sums of kLanes cases of a leaf copy over its first f columns (values: the group's
// first value of column 0; columns m apart), each lane in column order exactly as a
// one-case-at-a-time sum: a categorical mismatch adds 2 w and a match exactly nothing.
template <class Terms, bool kMixed, class V>
[[gnu::always_inline]] inline void GroupSums(V* sums, const double* values, int32_t m, int f,
                                             const double* q, const double* w,
                                             const uint8_t* continuous) {
  constexpr int kWidth = sizeof(V) / sizeof(double);
  for (int v = 0; v < kLanes / kWidth; ++v) sums[v] = V{};
  for (int j = 0; j < f; ++j, values += m) {
    const V qj = LoadBroadcast<V>(q + j);
    if (!kMixed || continuous[j]) {
      const V wj = LoadBroadcast<V>(w + j);
      for (int v = 0; v < kLanes / kWidth; ++v) {
        sums[v] += Terms::Term(qj - LoadLanes<V>(values + v * kWidth), wj);
      }
    } else {
      const V mismatch = Broadcast<V>(w[j] * 2.0);
      for (int v = 0; v < kLanes / kWidth; ++v) {
        sums[v] += qj != LoadLanes<V>(values + v * kWidth) ? mismatch : V{};
      }
    }
  }
}

// Inserts sum and its case into a sorted list of count sums (at most slots, and one spare slot
// past them; unfilled slots hold +inf), after the sums equal to it; a sum beyond the last of a
// full list falls into the spare. Short lists (up to kShortList slots) are shifted without
// branches, min and max for the sums and masks for the cases: an insertion loop exits after
// a varying number of steps and is mispredicted there. Sums are never NaN.
constexpr int32_t kShortList = 12;
template <class Case>
[[gnu::always_inline]] inline void Insert(double* sums, Case* cases, int32_t& count, int32_t slots,
                                          double sum, Case caseNumber) {
  if (slots <= kShortList) {
    for (int32_t s = slots; s > 0; --s) {
      // Slot s takes its left neighbour when that is beyond sum, else sum when it is itself
      // beyond sum (the list is sorted, so this is max(before, min(here, sum))).
      const double before = sums[s - 1];
      const double here = sums[s];
      const Case shift = -static_cast<Case>(before > sum);
      const Case place = -static_cast<Case>(here > sum);
      sums[s] = std::max(before, std::min(here, sum));
      cases[s] = (cases[s - 1] & shift) | (~shift & ((caseNumber & place) | (cases[s] & ~place)));
    }
    const Case first = -static_cast<Case>(sums[0] > sum);
    sums[0] = std::min(sums[0], sum);
    cases[0] = (caseNumber & first) | (cases[0] & ~first);
  } else {
    int32_t slot = count;
    while (slot > 0 && sums[slot - 1] > sum) {
      sums[slot] = sums[slot - 1];
      cases[slot] = cases[slot - 1];
      --slot;
    }
    sums[slot] = sum;
    cases[slot] = caseNumber;
  }
  if (count < slots) ++count;
}

// The same for a list of at most kWideList entries (the spare included) in the wide vectors:
// eight sums and their cases as two vectors each, every slot taking its left neighbour, sum
// or itself at once.
// (A template, so that only the wide scans that use it make it.)
constexpr int32_t kWideList = 8;
template <int W = kWideWidth>
[[gnu::always_inline]] inline void InsertWide(double* sums, int64_t* cases, int32_t& count,
                                              int32_t slots, double sum, int64_t caseNumber) {
  static_assert(W == 4, "two vectors of four hold the eight entries");
  using V = typename VectorOf<W>::type;
  using M = typename VectorOf<W>::mask;
  const V low = LoadLanes<V>(sums);
  const V high = LoadLanes<V>(sums + 4);
  M lowCases;
  M highCases;
  std::memcpy(&lowCases, cases, sizeof lowCases);
  std::memcpy(&highCases, cases + 4, sizeof highCases);
  // Each slot's left neighbour (none for the first): the eight shifted by one.
  const V lowBefore = __builtin_shuffle(low, Broadcast<V>(-HUGE_VAL), M{4, 0, 1, 2});
  const V highBefore = __builtin_shuffle(high, low, M{7, 0, 1, 2});
  const M lowCasesBefore = __builtin_shuffle(lowCases, lowCases, M{4, 0, 1, 2});
  const M highCasesBefore = __builtin_shuffle(highCases, lowCases, M{7, 0, 1, 2});
  const V x = Broadcast<V>(sum);
  const M id = M{} + caseNumber;
  const M lowShift = lowBefore > x;
  const M highShift = highBefore > x;
  const M lowPlace = low > x;
  const M highPlace = high > x;
  const V newLow = lowShift ? lowBefore : (lowPlace ? x : low);
  const V newHigh = highShift ? highBefore : (highPlace ? x : high);
  const M newLowCases = lowShift ? lowCasesBefore : (lowPlace ? id : lowCases);
  const M newHighCases = highShift ? highCasesBefore : (highPlace ? id : highCases);
  std::memcpy(sums, &newLow, sizeof newLow);
  std::memcpy(sums + 4, &newHigh, sizeof newHigh);
  std::memcpy(cases, &newLowCases, sizeof newLowCases);
  std::memcpy(cases + 4, &newHighCases, sizeof newHighCases);
  if (count < slots) ++count;
}

// Room for a list of slots entries and its spare, at least what the wide insertion reads.
inline int32_t ListStride(int32_t slots) {
  return std::max(slots + 1, kWideList);
}
// Offers sum to a list laid out by ListStride: by the wide vectors in a wide scan (W) when the
// list fits them, else by Insert. Returns the list's bound: its last slot's sum once full.
template <int W>
[[gnu::always_inline]] inline double InsertInList(double* sums, int64_t* cases, int32_t& count,
                                                  int32_t slots, double sum, int64_t caseNumber) {
  if constexpr (W == kWideWidth) {
    if (slots + 1 <= kWideList) {
      InsertWide(sums, cases, count, slots, sum, caseNumber);
      return count == slots ? sums[slots - 1] : kNoBound;
    }
  }
  Insert<int64_t>(sums, cases, count, slots, sum, caseNumber);
  return count == slots ? sums[slots - 1] : kNoBound;
}

// The tie test of a search's answer: a sorted list of count sums stands only when no two of
// them are closer than the one-case-per-leaf walk's rounding could blur (relative
// kTieRelative, absolute TieTolerance of the sums' largest reach, scale).
inline double TieTolerance(double scale) {
  return kTieAbsolute * scale + DBL_MIN;
}
inline bool HasTie(const double* sums, int32_t count, double tolerance) {
  for (int32_t i = 1; i < count; ++i) {
    if (sums[i] - sums[i - 1] <= kTieRelative * sums[i] + tolerance) return true;
  }
  return false;
}

// The largest sum that HasTie could still find tied with a list's K-th sum, with room for
// the test's own rounding. A case beyond it cannot change the answer as the (K + 1)-th
// either: the K nearest stay, and the test finds no tie with it; so a search need not look
// further than this once it holds K cases. (A product: it is formed at every offer.)
constexpr double kTieReachFactor = (1.0 + 1e-12) / (1.0 - kTieRelative);
inline double TieReach(double kthSum, double tolerance) {
  return (kthSum + tolerance) * kTieReachFactor;
}

// Categorical codes are compared after truncation, as the category histograms count them.
inline int Code(double value) {
  return KNNCaseValue::TruncateToInt(value);
}

// Whether a leave-self-out search (skipSelf) leaves out a case: at sum zero, with the query's
// case ID (queryId) in its row's ID column. The row (rowOf()) is looked up only at sum zero:
// an offer's case is rarely in cache.
template <class RowOf>
[[gnu::always_inline]] inline bool IsQueryItself(bool skipSelf, double sum, double queryId,
                                                 const RowOf& rowOf, int idColumn) {
  return skipSelf && sum == 0.0 && queryId == Code(rowOf()[idColumn]);
}

}  // namespace knn_search_kernel
