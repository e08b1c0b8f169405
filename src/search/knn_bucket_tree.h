// The bucketed KD-tree both bucketed searches index with (the KD-tree's fast index and the
// candidate search): sliding-midpoint cuts on continuous columns, leaves of a few dozen
// cases, nodes in depth-first order with a split's low child next. Where the cuts fall
// never changes an answer, only how fast it is found. Internal to the search subsystem.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace knn_search_kernel {

struct BucketNode {
  int32_t position;  // split: the feature position cut; leaf: -1
  int32_t high;      // split: the high child; leaf: first position in the case order
  int32_t end;       // leaf: one past its last position
  int32_t box;       // leaf: its number among the leaves (bounding boxes), once numbered
  double lowMax;     // split: largest value of the low child along the cut
  double highMin;    // split: smallest value of the high child
};

// What a build cuts: per feature position (positions at or beyond `count` are not cut) its
// column in a case row, its scale in the weighted space and whether it is continuous.
struct BucketColumns {
  int count;
  const int* column;
  const double* scale;
  const uint8_t* continuous;
};

// Builds the node of order[begin, end) and its subtree into nodes; returns its index. The
// cell (cellLo, cellHi per position) is the node's, restored on return. row(caseNumber)
// gives a case row.
template <class RowOf>
int32_t BuildBucketNode(std::vector<BucketNode>& nodes, int32_t* order, int32_t begin, int32_t end,
                        int depth, int32_t bucketSize, int maxDepth, const BucketColumns& columns,
                        std::vector<double>& cellLo, std::vector<double>& cellHi,
                        const RowOf& row) {
  const auto self = static_cast<int32_t>(nodes.size());
  nodes.push_back(BucketNode{-1, begin, end, -1, 0.0, 0.0});
  const int32_t n = end - begin;
  if (n <= bucketSize || depth >= maxDepth) return self;

  // Among the continuous columns whose cell is (nearly) the widest in the weighted space,
  // cut the one whose cases spread most, at the middle of the cell moved inside the cases'
  // range; cases equal to the cut go to whichever side keeps the halves closest to even.
  double widest = 0.0;
  for (int j = 0; j < columns.count; ++j) {
    if (!columns.continuous[j]) continue;
    const auto p = static_cast<size_t>(j);
    widest = std::max(widest, columns.scale[j] * (cellHi[p] - cellLo[p]));
  }
  int best = -1;
  double bestSpread = 0.0;
  double bestLo = 0.0;
  double bestHi = 0.0;
  for (int j = 0; j < columns.count; ++j) {
    const auto p = static_cast<size_t>(j);
    if (!columns.continuous[j] ||
        columns.scale[j] * (cellHi[p] - cellLo[p]) < (1.0 - 1e-5) * widest) {
      continue;
    }
    const int c = columns.column[j];
    double lo = row(order[begin])[c];
    double hi = lo;
    for (int32_t i = begin + 1; i < end; ++i) {
      const double x = row(order[i])[c];
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    const double spread = columns.scale[j] * (hi - lo);
    if (spread > bestSpread) {
      bestSpread = spread;
      best = j;
      bestLo = lo;
      bestHi = hi;
    }
  }
  if (best < 0) return self;  // every case of the stretch is equal in the weighted columns

  const auto bp = static_cast<size_t>(best);
  const int c = columns.column[best];
  const double cut = std::clamp((cellLo[bp] + cellHi[bp]) * 0.5, bestLo, bestHi);
  int32_t* first = order + begin;
  int32_t* last = order + end;
  int32_t* below = std::partition(first, last, [&](int32_t p) { return row(p)[c] < cut; });
  int32_t* equal = std::partition(below, last, [&](int32_t p) { return row(p)[c] == cut; });
  const auto lim1 = static_cast<int32_t>(below - first);
  const auto lim2 = static_cast<int32_t>(equal - first);
  int32_t nLow = n / 2;
  if (lim1 > n / 2) {
    nLow = lim1;
  } else if (lim2 < n / 2) {
    nLow = lim2;
  }
  double lowMax = row(first[0])[c];
  for (int32_t i = 1; i < nLow; ++i) lowMax = std::max(lowMax, row(first[i])[c]);
  double highMin = row(first[nLow])[c];
  for (int32_t i = nLow + 1; i < n; ++i) highMin = std::min(highMin, row(first[i])[c]);

  const double savedHi = cellHi[bp];
  cellHi[bp] = cut;
  BuildBucketNode(nodes, order, begin, begin + nLow, depth + 1, bucketSize, maxDepth, columns,
                  cellLo, cellHi, row);
  cellHi[bp] = savedHi;
  const double savedLo = cellLo[bp];
  cellLo[bp] = cut;
  const int32_t high = BuildBucketNode(nodes, order, begin + nLow, end, depth + 1, bucketSize,
                                       maxDepth, columns, cellLo, cellHi, row);
  cellLo[bp] = savedLo;
  BucketNode& node = nodes[static_cast<size_t>(self)];
  node.position = best;
  node.high = high;
  node.lowMax = lowMax;
  node.highMin = highMin;
  return self;
}

// A search's step at split node `node` for query value q along the cut (weight w): the
// child on the query's side first, then the other, whose cell lies beyond its stored limit
// (so that limit is no farther than any of its cases) at farTerm along the cut.
struct SplitStep {
  int32_t nearChild;
  int32_t farChild;
  double farTerm;
};
template <class Terms>
inline SplitStep StepAt(const BucketNode& nd, int32_t node, double q, double w) {
  const double toLow = q - nd.lowMax;
  const double toHigh = q - nd.highMin;
  if (toLow + toHigh < 0.0) return SplitStep{node + 1, nd.high, Terms::Term(toHigh, w)};
  return SplitStep{nd.high, node + 1, Terms::Term(toLow, w)};
}

// A leaf's copy: the f columns of its m cases, column after column, so that a column of
// consecutive cases is one run of memory.
template <class RowOf>
inline void CopyLeaf(double* block, const int32_t* cases, size_t m, const int* column, size_t f,
                     const RowOf& row) {
  for (size_t i = 0; i < m; ++i) {
    const double* x = row(cases[i]);
    for (size_t j = 0; j < f; ++j) block[j * m + i] = x[column[j]];
  }
}

// The bounding box of m values rounded outwards to float (half the memory of doubles; a
// looser box only prunes a little less). A categorical column is unbounded; so is a value
// beyond float's range, which rounds to infinity.
inline void StoreBox(const double* values, size_t m, bool isContinuous, float& lo, float& hi) {
  if (!isContinuous) {
    lo = -HUGE_VALF;
    hi = HUGE_VALF;
    return;
  }
  const double low = *std::min_element(values, values + m);
  const double high = *std::max_element(values, values + m);
  lo = static_cast<float>(low);
  if (static_cast<double>(lo) > low) lo = std::nextafter(lo, -HUGE_VALF);
  hi = static_cast<float>(high);
  if (static_cast<double>(hi) < high) hi = std::nextafter(hi, HUGE_VALF);
}

}  // namespace knn_search_kernel
