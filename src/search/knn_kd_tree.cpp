#include "search/knn_kd_tree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>

#include "boundary/status_codes.h"
#include "data/knn_case_value.h"
#include "host/vel_display.h"
#include "host/vel_missing.h"

namespace {

// The bound used while the list is not yet full: larger than every distance.
constexpr double kNoBound = -VelMV::gMissingValue;

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
};

struct CityblockTerms {
  static bool Squared(double d, double w, double& term) {
    term = w * std::fabs(d);
    return true;
  }
};

// Categorical codes are compared after truncation, as the category histograms count them.
inline int Code(double value) {
  return KNNCaseValue::TruncateToInt(value);
}

}  // namespace

struct KNNKdTree::Impl {
  struct Bound {
    double hi;
    double lo;
  };

  // Split nodes and leaves in one array, in depth-first order: a split's low child is the
  // next node. 32 bytes, so that two nodes share a cache line.
  struct alignas(32) Node {
    union {
      struct {
        double cv;    // cut value, case units
        double lbnd;  // cell bounds along the cut column, case units
        double hbnd;
      } split;
      struct {
        int32_t begin;  // first position in index
        int32_t count;
        int32_t rowStart;  // first row of its cases in the row buffer
      } leaf;
    };
    int32_t cut;   // kLeaf, a continuous cut's column, or EncodeCategorical(column)
    int32_t high;  // split: the high child
  };
  static constexpr int32_t kLeaf = -1;
  static int32_t EncodeCategorical(int32_t column) { return -2 - column; }
  static int32_t Column(int32_t cut) { return cut >= 0 ? cut : -2 - cut; }

  // A high child waiting to be built: its stretch and how its parent cut.
  struct PendingBuild {
    int32_t start;
    int32_t n;
    int32_t parent;
    int32_t depth;
    int32_t cd;
    double cv;  // weighted space
    bool isContinuous;
  };

  struct PendingSearch {
    int32_t node;
    double rd;
  };

  Impl(KNNDataPreparation& store, std::vector<double>& treeWeights, int dim, bool euclid)
      : data(store),
        weights(treeWeights),
        dimension(dim),
        euclidean(euclid),
        foldColumn(store.settings->VFoldVariable),
        caseIdColumn(store.settings->CaseIDVariable) {}

  double Scale(int column) const {
    const double w = weights[static_cast<size_t>(column)];
    return euclidean ? std::sqrt(w) : w;
  }
  const double* Row(int32_t caseNumber) const {
    return data.caseRows[static_cast<size_t>(caseNumber)];
  }

  void SetColumns(const std::vector<int>& features);
  void BuildTree();
  void RecomputeCategoricalBounds(int32_t start, int32_t n);
  bool IsFlatCell() const;
  void ChooseCut(int32_t start, int32_t n, int32_t& cd, double& cv, int32_t& nLow,
                 bool& isContinuous);
  int32_t ContinuousCut(int32_t start, int32_t n, int column, double s, double& cv);
  int32_t CategoricalCut(int32_t start, int32_t n, int column, double cv);
  void PackFeatures();

  template <class Terms, bool kMixed>
  bool Search(const double* query, double rootDistance, bool includeSelf, KNNNeighborList& list);
  template <class Terms>
  bool RootDistance(const double* query, double& rd) const;

  void Print(int32_t node, int level, uint64_t number) const;
  void Dump(int32_t node) const;
  std::vector<int> LeafCases(const Node& leaf) const;

  KNNDataPreparation& data;
  std::vector<double>& weights;  // the tree's, indexed by column
  const int dimension;
  const bool euclidean;
  const int foldColumn;
  const int caseIdColumn;
  const int bucketSize = 1;

  std::vector<std::pair<int, int>> columns;         // (column, kind) of the build's features
  std::vector<std::pair<int, int>> categoryCounts;  // (column, number of categories)
  std::vector<int> categoricalColumns;              // distinct categorical feature columns
  std::vector<int32_t> index;                       // case numbers, permuted by the build
  std::vector<Bound> bounds;                        // per column
  std::vector<Node> nodes;
  bool hasRoot = false;
  int32_t maxDepth = 0;
  int32_t lastK = 0;

