#include "search/knn_kd_tree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "boundary/status_codes.h"
#include "data/knn_case_value.h"
#include "host/vel_display.h"
#include "host/vel_missing.h"
#include "search/knn_bucket_tree.h"
#include "search/knn_search_kernel.h"

// Two indexes answer a search.
//
// The canonical walk: a KD-tree with one case per leaf, sliding-midpoint and categorical cuts,
// near child first. Its visiting order decides which of several equally distant cases is
// reported, and its pruning (cell distances built incrementally from cut values that went
// through the weighted space and back) may, by a few ulps, skip a case that is nearer than
// the K-th found. It needs two nodes per case, so it is built only when a search first needs
// it after a build.
//
// The bucketed index: cuts on the continuous feature columns only, about ten cases per leaf,
// a permutation of case numbers and the case rows read from the store. Its leaf scan forms
// each sum with exactly the walk's arithmetic (same terms, same column order, categorical
// mismatches included), so a case's sum is bit-identical in both. Its cell distances are
// lower bounds per column (cut limits are stored case values, and rounding is monotone), and
// it prunes only a cell whose distance, reduced by a margin far above the rounding of its
// incremental sums, still exceeds the (K+1)-th sum; so it finds the K + 1 smallest sums
// exactly.
//
// Why the K + 1 smallest sums decide when both answers agree: the walk's result is the K
// smallest sums among the cases it visits, equal sums in visiting order. Suppose it skipped a
// case c that belongs to the true K nearest. It skipped c's cell while K visited cases had
// sums <= bound, and c's sum is at least bound - r (r: the walk's rounding). So K + 1 cases
// have sums <= bound < sum(c) + r <= S[K-1] + r, hence S[K] - S[K-1] < r. Otherwise the walk
// visits all of the true K nearest, and its answer differs from the bucketed one only in the
// order of equal sums. Both events need two of the K + 1 smallest sums within r of each
// other; when that happens (tolerance: a relative 1e-8 for the rounding of incremental sums
// along any path, plus 1e-13 of the largest possible sum for the cut values' round trip),
// the search is handed to the walk. Categorical cuts cannot add to the error: a path takes
// at most two far steps per categorical column (into the other codes when the query has the
// cut code, and into one single-code cell), adding at most 0.5 w (Euclidean) or w (city
// block), below the 2 w of the mismatch that every case of such a cell has.
//
// A search that could overflow (a term or sum near DBL_MAX, a non-finite query value) or a
// negative or non-finite weight goes to the walk as well, which then gives its own
// failure (count 0) or result.
//
// Since only the K + 1 smallest sums over all cases decide the answer, any exact way of
// finding them serves. A tree built over one fold's cases (BuildFold) finds them from the
// nearest cases outside the fold, known exactly from an earlier search that left the fold
// out, plus its own cases within their bound; the same tie test, with the whole tree's
// tolerance, then decides whether that answer stands or the whole tree must be asked.

using namespace knn_search_kernel;

namespace {

// Bucketed index: depth limit (deeper stretches become large leaves, which keeps the
// rounding margin valid).
constexpr int kMaxFastDepth = 200;

// The largest leaf of the bucketed index for searches of K neighbours: larger leaves pay off
// when more neighbours are wanted. Measured with bench/search_bench and whole builds: 48 to
// 64 best for K = 5 (a group of eight cases beyond the bound costs one test), 64 for K = 30.
int32_t BucketSizeFor(int K) {
  return std::clamp(K + 43, 48, 64);
}

// The bucketed index keeps its own leaf-ordered copy of the searched columns when that costs
// at most this many bytes per case (twelve features): leaf scans then read consecutive
// memory instead of one scattered store row per case, which is where a search spends its
// time. Wider feature sets read the store. The copy is dropped when the one-case-per-leaf
// tree has to be made and the two together would exceed kKeepBothBytes.
constexpr size_t kCompactBytesPerCase = 96;
constexpr size_t kKeepBothBytes = size_t{16} << 20;

// Where a leaf scan finds a case's searched values: the index's own copy, or the store row.
enum class RowLayout { kCompact, kStore };

}  // namespace

struct KNNKdTree::Impl {
  struct Bound {
    double hi;
    double lo;
  };

  // Canonical walk: split nodes and leaves in one array, in depth-first order; a split's low
  // child is the next node.
  struct Node {
    union {
      struct {
        double cv;    // cut value, case units
        double lbnd;  // cell bounds along the cut column, case units
        double hbnd;
      } split;
      struct {
        int32_t begin;  // first position in index
        int32_t count;
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

  // Bucketed index node (knn_bucket_tree.h).
  using FastNode = BucketNode;

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
    if (rowBase != nullptr) return rowBase + static_cast<size_t>(caseNumber) * rowStride;
    return data.caseRows[static_cast<size_t>(caseNumber)];
  }

  void SetColumns(const std::vector<int>& features);
  void LocateRows();
  void IndexCases(int fold);
  void BuildTree();
  void RecomputeCategoricalBounds(int32_t start, int32_t n);
  bool IsFlatCell() const;
  void ChooseCut(int32_t start, int32_t n, int32_t& cd, double& cv, int32_t& nLow,
                 bool& isContinuous);
  int32_t ContinuousCut(int32_t start, int32_t n, int column, double s, double& cv);
  template <class Stays, class Keeps>
  int32_t ExchangeToFront(int32_t* stretch, int32_t begin, int32_t n, bool ordered,
                          const Stays& stays, const Keeps& keeps);
  int32_t CategoricalCut(int32_t start, int32_t n, int column, double cv);