  // Build scratch, reused across builds.
  std::vector<Bound> savedBounds;  // per depth: the bounds of every feature position
  std::vector<PendingBuild> pendingBuilds;
  std::vector<unsigned> histogram;

  // Search data: the feature values of the indexed cases in index order, so a leaf reads
  // one contiguous block; and per-search scratch.
  int featureCount = 0;
  bool mixed = false;
  // The feature values of the indexed cases, one row of featureCount values per case, from
  // rowsBase (the buffer's first 64-byte boundary). A one-case leaf keeps its row at its own
  // node number, so the search can fetch a node and its row at once; the cases of larger
  // leaves follow after the last node's row.
  std::vector<double> rows;
  double* rowsBase = nullptr;
  std::vector<double> caseIdCodes;  // truncated case ID per position
  std::vector<double> featureWeight;
  std::vector<uint8_t> featureContinuous;
  std::vector<double> queryFeatures;
  std::vector<PendingSearch> pendingSearches;
};

void KNNKdTree::Impl::SetColumns(const std::vector<int>& features) {
  columns.clear();
  categoryCounts.clear();
  categoricalColumns.clear();
  for (int f : features) {
    if (f < 0 || f >= dimension || f >= static_cast<int>(data.variableKinds.size())) continue;
    const std::pair<int, int> entry = data.variableKinds[static_cast<size_t>(f)];
    columns.push_back(entry);
    if (entry.second == 1) continue;
    const std::vector<unsigned>* counts =
        data.variables[static_cast<size_t>(f)]->GetCategoryCounts();
    const int count = counts != nullptr ? static_cast<int>(counts->size()) : 0;
    categoryCounts.emplace_back(entry.first, count);
    if (std::find(categoricalColumns.begin(), categoricalColumns.end(), entry.first) ==
        categoricalColumns.end()) {
      categoricalColumns.push_back(entry.first);
    }
  }
}

void KNNKdTree::Impl::RecomputeCategoricalBounds(int32_t start, int32_t n) {
  // (s, 0) when the stretch holds at least two different codes, else (0, 0).
  for (int column : categoricalColumns) {
    const int first = Code(Row(index[static_cast<size_t>(start)])[column]);
    bool several = false;
    for (int32_t i = start + 1; i < start + n && !several; ++i) {
      several = Code(Row(index[static_cast<size_t>(i)])[column]) != first;
    }
    Bound& b = bounds[static_cast<size_t>(column)];
    b.hi = several ? Scale(column) : 0.0;
    b.lo = 0.0;
  }
}

bool KNNKdTree::Impl::IsFlatCell() const {
  for (const auto& column : columns) {
    const Bound& b = bounds[static_cast<size_t>(column.first)];
    if (std::fabs(b.hi - b.lo) > DBL_EPSILON) return false;
  }
  return true;
}

// Sliding-midpoint cut of a continuous column, in weighted space. Reorders the stretch so
// that the cases below cv come first, then those equal to cv (highest case number first),
// then those above it; returns how many of them go to the low child.
int32_t KNNKdTree::Impl::ContinuousCut(int32_t start, int32_t n, int column, double s, double& cv) {
  int32_t* stretch = index.data() + start;
  auto value = [&](int32_t i) { return s * Row(stretch[i])[column]; };

  double lowest = value(0);
  double highest = lowest;
  for (int32_t i = 1; i < n; ++i) {
    const double v = value(i);
    if (v < lowest) lowest = v;
    if (v > highest) highest = v;
  }
  const Bound& b = bounds[static_cast<size_t>(column)];
  const double ideal = (b.lo + b.hi) * 0.5;
  if (lowest > ideal) {
    cv = lowest;
  } else if (highest < ideal) {
    cv = highest;
  } else {
    cv = ideal;
  }

  // Two passes of a two-pointer exchange: first everything below cv, then everything
  // equal to it, to the front.
  int32_t l = 0;
  int32_t r = n - 1;
  for (;;) {
    while (l < n && value(l) < cv) ++l;
    while (r >= 0 && value(r) >= cv) --r;
    if (l > r) break;
    std::swap(stretch[l++], stretch[r--]);
  }
  const int32_t br1 = l;
  r = n - 1;
  for (;;) {
    while (l < n && value(l) <= cv) ++l;
    while (r >= br1 && value(r) > cv) --r;
    if (l > r) break;
    std::swap(stretch[l++], stretch[r--]);
  }
  const int32_t br2 = l;
  std::sort(stretch + br1, stretch + br2, std::greater<int32_t>());

  if (lowest > ideal) return 1;
  if (ideal > highest) return n - 1;
  if (br1 > n / 2) return br1;
  return std::min(br2, n / 2);
}

// Separates the cases of code cv (moved to the back) from the others; returns the number
// of the others, which form the low child.
int32_t KNNKdTree::Impl::CategoricalCut(int32_t start, int32_t n, int column, double cv) {
  int32_t* stretch = index.data() + start;
  auto differs = [&](int32_t i) { return std::fabs(Row(stretch[i])[column] - cv) > DBL_EPSILON; };
  int32_t l = 0;
  int32_t r = n - 1;
  for (;;) {
    while (l < n && differs(l)) ++l;
    while (r >= 0 && !differs(r)) --r;
    if (l > r) break;
    std::swap(stretch[l++], stretch[r--]);
  }
  return l;
}

// Picks the cut of a node that is not a leaf: among the columns whose cell is at least
// 0.999 of the widest, a continuous one (widest spread of the node's cases, first on ties)
// wins over any categorical one (the code closest to half of the cases, first on ties).
// False when no usable cut exists (the node then becomes a leaf).
void KNNKdTree::Impl::ChooseCut(int32_t start, int32_t n, int32_t& cd, double& cv, int32_t& nLow,
                                bool& isContinuous) {
  cd = -1;
  double maxSpread = 0.0;
  for (const auto& column : columns) {
    const Bound& b = bounds[static_cast<size_t>(column.first)];
    if (b.hi - b.lo > maxSpread) maxSpread = b.hi - b.lo;
  }
  const double threshold = 0.999 * maxSpread;
  auto isCandidate = [&](int column) {
    const Bound& b = bounds[static_cast<size_t>(column)];
    return b.hi - b.lo >= threshold;
  };

  double bestSpread = -1.0;
  for (const auto& column : columns) {
    if (column.second != 1 || !isCandidate(column.first)) continue;
    const int c = column.first;
    double lowest = Row(index[static_cast<size_t>(start)])[c];
    double highest = lowest;
    for (int32_t i = start + 1; i < start + n; ++i) {
      const double x = Row(index[static_cast<size_t>(i)])[c];
      if (x < lowest) lowest = x;
      if (x > highest) highest = x;
    }
    const double spread = Scale(c) * (highest - lowest);
    if (spread > bestSpread) {
      bestSpread = spread;
      cd = c;
    }
  }
  if (cd >= 0) {
    isContinuous = true;
    nLow = ContinuousCut(start, n, cd, Scale(cd), cv);
    return;
  }

  double bestScore = -1.0;
  for (const auto& column : columns) {
    if (column.second == 1 || !isCandidate(column.first)) continue;
    const int c = column.first;
    int categories = 0;
    for (const auto& entry : categoryCounts) {
      if (entry.first == c) {
        categories = entry.second;
        break;
      }
    }
    histogram.assign(static_cast<size_t>(std::max(categories, 0)), 0U);
    for (int32_t i = start; i < start + n; ++i) {
      const int code = Code(Row(index[static_cast<size_t>(i)])[c]);
      if (code >= 0 && code < categories) ++histogram[static_cast<size_t>(code)];
    }
    const double half = n * 0.5;
    double closest = n;
    int closestCode = -1;
    for (int code = 0; code < categories; ++code) {
      const double difference = std::fabs(half - histogram[static_cast<size_t>(code)]);
      if (difference < closest) {
        closest = difference;
        closestCode = code;
      }
    }
    const double score = n - closest;
    if (closestCode >= 0 && score > bestScore) {
      bestScore = score;
      cd = c;
      cv = closestCode;
    }
  }
  if (cd >= 0) {
    isContinuous = false;
    nLow = CategoricalCut(start, n, cd, cv);
  }
}