  void PrepareFeatures();
  void BuildFastIndex();
  // Builds the bucketed index the first time a search (of K neighbours) needs it.
  void EnsureFastIndex(int K) {
    if (!fastPending) return;
    fastPending = false;
    fastBucket = BucketSizeFor(K);
    BuildFastIndex();
  }
  bool FastScale(const double* query, double& scale) const;
  template <class Terms>
  bool FastSearch(const double* query, int K, bool includeSelf, double scale,
                  KNNNeighborList& list);
  // FastSearch in two halves around the visit: BeginFast empties the list and returns the
  // query's distance to the indexed cases' box; EndFast reports the list, or false when two
  // of its sums are too close to tell from the walk's rounding (list then untouched).
  template <class Terms>
  double BeginFast(const double* query, int K, bool includeSelf);
  bool EndFast(int K, double scale, KNNNeighborList& list);
  // A leave-self-out search of this fold's cases whose list starts with others (cases outside
  // the fold); scale: the whole tree's.
  template <class Terms>
  bool JoinedSearch(const double* query, int K, const int32_t* others, int32_t otherCount,
                    double scale, KNNNeighborList& list);
  // One node of a bucketed search: FastVisit with the baseline vectors, FastVisitWide with
  // the wide ones (compact copy only); both run FastVisitBody, which recurses through them.
  template <class Terms, RowLayout kLayout, bool kMixed>
  void FastVisit(int32_t node, double rd);
  template <class Terms, bool kMixed>
  [[gnu::target(KNN_WIDE_TARGET)]] void FastVisitWide(int32_t node, double rd);
  template <class Terms, RowLayout kLayout, bool kMixed, int W>
  [[gnu::always_inline]] inline void FastVisitBody(int32_t node, double rd);
  template <class Terms>
  void FastVisitRoot(double rd);
  // W: the width of the leaf scan offering (the wide one can insert in wide vectors).
  template <int W>
  [[gnu::always_inline]] inline void FastOffer(double sum, int32_t caseNumber);
  // A stored row's sum over the searched features, term by term in column order as every
  // leaf scan forms it; false once a partial sum, tested every fourth column, exceeds bound.
  template <class Terms, bool kMixed>
  [[gnu::always_inline]] inline bool RowSumWithin(const double* x, double bound, double& sum) const;
  void ReleaseCompactRows() {
    std::vector<double>().swap(fastRows);
    std::vector<float>().swap(fastBoxes);
    fastCompact = false;
  }

  void EnsureCanonical();
  void ReleaseCanonical() {
    std::vector<Node>().swap(nodes);
    std::vector<int32_t>().swap(index);
    hasRoot = false;
  }
  template <class Terms>
  bool CanonicalSearch(const double* query, bool includeSelf, KNNNeighborList& list);
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

  // Rows of the store: base and stride when they lie in its one buffer, else caseRows.
  const double* rowBase = nullptr;
  size_t rowStride = 0;

  std::vector<std::pair<int, int>> columns;         // (column, kind) of the build's features
  std::vector<std::pair<int, int>> categoryCounts;  // (column, number of categories)
  std::vector<int> categoricalColumns;              // distinct categorical feature columns
  bool built = false;                               // a build is in place
  int lastFold = -1;
  bool foldOnly = false;           // the build indexes the cases of lastFold alone
  bool lastExact = false;          // the last search's list holds exactly the smallest sums
  std::vector<int> builtFeatures;  // of the build in place

  // Canonical walk, built on demand.
  std::vector<int32_t> index;  // case numbers, permuted by the build
  std::vector<Bound> bounds;   // per column
  std::vector<Node> nodes;
  bool hasRoot = false;
  int32_t maxDepth = 0;
  int32_t lastK = 0;
  bool forceCanonical = false;
  long long canonicalSearches = 0;

  // Build scratch, reused across builds.
  std::vector<Bound> savedBounds;  // per depth: the bounds of every feature position
  std::vector<double> cutValues;   // the values of the stretch being cut
  std::vector<int32_t> cutStops;   // scratch of the exchanges of a cut
  std::vector<PendingBuild> pendingBuilds;
  std::vector<unsigned> histogram;
  std::vector<PendingSearch> pendingSearches;

  // Per feature position: column, weight, kind.
  int featureCount = 0;
  bool mixed = false;
  std::vector<int> featureColumn;
  std::vector<double> featureWeight;
  std::vector<uint8_t> featureContinuous;