void KNNKdTree::Impl::BuildTree() {
  const int32_t pointCount = static_cast<int32_t>(index.size());
  const size_t featureSlots = columns.size();

  bounds.assign(static_cast<size_t>(dimension), Bound{0.0, 0.0});
  if (pointCount > 0) {
    for (const auto& column : columns) {
      if (column.second != 1) continue;
      const int c = column.first;
      const double s = Scale(c);
      double hi = s * Row(index[0])[c];
      double lo = hi;
      for (int32_t i = 1; i < pointCount; ++i) {
        const double v = s * Row(index[static_cast<size_t>(i)])[c];
        if (v > hi) hi = v;
        if (v < lo) lo = v;
      }
      bounds[static_cast<size_t>(c)] = Bound{hi, lo};
    }
    RecomputeCategoricalBounds(0, pointCount);
  }
  const std::vector<Bound> rootBounds = bounds;

  auto saveBounds = [&](int32_t depth) {
    const size_t base = static_cast<size_t>(depth) * featureSlots;
    if (savedBounds.size() < base + featureSlots) savedBounds.resize(base + featureSlots);
    for (size_t j = 0; j < featureSlots; ++j) {
      savedBounds[base + j] = bounds[static_cast<size_t>(columns[j].first)];
    }
  };
  auto restoreBounds = [&](int32_t depth) {
    const size_t base = static_cast<size_t>(depth) * featureSlots;
    for (size_t j = 0; j < featureSlots; ++j) {
      bounds[static_cast<size_t>(columns[j].first)] = savedBounds[base + j];
    }
  };

  nodes.clear();
  pendingBuilds.clear();
  maxDepth = 0;
  nodes.push_back(Node{});
  int32_t current = 0;
  int32_t start = 0;
  int32_t n = pointCount;
  int32_t depth = 0;
  // Depth first, low child before high child; the high child waits with its parent's cut
  // and takes its bounds from the parent's saved copy.
  for (;;) {
    if (depth > maxDepth) maxDepth = depth;
    int32_t cd = -1;
    double cv = 0.0;
    int32_t nLow = 0;
    bool isContinuous = true;
    if (n > bucketSize && !IsFlatCell()) ChooseCut(start, n, cd, cv, nLow, isContinuous);
    if (cd < 0 || nLow <= 0 || nLow >= n) {
      Node& leaf = nodes[static_cast<size_t>(current)];
      leaf = Node{};
      leaf.cut = kLeaf;
      leaf.leaf.begin = start;
      leaf.leaf.count = n;
      if (pendingBuilds.empty()) break;
      const PendingBuild next = pendingBuilds.back();
      pendingBuilds.pop_back();
      restoreBounds(next.depth - 1);
      if (next.isContinuous) {
        bounds[static_cast<size_t>(next.cd)].lo = next.cv;
        RecomputeCategoricalBounds(next.start, next.n);
      } else {
        RecomputeCategoricalBounds(next.start, next.n);
        bounds[static_cast<size_t>(next.cd)].hi = 0.0;
      }
      current = static_cast<int32_t>(nodes.size());
      nodes.push_back(Node{});
      nodes[static_cast<size_t>(next.parent)].high = current;
      start = next.start;
      n = next.n;
      depth = next.depth;
      continue;
    }

    saveBounds(depth);
    const double s = isContinuous ? Scale(cd) : 1.0;
    Bound& cut = bounds[static_cast<size_t>(cd)];
    Node split{};
    split.cut = isContinuous ? cd : EncodeCategorical(cd);
    split.split.cv = cv / s;
    split.split.hbnd = cut.hi / s;
    split.split.lbnd = cut.lo / s;
    split.high = -1;
    nodes[static_cast<size_t>(current)] = split;
    pendingBuilds.push_back(
        PendingBuild{start + nLow, n - nLow, current, depth + 1, cd, cv, isContinuous});

    if (isContinuous) cut.hi = cv;
    RecomputeCategoricalBounds(start, nLow);
    current = static_cast<int32_t>(nodes.size());
    nodes.push_back(Node{});
    n = nLow;
    ++depth;
  }

  // Back to the root cell, and from weighted space to case units.
  bounds = rootBounds;
  for (int c = 0; c < dimension; ++c) {
    const double s = Scale(c);
    bounds[static_cast<size_t>(c)].hi /= s;
    bounds[static_cast<size_t>(c)].lo /= s;
  }
  hasRoot = true;
}

void KNNKdTree::Impl::PackFeatures() {
  featureCount = static_cast<int>(columns.size());
  const size_t f = columns.size();
  const size_t count = index.size();
  size_t rowCount = nodes.size();
  for (Node& node : nodes) {
    if (node.cut != kLeaf) continue;
    if (node.leaf.count == 1) {
      node.leaf.rowStart = static_cast<int32_t>(&node - nodes.data());
    } else {
      node.leaf.rowStart = static_cast<int32_t>(rowCount);
      rowCount += static_cast<size_t>(node.leaf.count);
    }
  }
  rows.resize(rowCount * f + 8);
  rowsBase = rows.data();
  while (reinterpret_cast<uintptr_t>(rowsBase) % 64 != 0) ++rowsBase;
  for (const Node& node : nodes) {
    if (node.cut != kLeaf) continue;
    for (int32_t i = 0; i < node.leaf.count; ++i) {
      const double* row = Row(index[static_cast<size_t>(node.leaf.begin + i)]);
      double* out = rowsBase + (static_cast<size_t>(node.leaf.rowStart) + i) * f;
      for (size_t j = 0; j < f; ++j) out[j] = row[columns[j].first];
    }
  }
  caseIdCodes.resize(count);
  for (size_t pos = 0; pos < count; ++pos) {
    caseIdCodes[pos] = caseIdColumn >= 0 ? Code(Row(index[pos])[caseIdColumn]) : 0.0;
  }
  featureWeight.resize(f);
  featureContinuous.resize(f);
  mixed = false;
  for (size_t j = 0; j < f; ++j) {
    featureWeight[j] = weights[static_cast<size_t>(columns[j].first)];
    featureContinuous[j] = columns[j].second == 1 ? 1 : 0;
    if (columns[j].second != 1) mixed = true;
  }
  queryFeatures.resize(f);
  pendingSearches.resize(static_cast<size_t>(maxDepth) + 1);
}

template <class Terms>
bool KNNKdTree::Impl::RootDistance(const double* query, double& rd) const {
  rd = 0.0;
  for (const auto& column : columns) {
    if (column.second != 1) continue;
    const int c = column.first;
    const Bound& b = bounds[static_cast<size_t>(c)];
    double d;
    if (b.lo > query[c]) {
      d = b.lo - query[c];
    } else if (query[c] > b.hi) {
      d = query[c] - b.hi;
    } else {
      continue;
    }
    double term;
    if (!Terms::Squared(d, weights[static_cast<size_t>(c)], term)) return false;
    rd += term;
  }
  return true;
}