  // Bucketed index.
  bool fastUsable = false;
  std::vector<int32_t> fastIndex;  // case numbers, permuted by the build
  // When fastCompact: the searched values of the cases of fastIndex, per leaf [b, e) the
  // block at b * f holding feature j of position b + i at j * (e - b) + i.
  std::vector<double> fastRows;
  // Per leaf, with the copy: the lowest then the highest value of each feature position,
  // rounded outwards to float (half the memory; a looser box only prunes a little less),
  // boxStride entries each: padded to whole vectors with an unbounded column.
  std::vector<float> fastBoxes;
  int boxStride = 0;
  bool fastCompact = false;
  bool fastPending = false;  // built, but the bucketed index not yet made
  int32_t fastBucket = 48;   // its largest leaf
  int plannedK = 5;          // K of the searches last announced by PlanSearches
  bool wideScans = false;    // leaf scans in wide vectors (taken at each build)
  std::vector<FastNode> fastNodes;
  std::vector<double> fastLo;  // per feature position: range of the indexed cases
  std::vector<double> fastHi;
  std::vector<double> cellLo;  // build scratch: the current node's cell
  std::vector<double> cellHi;
  // Per-search state of the bucketed index.
  std::vector<double> queryFeatures;
  std::vector<double> cellTerms;  // per feature position: the current cell's term
  // The list: ListStride(K + 1) sums (+inf while unfilled) and their cases.
  std::vector<double> fastSums;
  std::vector<int64_t> fastCases;
  int32_t fastK = 0;
  int32_t fastCount = 0;
  double fastBound = kNoBound;
  bool skipSelf = false;
  double queryId = 0.0;
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

// Rows are read through one base pointer and stride when the store keeps them row after row
// in its buffer (the usual case), else through caseRows.
void KNNKdTree::Impl::LocateRows() {
  rowBase = nullptr;
  rowStride = 0;
  const size_t count = data.caseRows.size();
  if (count == 0 || data.rowWidth <= 0 ||
      data.caseStore.size() < count * static_cast<size_t>(data.rowWidth))
    return;
  const double* base = data.caseStore.data();
  const size_t stride = static_cast<size_t>(data.rowWidth);
  for (size_t i = 0; i < count; ++i) {
    if (data.caseRows[i] != base + i * stride) return;
  }
  rowBase = base;
  rowStride = stride;
}

// index <- the case numbers of the build, in store order: the held-out fold left out, or
// (foldOnly) that fold's cases alone.
void KNNKdTree::Impl::IndexCases(int fold) {
  const int32_t total = static_cast<int32_t>(data.caseRows.size());
  index.resize(static_cast<size_t>(total));
  int32_t kept = 0;
  const bool byFold = foldColumn != -1 && fold != -1;
  for (int32_t i = 0; i < total; ++i) {
    const bool inFold = byFold && !(std::fabs(Row(i)[foldColumn] - fold) > DBL_EPSILON);
    if (foldOnly ? !inFold : inFold) continue;
    index[static_cast<size_t>(kept++)] = i;
  }
  index.resize(static_cast<size_t>(kept));
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

// The two-pointer exchange over [begin, n) of the stretch and its values: the left pointer
// passes values that `stay` in front, the right one values that `keep` to the back, and the
// values where they stop change places until the pointers cross. Returns where the left
// pointer stopped. Without NaN values (ordered), the same exchanges are found by two
// branch-free scans: the k-th takes the k-th stop from the left and the k-th from the right
// while they have not crossed, and the left pointer ends at the next stop from the left or
// at the last exchange's right place, whichever comes first.
template <class Stays, class Keeps>
int32_t KNNKdTree::Impl::ExchangeToFront(int32_t* stretch, int32_t begin, int32_t n, bool ordered,
                                         const Stays& stays, const Keeps& keeps) {
  double* values = cutValues.data();
  const auto exchange = [stretch, values](int32_t i, int32_t j) {
    std::swap(stretch[i], stretch[j]);
    std::swap(values[i], values[j]);
  };
  if (!ordered) {
    int32_t l = begin;
    int32_t r = n - 1;
    for (;;) {
      while (l < n && stays(values[l])) ++l;
      while (r >= begin && keeps(values[r])) --r;
      if (l > r) return l;
      exchange(l++, r--);
    }
  }
  const auto count = static_cast<size_t>(n - begin);
  cutStops.resize(2 * count + 2);
  int32_t* fromLeft = cutStops.data();
  int32_t* fromRight = fromLeft + count + 1;
  int32_t lefts = 0;
  for (int32_t i = begin; i < n; ++i) {
    fromLeft[lefts] = i;
    lefts += stays(values[i]) ? 0 : 1;
  }
  int32_t rights = 0;
  for (int32_t i = n - 1; i >= begin; --i) {
    fromRight[rights] = i;
    rights += keeps(values[i]) ? 0 : 1;
  }
  int32_t k = 0;
  for (; k < lefts && k < rights && fromLeft[k] < fromRight[k]; ++k) {
    exchange(fromLeft[k], fromRight[k]);
  }
  const int32_t next = k < lefts ? fromLeft[k] : n;
  return k == 0 ? next : std::min(next, fromRight[k - 1]);
}

// Sliding-midpoint cut of a continuous column, in weighted space. Reorders the stretch so
// that the cases below cv come first, then those equal to cv (highest case number first),
// then those above it; returns how many of them go to the low child.
int32_t KNNKdTree::Impl::ContinuousCut(int32_t start, int32_t n, int column, double s, double& cv) {
  int32_t* stretch = index.data() + start;
  // The stretch's values, read from the scattered rows once and exchanged along with it.
  cutValues.resize(static_cast<size_t>(n));
  double* values = cutValues.data();
  for (int32_t i = 0; i < n; ++i) values[i] = s * Row(stretch[i])[column];
  auto value = [values](int32_t i) { return values[i]; };

  // Four running extremes (independent chains); combined with the same comparisons they
  // give what one running pair gives, a leading NaN included.
  double low[4] = {value(0), value(0), value(0), value(0)};
  double high[4] = {value(0), value(0), value(0), value(0)};
  int32_t i = 1;
  for (; i + 4 <= n; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const double v = value(i + k);
      if (v < low[k]) low[k] = v;
      if (v > high[k]) high[k] = v;
    }
  }
  for (; i < n; ++i) {
    const double v = value(i);
    if (v < low[0]) low[0] = v;
    if (v > high[0]) high[0] = v;
  }
  double lowest = low[0];
  double highest = high[0];
  for (int k = 1; k < 4; ++k) {
    if (low[k] < lowest) lowest = low[k];
    if (high[k] > highest) highest = high[k];
  }
  bool ordered = true;
  for (int32_t j = 0; j < n; ++j) ordered &= !std::isnan(value(j));
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
  const int32_t br1 = ExchangeToFront(
      stretch, 0, n, ordered, [cv](double v) { return v < cv; },
      [cv](double v) { return v >= cv; });
  const int32_t br2 = ExchangeToFront(
      stretch, br1, n, ordered, [cv](double v) { return v <= cv; },
      [cv](double v) { return v > cv; });
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
  // At most 2n - 1 nodes; reserving them avoids a second copy while the array grows.
  nodes.reserve(2 * static_cast<size_t>(std::max(pointCount, 1)));
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
      leaf.high = -1;
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
  pendingSearches.resize(static_cast<size_t>(maxDepth) + 1);
}

void KNNKdTree::Impl::PrepareFeatures() {
  const size_t f = columns.size();
  featureCount = static_cast<int>(f);
  featureColumn.resize(f);
  // Padded to whole vectors with zero weights (and zero query values) for the box test.
  boxStride = static_cast<int>((f + kLaneWidth - 1) / kLaneWidth * kLaneWidth);
  featureWeight.assign(static_cast<size_t>(boxStride), 0.0);
  featureContinuous.resize(f);
  mixed = false;
  fastUsable = !index.empty();
  bool anyContinuous = false;
  for (size_t j = 0; j < f; ++j) {
    featureColumn[j] = columns[j].first;
    featureWeight[j] = weights[static_cast<size_t>(columns[j].first)];
    featureContinuous[j] = columns[j].second == 1 ? 1 : 0;
    if (columns[j].second != 1) mixed = true;
    if (columns[j].second == 1) anyContinuous = true;
    const double w = featureWeight[j];
    if (!(w >= 0.0 && w <= DBL_MAX)) fastUsable = false;
  }
  // Without a continuous feature the bucketed index has nothing to cut.
  if (!anyContinuous) fastUsable = false;
  queryFeatures.assign(static_cast<size_t>(boxStride), 0.0);
  cellTerms.resize(f);
}

// fastIndex holds the build's case numbers.
void KNNKdTree::Impl::BuildFastIndex() {
  fastNodes.clear();
  const size_t f = columns.size();
  fastLo.assign(f, 0.0);
  fastHi.assign(f, 0.0);
  if (!fastUsable) return;
  for (size_t j = 0; j < f; ++j) {
    if (!featureContinuous[j]) continue;
    const int c = featureColumn[j];
    double lo = Row(fastIndex[0])[c];
    double hi = lo;
    for (int32_t caseNumber : fastIndex) {
      const double x = Row(caseNumber)[c];
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    fastLo[j] = lo;
    fastHi[j] = hi;
  }
  cellLo = fastLo;
  cellHi = fastHi;
  std::vector<double> scale(f);
  for (size_t j = 0; j < f; ++j) {
    scale[j] = euclidean ? std::sqrt(featureWeight[j]) : featureWeight[j];
  }
  const BucketColumns cut{featureCount, featureColumn.data(), scale.data(),
                          featureContinuous.data()};
  fastNodes.reserve(4 * (fastIndex.size() / static_cast<size_t>(fastBucket)) + 1);
  BuildBucketNode(fastNodes, fastIndex.data(), 0, static_cast<int32_t>(fastIndex.size()), 0,
                  fastBucket, kMaxFastDepth, cut, cellLo, cellHi,
                  [this](int32_t caseNumber) { return Row(caseNumber); });
  fastNodes.shrink_to_fit();

  ReleaseCompactRows();
  if (f * sizeof(double) > kCompactBytesPerCase) return;
  fastRows.assign(fastIndex.size() * f + kLanes, 0.0);
  size_t leaves = 0;
  for (const FastNode& node : fastNodes) leaves += node.position < 0 ? 1 : 0;
  const size_t stride = static_cast<size_t>(boxStride);
  fastBoxes.assign(leaves * 2 * stride, 0.0F);
  int32_t box = 0;
  for (FastNode& node : fastNodes) {
    if (node.position >= 0) continue;
    const size_t begin = static_cast<size_t>(node.high);
    const size_t m = static_cast<size_t>(node.end - node.high);
    double* block = fastRows.data() + begin * f;
    CopyLeaf(block, fastIndex.data() + begin, m, featureColumn.data(), f,
             [this](int32_t caseNumber) { return Row(caseNumber); });
    node.box = box;
    float* lo = fastBoxes.data() + static_cast<size_t>(box) * 2 * stride;
    float* hi = lo + stride;
    for (size_t j = 0; j < stride; ++j) {
      StoreBox(block + j * m, m, j < f && featureContinuous[j] != 0, lo[j], hi[j]);
    }
    ++box;
  }
  fastCompact = true;
}

// The largest sum a case can reach from this query, with every value's magnitude added to
// its distance so that the round trip of cut values is covered too. False when a term or
// the sum could come near overflow (or a value is not finite): the walk then decides.
bool KNNKdTree::Impl::FastScale(const double* query, double& scale) const {
  scale = 0.0;
  for (int j = 0; j < featureCount; ++j) {
    const size_t p = static_cast<size_t>(j);
    const double w = featureWeight[p];
    if (!featureContinuous[p]) {
      scale += 2.0 * w;
      continue;
    }
    const double q = query[featureColumn[p]];
    const double reach = std::max(std::fabs(q - fastLo[p]), std::fabs(q - fastHi[p])) +
                         std::max(std::fabs(fastLo[p]), std::fabs(fastHi[p]));
    if (euclidean) {
      if (!(reach * reach <= kLargestSum)) return false;
      scale += w * (reach * reach);
    } else {
      if (!(reach <= kLargestSum)) return false;
      scale += w * reach;
    }
  }
  return scale <= kLargestSum;
}

template <class Terms, RowLayout kLayout, bool kMixed>
void KNNKdTree::Impl::FastVisit(int32_t node, double rd) {
  FastVisitBody<Terms, kLayout, kMixed, kLaneWidth>(node, rd);
}

template <class Terms, bool kMixed>
void KNNKdTree::Impl::FastVisitWide(int32_t node, double rd) {
  FastVisitBody<Terms, RowLayout::kCompact, kMixed, kWideWidth>(node, rd);
}

template <class Terms, RowLayout kLayout, bool kMixed, int W>
void KNNKdTree::Impl::FastVisitBody(int32_t node, double rd) {
  const auto visit = [this](int32_t child, double distance) {
    if constexpr (W == kLaneWidth) {
      FastVisit<Terms, kLayout, kMixed>(child, distance);
    } else {
      FastVisitWide<Terms, kMixed>(child, distance);
    }
  };
  const FastNode& nd = fastNodes[static_cast<size_t>(node)];
  if (nd.position >= 0) {
    const size_t p = static_cast<size_t>(nd.position);
    const SplitStep step = StepAt<Terms>(nd, node, queryFeatures[p], featureWeight[p]);
    visit(step.nearChild, rd);
    const double old = cellTerms[p];
    const double farDistance = rd + (step.farTerm - old);
    if (farDistance * (1.0 - kPruneMargin) <= fastBound) {
      cellTerms[p] = step.farTerm;
      visit(step.farChild, farDistance);
      cellTerms[p] = old;
    }
    return;
  }

  const int f = featureCount;
  const double* q = queryFeatures.data();
  const double* w = featureWeight.data();
  const uint8_t* continuous = featureContinuous.data();
  if constexpr (kLayout == RowLayout::kCompact) {
    // A leaf whose bounding box lies beyond the bound holds no candidate.
    const size_t stride = static_cast<size_t>(boxStride);
    const float* lo = fastBoxes.data() + static_cast<size_t>(nd.box) * 2 * stride;
    if (BoxDistance<Terms>(lo, lo + stride, q, w, stride) * (1.0 - kPruneMargin) > fastBound) {
      return;
    }
    const int32_t m = nd.end - nd.high;
    const double* block = fastRows.data() + static_cast<size_t>(nd.high) * static_cast<size_t>(f);
    using V = typename VectorOf<W>::type;
    for (int32_t group = 0; group < m; group += kLanes) {
      V sums[kLanes / W];
      GroupSums<Terms, kMixed>(sums, block + group, m, f, q, w, continuous);
      // Lanes past the leaf's end read the next leaf's cases (or padding): masked off.
      unsigned within = WithinBits(sums, fastBound) & LanesBelow(m - group);
      while (within != 0) {
        const int i = std::countr_zero(within);
        within &= within - 1;
        const double sum = sums[i / W][i % W];
        // The bound may have shrunk with this group's earlier offers.
        if (sum <= fastBound) {
          FastOffer<W>(sum, fastIndex[static_cast<size_t>(nd.high + group + i)]);
        }
      }
    }
    return;
  } else {
    // The leaf's rows are scattered over the store: ask for all of them before summing.
    const size_t rowBytes = rowBase != nullptr ? rowStride * sizeof(double) : 0;
    for (int32_t pos = nd.high; pos < nd.end; ++pos) {
      const char* row = reinterpret_cast<const char*>(Row(fastIndex[static_cast<size_t>(pos)]));
      __builtin_prefetch(row);
      if (rowBytes > 64) __builtin_prefetch(row + 64);
    }
  }
  for (int32_t pos = nd.high; pos < nd.end; ++pos) {
    const int32_t caseNumber = fastIndex[static_cast<size_t>(pos)];
    double sum = 0.0;
    if (RowSumWithin<Terms, kMixed>(Row(caseNumber), fastBound, sum)) FastOffer<W>(sum, caseNumber);
  }
}

template <class Terms, bool kMixed>
bool KNNKdTree::Impl::RowSumWithin(const double* x, double bound, double& sum) const {
  const int f = featureCount;
  const double* q = queryFeatures.data();
  const double* w = featureWeight.data();
  const int* col = featureColumn.data();
  const uint8_t* continuous = featureContinuous.data();
  sum = 0.0;
  // The bound is tested every fourth column: an early exit saves little on short rows and
  // its branch is hard to predict.
  for (int j = 0; j < f; ++j) {
    const double d = q[j] - x[col[j]];
    if (!kMixed || continuous[j]) {
      sum += Terms::Term(d, w[j]);
    } else if (d != 0.0) {
      sum += w[j] * 2.0;  // a category mismatch
    }
    if ((j & 3) == 3 && sum > bound) return false;
  }
  return !(sum > bound);
}

// A case whose sum is within the bound joins the list unless it is the query itself; equal
// sums keep their visiting order.
template <int W>
void KNNKdTree::Impl::FastOffer(double sum, int32_t caseNumber) {
  if (IsQueryItself(
          skipSelf, sum, queryId, [&] { return Row(caseNumber); }, caseIdColumn))
    return;
  fastBound = InsertInList<W>(fastSums.data(), fastCases.data(), fastCount, fastK, sum, caseNumber);
}

template <class Terms>
void KNNKdTree::Impl::FastVisitRoot(double rd) {
  if (fastCompact && wideScans) {
    if (mixed) {
      FastVisitWide<Terms, true>(0, rd);
    } else {
      FastVisitWide<Terms, false>(0, rd);
    }
  } else if (fastCompact) {
    if (mixed) {
      FastVisit<Terms, RowLayout::kCompact, true>(0, rd);
    } else {
      FastVisit<Terms, RowLayout::kCompact, false>(0, rd);
    }
  } else if (mixed) {
    FastVisit<Terms, RowLayout::kStore, true>(0, rd);
  } else {
    FastVisit<Terms, RowLayout::kStore, false>(0, rd);
  }
}

// The K + 1 nearest through the bucketed index. False when two of them are too close to
// tell from the walk's rounding; list is then untouched.
template <class Terms>
bool KNNKdTree::Impl::FastSearch(const double* query, int K, bool includeSelf, double scale,
                                 KNNNeighborList& list) {
  FastVisitRoot<Terms>(BeginFast<Terms>(query, K, includeSelf));
  return EndFast(K, scale, list);
}

template <class Terms>
double KNNKdTree::Impl::BeginFast(const double* query, int K, bool includeSelf) {
  fastK = K + 1;
  fastSums.assign(static_cast<size_t>(ListStride(K + 1)), HUGE_VAL);
  fastCases.resize(fastSums.size());
  fastCount = 0;
  fastBound = kNoBound;
  skipSelf = !includeSelf && caseIdColumn >= 0;
  queryId = skipSelf ? query[caseIdColumn] : 0.0;
  double rd = 0.0;
  for (int j = 0; j < featureCount; ++j) {
    const size_t p = static_cast<size_t>(j);
    const double q = query[featureColumn[p]];
    queryFeatures[p] = q;
    double term = 0.0;
    if (featureContinuous[p]) {
      if (q < fastLo[p]) {
        term = Terms::Term(q - fastLo[p], featureWeight[p]);
      } else if (q > fastHi[p]) {
        term = Terms::Term(q - fastHi[p], featureWeight[p]);
      }
    }
    cellTerms[p] = term;
    rd += term;
  }
  return rd;
}

bool KNNKdTree::Impl::EndFast(int K, double scale, KNNNeighborList& list) {
  const double* sums = fastSums.data();
  if (HasTie(sums, fastCount, TieTolerance(scale))) return false;
  const int32_t reported = std::min(fastCount, static_cast<int32_t>(K));
  for (int32_t i = 0; i < reported; ++i) {
    list.items[static_cast<size_t>(i)] =
        KNNNeighbor{sums[i], static_cast<int32_t>(fastCases[static_cast<size_t>(i)])};
  }
  list.count = reported;
  return true;
}

// The other cases' sums are formed as a leaf scan forms them (same terms, same column order),
// so the list orders them exactly as the whole tree's search would; offering them first
// starts the search with a bound that only the fold's nearest cases pass.
template <class Terms>
bool KNNKdTree::Impl::JoinedSearch(const double* query, int K, const int32_t* others,
                                   int32_t otherCount, double scale, KNNNeighborList& list) {
  const double rd = BeginFast<Terms>(query, K, false);
  for (int32_t i = 0; i < otherCount; ++i) {
    double sum = 0.0;
    // Unbounded: every one of them is offered, as the whole tree's scan would offer it.
    mixed ? RowSumWithin<Terms, true>(Row(others[i]), HUGE_VAL, sum)
          : RowSumWithin<Terms, false>(Row(others[i]), HUGE_VAL, sum);
    FastOffer<kLaneWidth>(sum, others[i]);
  }
  FastVisitRoot<Terms>(rd);
  return EndFast(K, scale, list);
}

// The first walk (or display) since the build indexes the same cases again and builds the
// one-case-per-leaf tree.
void KNNKdTree::Impl::EnsureCanonical() {
  if (!built || hasRoot) return;
  if (fastRows.size() * sizeof(double) > kKeepBothBytes) ReleaseCompactRows();
  IndexCases(lastFold);
  BuildTree();
}

template <class Terms>
bool KNNKdTree::Impl::CanonicalSearch(const double* query, bool includeSelf,
                                      KNNNeighborList& list) {
  EnsureCanonical();
  ++canonicalSearches;
  double rd = 0.0;
  if (!RootDistance<Terms>(query, rd)) return false;
  return mixed ? Search<Terms, true>(query, rd, includeSelf, list)
               : Search<Terms, false>(query, rd, includeSelf, list);
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
  const double* w = featureWeight.data();
  const int* col = featureColumn.data();
  const uint8_t* continuous = featureContinuous.data();
  const Node* tree = nodes.data();
  const bool skipOwn = !includeSelf && caseIdColumn >= 0;
  const double ownId = skipOwn ? query[caseIdColumn] : 0.0;
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
      const double wc = columnWeight[column];
      double te;
      double tb;
      if (!Terms::Squared(e, wc, te) || !Terms::Squared(b, wc, tb)) return false;
      // The bound never grows during a search, so a far cell that is out of reach now will
      // still be when its turn comes.
      const double farDistance = rd + te - tb;
      if (bound > farDistance) stack[top++] = PendingSearch{farChild, farDistance};
      node = tree + nearChild;
    }

    const int32_t end = node->leaf.begin + node->leaf.count;
    for (int32_t pos = node->leaf.begin; pos < end; ++pos) {
      const int32_t caseNumber = index[static_cast<size_t>(pos)];
      const double* x = Row(caseNumber);
      double sum = 0.0;
      int j = 0;
      for (; j < f; ++j) {
        const double d = query[col[j]] - x[col[j]];
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
      if (skipOwn && sum == 0.0 && ownId == Code(x[caseIdColumn])) continue;
      // Stable insertion: never passes an equal distance; the spare slot k takes the overflow.
      int32_t i = list.count;
      while (i > 0 && items[i - 1].distance > sum) {
        items[i] = items[i - 1];
        --i;
      }
      items[i] = KNNNeighbor{sum, caseNumber};
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
  return BuildCases(features, fold, false, weights);
}

VelCommon::VelStatus KNNKdTree::BuildFold(const KNNKdTree& whole, int fold) {
  weights_ = whole.weights_;
  return BuildCases(whole.impl_->builtFeatures, fold, true, nullptr);
}

VelCommon::VelStatus KNNKdTree::BuildCases(const std::vector<int>& features, int fold,
                                           bool foldOnly, const std::vector<double>* weights) {
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
  t.LocateRows();
  t.lastFold = fold;
  t.foldOnly = foldOnly;
  t.IndexCases(fold);
  pointCount_ = static_cast<int32_t>(t.index.size());
  t.PrepareFeatures();
  // The bucketed index is made by the first search or query ordering, for its K.
  t.fastIndex = t.index;
  t.fastNodes.clear();
  t.ReleaseCompactRows();
  t.fastPending = true;
  t.wideScans = WideLeafScans();
  // The walk's tree and its index are made when a search first needs them.
  t.ReleaseCanonical();
  t.builtFeatures = features;
  t.built = true;
  return status_;
}

bool KNNKdTree::IsBuiltOver(const std::vector<int>& features) const {
  const Impl& t = *impl_;
  return t.built && status_.IsOK() && t.lastFold == -1 && !t.foldOnly &&
         t.builtFeatures == features;
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
  t.lastExact = false;
  if (!t.built || query == nullptr) return list;

  bool ok = false;
  bool done = false;
  double scale = 0.0;
  if (t.fastUsable && !t.forceCanonical) t.EnsureFastIndex(K);
  if (t.fastUsable && !t.forceCanonical && t.FastScale(query, scale)) {
    done = t.euclidean ? t.FastSearch<EuclideanTerms>(query, K, includeSelf, scale, list)
                       : t.FastSearch<CityblockTerms>(query, K, includeSelf, scale, list);
    ok = done;
    t.lastExact = done;
  }
  if (!done) {
    list.count = 0;
    ok = t.euclidean ? t.CanonicalSearch<EuclideanTerms>(query, includeSelf, list)
                     : t.CanonicalSearch<CityblockTerms>(query, includeSelf, list);
  }
  if (!ok) {
    list.count = 0;
    return list;
  }
  for (int32_t i = 0; i < list.count; ++i) {
    KNNNeighbor& item = list.items[static_cast<size_t>(i)];
    item.distance = metric_->FinalDistance(item.distance, 1.0);
  }
  return list;
}

bool KNNKdTree::FindNearestJoined(const double* query, int K, const int32_t* others,
                                  int32_t otherCount, KNNKdTree& whole, KNNNeighborList& list) {
  Impl& t = *impl_;
  Impl& w = *whole.impl_;
  if (K < 1 || query == nullptr || list.items.size() < static_cast<size_t>(K) || !t.built ||
      !t.foldOnly || !w.built || t.forceCanonical || w.forceCanonical) {
    return false;
  }
  // The tolerance and the overflow checks are the whole tree's (its range of values).
  w.EnsureFastIndex(K);
  t.EnsureFastIndex(K);
  double scale = 0.0;
  if (!t.fastUsable || !w.fastUsable || !w.FastScale(query, scale)) return false;
  const bool ok = t.euclidean
                      ? t.JoinedSearch<EuclideanTerms>(query, K, others, otherCount, scale, list)
                      : t.JoinedSearch<CityblockTerms>(query, K, others, otherCount, scale, list);
  if (!ok) return false;
  for (int32_t i = 0; i < list.count; ++i) {
    KNNNeighbor& item = list.items[static_cast<size_t>(i)];
    item.distance = metric_->FinalDistance(item.distance, 1.0);
  }
  return true;
}

bool KNNKdTree::LastAnswerExact() const {
  return impl_->lastExact;
}

void KNNKdTree::PlanSearches(int K) {
  Impl& t = *impl_;
  t.plannedK = K;
  if (t.built && t.fastUsable && !t.forceCanonical) t.EnsureFastIndex(K);
}

void KNNKdTree::QueryOrder(const std::vector<const double*>& rows, std::vector<int32_t>& order) {
  Impl& t = *impl_;
  if (t.built && t.fastUsable) t.EnsureFastIndex(t.plannedK);
  const int32_t count = static_cast<int32_t>(rows.size());
  order.resize(rows.size());
  if (!t.built || !t.fastUsable || t.fastNodes.empty()) {
    for (int32_t i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
    return;
  }
  // A pass over every stored case, in store order, of a tree holding them all: the build's
  // own order is the tree's case order.
  const std::vector<double*>& stored = t.data.caseRows;
  if (rows.size() == stored.size() && t.fastIndex.size() == stored.size() &&
      std::equal(rows.begin(), rows.end(), stored.begin())) {
    order = t.fastIndex;
    return;
  }
  // The leaf each query descends to, by the search's own near-child rule; leaves are
  // numbered by their first position, so sorting by it follows the tree's case order.
  std::vector<std::pair<int32_t, int32_t>> keyed(rows.size());
  for (int32_t i = 0; i < count; ++i) {
    const double* query = rows[static_cast<size_t>(i)];
    int32_t node = 0;
    for (;;) {
      const Impl::FastNode& nd = t.fastNodes[static_cast<size_t>(node)];
      if (nd.position < 0) break;
      const double q = query[t.featureColumn[static_cast<size_t>(nd.position)]];
      node = (q - nd.lowMax) + (q - nd.highMin) < 0.0 ? node + 1 : nd.high;
    }
    keyed[static_cast<size_t>(i)] = {t.fastNodes[static_cast<size_t>(node)].high, i};
  }
  std::sort(keyed.begin(), keyed.end());
  for (int32_t i = 0; i < count; ++i)
    order[static_cast<size_t>(i)] = keyed[static_cast<size_t>(i)].second;
}

void KNNKdTree::Clear() {
  Impl& t = *impl_;
  t.fastPending = false;
  t.ReleaseCanonical();
  t.built = false;
  t.fastIndex.clear();
  t.fastNodes.clear();
  t.ReleaseCompactRows();
  pointCount_ = 0;
}

void KNNKdTree::ForceCanonicalWalk(bool on) {
  impl_->forceCanonical = on;
}

long long KNNKdTree::CanonicalWalkSearches() const {
  return impl_->canonicalSearches;
}

size_t KNNKdTree::MemoryBytes() const {
  const Impl& t = *impl_;
  return t.index.capacity() * sizeof(int32_t) + t.nodes.capacity() * sizeof(Impl::Node) +
         t.fastIndex.capacity() * sizeof(int32_t) + t.fastRows.capacity() * sizeof(double) +
         t.fastBoxes.capacity() * sizeof(float) + t.fastNodes.capacity() * sizeof(Impl::FastNode) +
         t.pendingSearches.capacity() * sizeof(Impl::PendingSearch) +
         t.savedBounds.capacity() * sizeof(Impl::Bound) +
         t.pendingBuilds.capacity() * sizeof(Impl::PendingBuild) +
         t.bounds.capacity() * sizeof(Impl::Bound);
}

void KNNKdTree::Dump() {
  impl_->EnsureCanonical();
  if (impl_->hasRoot) impl_->Dump(0);
}

void KNNKdTree::DisplayPoints() {
  impl_->EnsureCanonical();
  for (int32_t caseNumber : impl_->index) {
    VelComponentDisplay::DisplayDV("one point", impl_->Row(caseNumber), impl_->dimension);
  }
}

void KNNKdTree::DisplayTree(const char* nullText) {
  impl_->EnsureCanonical();
  VelComponentDisplay::DisplayText("Tree status");
  if (impl_->hasRoot) {
    impl_->Print(0, 0, 0);
  } else {
    VelComponentDisplay::DisplayText(nullText);
  }
}

void KNNKdTree::DisplayDescription() {
  impl_->EnsureCanonical();
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

void KNNKdTree::DisplayPoints(const char* heading) {
  VelComponentDisplay::DisplayText(heading);
  DisplayPoints();
  VelComponentDisplay::DisplayText("Points display end");
}

void KNNKdTree::DisplayAll() {
  DisplayPoints("Display all used points");
  DisplayDescription();
  DisplayTree("  Null tree.");
}

void KNNKdTree::Display(bool showPoints) {
  if (showPoints) DisplayPoints("All used points");
  DisplayDescription();
  DisplayTree("  Null tree.");
}

void KNNKdTree::DisplayStatus(bool showPoints) {
  if (showPoints) DisplayPoints("All used points");
  DisplayTree("    Null tree.");
}