// Near child first; a far child waits on the stack with its cell distance and is visited
// only if, once everything before it is done, the K-th best distance still exceeds it.
// Returns false when a term cannot be formed.
template <class Terms, bool kMixed>
bool KNNKdTree::Impl::Search(const double* query, double rootDistance, bool includeSelf,
                             KNNNeighborList& list) {
  const int32_t k = list.k;
  KNNNeighbor* items = list.items.data();
  double bound = list.count == k ? items[k - 1].distance : kNoBound;
  const int f = featureCount;
  const double* q = queryFeatures.data();
  const double* w = featureWeight.data();
  const uint8_t* continuous = featureContinuous.data();
  const double* points = rowsBase;
  const Node* tree = nodes.data();
  const bool skipSelf = !includeSelf && caseIdColumn >= 0;
  const double queryId = skipSelf ? query[caseIdColumn] : 0.0;
  const double* columnWeight = weights.data();
  PendingSearch* stack = pendingSearches.data();
  int top = 0;

  int32_t current = 0;
  double rd = rootDistance;
  for (;;) {
    const Node* node = tree + current;
    while (node->cut != kLeaf) {
      const int32_t cut = node->cut;
      const bool continuousCut = cut >= 0;
      const int32_t column = continuousCut ? cut : -2 - cut;
      const double qc = query[column];
      const int32_t low = static_cast<int32_t>(node - tree) + 1;
      double e;
      double b;
      int32_t nearChild;
      int32_t farChild;
      if (continuousCut) {
        e = qc - node->split.cv;
        if (e >= 0.0) {
          nearChild = node->high;
          farChild = low;
          b = std::max(0.0, qc - node->split.hbnd);
        } else {
          nearChild = low;
          farChild = node->high;
          b = std::max(0.0, node->split.lbnd - qc);
        }
      } else {
        const bool sameCategory = qc == node->split.cv;
        e = sameCategory ? 0.5 : -0.5;
        nearChild = sameCategory ? node->high : low;
        farChild = sameCategory ? low : node->high;
        b = 0.0;
      }
      const double w = columnWeight[column];
      double te;
      double tb;
      if (!Terms::Squared(e, w, te) || !Terms::Squared(b, w, tb)) return false;
      // The bound never grows during a search, so a far cell that is out of reach now will
      // still be when its turn comes.
      const double farDistance = rd + te - tb;
      if (bound > farDistance) {
        __builtin_prefetch(tree + farChild);
        __builtin_prefetch(points + static_cast<size_t>(farChild) * static_cast<size_t>(f));
        stack[top++] = PendingSearch{farChild, farDistance};
      }
      __builtin_prefetch(points + static_cast<size_t>(nearChild) * static_cast<size_t>(f));
      node = tree + nearChild;
    }

    const int32_t end = node->leaf.begin + node->leaf.count;
    const double* x = points + static_cast<size_t>(node->leaf.rowStart) * static_cast<size_t>(f);
    for (int32_t pos = node->leaf.begin; pos < end; ++pos, x += f) {
      double sum = 0.0;
      int j = 0;
      for (; j < f; ++j) {
        const double d = q[j] - x[j];
        if (!kMixed || continuous[j]) {
          double term;
          if (!Terms::Squared(d, w[j], term)) return false;
          sum += term;
        } else if (d != 0.0) {
          sum += w[j] * 2.0;  // a category mismatch
        }
        if (sum > bound) break;
      }
      if (j < f) continue;
      if (skipSelf && sum == 0.0 && queryId == caseIdCodes[static_cast<size_t>(pos)]) continue;
      // Stable insertion: never passes an equal distance; the spare slot k takes the overflow.
      int32_t i = list.count;
      while (i > 0 && items[i - 1].distance > sum) {
        items[i] = items[i - 1];
        --i;
      }
      items[i] = KNNNeighbor{sum, index[static_cast<size_t>(pos)]};
      if (list.count < k) ++list.count;
      bound = list.count == k ? items[k - 1].distance : kNoBound;
    }

    for (;;) {
      if (top == 0) return true;
      const PendingSearch& next = stack[--top];
      if (bound > next.rd) {
        current = next.node;
        rd = next.rd;
        break;
      }
    }
  }
}

std::vector<int> KNNKdTree::Impl::LeafCases(const Node& leaf) const {
  const auto first = index.begin() + leaf.leaf.begin;
  return std::vector<int>(first, first + leaf.leaf.count);
}

void KNNKdTree::Impl::Print(int32_t node, int level, uint64_t number) const {
  std::string indent = "    ";
  for (int i = 0; i < level; ++i) indent += "..";
  VelComponentDisplay::DisplayText(indent);
  const Node& n = nodes[static_cast<size_t>(node)];
  // Node numbers are for the display only; deep trees wrap them around.
  const long shown = static_cast<long>(number);
  if (n.cut == kLeaf) {
    VelComponentDisplay::DisplayI("Leaf n", n.leaf.count);
    VelComponentDisplay::DisplayI("Node Num", shown);
    VelComponentDisplay::DisplayIV("Leaves are", LeafCases(n));
    return;
  }
  Print(n.high, level + 1, 2 * number + 2);
  VelComponentDisplay::DisplayI("Node Num", shown);
  VelComponentDisplay::DisplayI("Split cd", Column(n.cut));
  VelComponentDisplay::DisplayD("cv", n.split.cv);
  VelComponentDisplay::DisplayD("lbnd", n.split.lbnd);
  VelComponentDisplay::DisplayD("hbnd", n.split.hbnd);
  Print(node + 1, level + 1, 2 * number + 1);
}

void KNNKdTree::Impl::Dump(int32_t node) const {
  const Node& n = nodes[static_cast<size_t>(node)];
  if (n.cut == kLeaf) {
    VelComponentDisplay::DisplayText("Dump the entire leaves start");
    VelComponentDisplay::DisplayI("The leaves numbers are", n.leaf.count);
    VelComponentDisplay::DisplayIV("The leaves are", LeafCases(n));
    VelComponentDisplay::DisplayText("End of dump the entire leaves");
    return;
  }
  VelComponentDisplay::DisplayI("Split", Column(n.cut));
  VelComponentDisplay::DisplayD("cv", n.split.cv);
  VelComponentDisplay::DisplayD("lbnd", n.split.lbnd);
  VelComponentDisplay::DisplayD("hbnd", n.split.hbnd);
  Dump(node + 1);
  Dump(n.high);
}

KNNKdTree::KNNKdTree(KNNDataPreparation& store) : store_(store) {
  const int dimension = store.variableList != nullptr ? store.variableList->Size() : store.rowWidth;
  weights_.assign(static_cast<size_t>(dimension), 1.0);
  const bool euclidean = store.settings->DistMetric == 0;
  if (euclidean) {
    metric_ = std::make_unique<KNNEuclideanDis>();
  } else {
    metric_ = std::make_unique<KNNCityblockDis>();
  }
  impl_ = std::make_unique<Impl>(store, weights_, dimension, euclidean);
}

KNNKdTree::~KNNKdTree() = default;

VelCommon::VelStatus KNNKdTree::Build(const std::vector<int>& features, int fold,
                                      const std::vector<double>* weights) {
  Impl& t = *impl_;
  t.SetColumns(features);
  if (weights != nullptr) {
    const size_t given = std::min(features.size(), weights->size());
    for (size_t i = 0; i < given; ++i) {
      const int f = features[i];
      if (f >= 0 && f < static_cast<int>(weights_.size())) {
        weights_[static_cast<size_t>(f)] = (*weights)[i];
      }
    }
  }

  const int32_t total = static_cast<int32_t>(store_.caseRows.size());
  t.index.resize(static_cast<size_t>(total));
  int32_t kept = 0;
  const bool excludeFold = t.foldColumn != -1 && fold != -1;
  for (int32_t i = 0; i < total; ++i) {
    if (excludeFold &&
        !(std::fabs(store_.caseRows[static_cast<size_t>(i)][t.foldColumn] - fold) > DBL_EPSILON)) {
      continue;
    }
    t.index[static_cast<size_t>(kept++)] = i;
  }
  t.index.resize(static_cast<size_t>(kept));
  pointCount_ = kept;

  t.BuildTree();
  t.PackFeatures();
  return status_;
}

KNNNeighborList& KNNKdTree::FindNearest(const double* query, int K, bool includeSelf) {
  Impl& t = *impl_;
  if (K < 1) {
    if (!neighbours_) neighbours_ = std::make_unique<KNNNeighborList>(0);
    neighbours_->count = 0;
    return *neighbours_;
  }
  if (!neighbours_ || K != t.lastK) {
    t.lastK = K;
    neighbours_ = std::make_unique<KNNNeighborList>(K);
  }
  KNNNeighborList& list = *neighbours_;
  list.count = 0;
  if (!t.hasRoot || query == nullptr) return list;

  for (int j = 0; j < t.featureCount; ++j) {
    t.queryFeatures[static_cast<size_t>(j)] = query[t.columns[static_cast<size_t>(j)].first];
  }
  double rd = 0.0;
  bool ok;
  if (t.euclidean) {
    ok = t.RootDistance<EuclideanTerms>(query, rd) &&
         (t.mixed ? t.Search<EuclideanTerms, true>(query, rd, includeSelf, list)
                  : t.Search<EuclideanTerms, false>(query, rd, includeSelf, list));
  } else {
    ok = t.RootDistance<CityblockTerms>(query, rd) &&
         (t.mixed ? t.Search<CityblockTerms, true>(query, rd, includeSelf, list)
                  : t.Search<CityblockTerms, false>(query, rd, includeSelf, list));
  }
  if (!ok) {
    list.count = 0;
    return list;
  }
  for (KNNNeighbor& item : list.items) item.distance = metric_->FinalDistance(item.distance, 1.0);
  return list;
}

void KNNKdTree::Clear() {
  impl_->nodes.clear();
  impl_->hasRoot = false;
  impl_->index.clear();
  pointCount_ = 0;
}

void KNNKdTree::Dump() {
  if (impl_->hasRoot) impl_->Dump(0);
}

void KNNKdTree::DisplayPoints() {
  for (int32_t caseNumber : impl_->index) {
    VelComponentDisplay::DisplayDV("one point", impl_->Row(caseNumber), impl_->dimension);
  }
}

void KNNKdTree::DisplayTree(const char* nullText) {
  VelComponentDisplay::DisplayText("Tree status");
  if (impl_->hasRoot) {
    impl_->Print(0, 0, 0);
  } else {
    VelComponentDisplay::DisplayText(nullText);
  }
}

void KNNKdTree::DisplayDescription() {
  VelComponentDisplay::DisplayText("Bound display");
  for (const Impl::Bound& b : impl_->bounds) {
    VelComponentDisplay::DisplayDV("Bound", std::vector<double>{b.hi, b.lo});
  }
  VelComponentDisplay::DisplayText("Bound display end");
  VelComponentDisplay::DisplayText("Tree discription");
  VelComponentDisplay::DisplayI("Tree number", pointCount_);
  VelComponentDisplay::DisplayI("Point size", impl_->dimension);
  VelComponentDisplay::DisplayI("bucket size", impl_->bucketSize);
  VelComponentDisplay::DisplayText("Tree discription end");
}

void KNNKdTree::DisplayAll() {
  VelComponentDisplay::DisplayText("Display all used points");
  DisplayPoints();
  VelComponentDisplay::DisplayText("Points display end");
  DisplayDescription();
  DisplayTree("  Null tree.");
}

void KNNKdTree::Display(bool showPoints) {
  if (showPoints) {
    VelComponentDisplay::DisplayText("All used points");
    DisplayPoints();
    VelComponentDisplay::DisplayText("Points display end");
  }
  DisplayDescription();
  DisplayTree("  Null tree.");
}

void KNNKdTree::DisplayStatus(bool showPoints) {
  if (showPoints) {
    VelComponentDisplay::DisplayText("All used points");
    DisplayPoints();
    VelComponentDisplay::DisplayText("Points display end");
  }
  DisplayTree("    Null tree.");
}
