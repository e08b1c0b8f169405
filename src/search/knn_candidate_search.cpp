#include "search/knn_candidate_search.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "search/knn_bucket_tree.h"
#include "search/knn_search_kernel.h"

// One bucketed tree over the base columns answers every candidate list. A case's sum under
// base + c is formed as the KD-tree forms it, term by term in column order with c's term
// last, so it is bit-identical to that tree's; the base terms of a group of cases are summed
// once and each candidate adds its own term. Cells are pruned against the largest of the
// candidates' current (K + 1)-th sums (a base sum never exceeds any candidate's sum), and a
// leaf is scanned for a candidate only when its box, widened by the candidate's column, is
// within that candidate's bound. Both tests keep the margin of the KD-tree's bucketed
// index, so each candidate's K + 1 smallest sums are found exactly; the tie test that hands
// a KD-tree search to its canonical walk then hands the case back to the caller.

using namespace knn_search_kernel;

namespace {

// Leaves are larger than the KD-tree's: a leaf's bounds are tested once for every candidate,
// and most of its groups are then passed by with one test each, so fewer, larger leaves
// cost less (measured by bench/candidate_search_bench over 16 to 128).
constexpr int32_t kLeafSize = 64;
constexpr int kMaxDepth = 200;

}  // namespace

struct KNNCandidateSearch::Impl {
  using Node = BucketNode;  // box: the leaf's number, for its boxes

  explicit Impl(const KNNDataPreparation& store)
      : data(store),
        euclidean(store.settings->DistMetric == 0),
        caseIdColumn(store.settings->CaseIDVariable) {}

  const double* Row(int32_t caseNumber) const {
    return data.caseRows[static_cast<size_t>(caseNumber)];
  }
  double Scale(int position) const {
    const double w = weight[static_cast<size_t>(position)];
    return euclidean ? std::sqrt(w) : w;
  }

  bool SetFeatures(const std::vector<int>& base, const std::vector<int>& candidates,
                   const std::vector<double>& columnWeights);
  void CopyLeaves();

  template <class Terms>
  void Search(int32_t caseNumber, int K, KNNNeighbor* found, size_t stride, int32_t* counts,
              size_t countStride);
  // One node of a search: Visit with the baseline vectors, VisitWide with the wide ones;
  // both run VisitBody, which recurses through them.
  template <class Terms, bool kMixed>
  void Visit(int32_t node, double rd);
  template <class Terms, bool kMixed>
  [[gnu::target(KNN_WIDE_TARGET)]] void VisitWide(int32_t node, double rd);
  template <class Terms, bool kMixed, int W>
  [[gnu::always_inline]] inline void VisitBody(int32_t node, double rd);
  template <class Terms, bool kMixed, int W>
  [[gnu::always_inline]] inline void ScanLeaf(const Node& leaf);
  // W: the width of the leaf scan offering (the wide one can insert in wide vectors).
  template <int W>
  [[gnu::always_inline]] inline void Offer(int c, double sum, int32_t caseNumber);
  template <class Terms>
  void Merge(int c);
  bool AddScale(int position, double q, double& scale) const;

  const KNNDataPreparation& data;
  const bool euclidean;
  const int caseIdColumn;

  // Feature positions: the base features (b), then the candidates (r).
  int b = 0;
  int r = 0;
  int rPadded = 0;  // r rounded up to whole groups of kLanes (padding: never within a bound)
  int width = 0;
  int baseStride = 0;  // b rounded up to whole vectors
  bool mixed = false;  // a categorical base feature
  bool wide = false;   // leaf scans in wide vectors (taken at each build)
  std::vector<int> column;
  std::vector<double> weight;
  std::vector<uint8_t> continuous;
  std::vector<double> rangeLo;  // per position: the stored cases' range (continuous only)
  std::vector<double> rangeHi;
  std::vector<double> baseWeight;  // baseStride entries, zero beyond b

  std::vector<int32_t> order;  // case numbers, permuted by the build
  // Without base features: per candidate, the values in order, their case numbers and each
  // case's rank.
  std::vector<double> sortedValues;
  std::vector<int32_t> sorted;
  std::vector<int32_t> rank;
  std::vector<Node> nodes;
  std::vector<double> cellLo;  // build scratch: the current node's cell per base position
  std::vector<double> cellHi;
  // Per leaf [begin, end): width columns of end - begin values at begin * width.
  std::vector<double> rows;
  // Per leaf: lowest then highest value of each base position (baseStride each, padding
  // unbounded), and of each candidate (r each), rounded outwards to float.
  std::vector<float> baseBoxes;
  std::vector<float> candidateBoxes;

  // Per search.
  std::vector<double> queryBase;  // baseStride entries, zero beyond b
  std::vector<double> queryCandidate;
  std::vector<double> cellTerms;
  // Per candidate: its list, slots + 1 sums (the last a spare; +inf while unfilled) and
  // their cases.
  std::vector<double> listSums;
  std::vector<int64_t> listCases;
  int32_t listStride = 0;  // ListStride(slots)
  std::vector<int32_t> count;
  // Per candidate: its (K + 1)-th sum, or at most the reach of a tie with its K-th
  // (TieReach), or kNoBound.
  std::vector<double> bound;
  std::vector<double> tieTolerance;     // per candidate: the tie test's; +inf when none
  std::vector<double> candidateWeight;  // rPadded entries, zero beyond r
  std::vector<double> leafNeed;  // per leaf scan: what each candidate's sums there are at least
  int32_t slots = 0;             // K + 1
  int32_t current = 0;           // the case searched for
  double widestBound = kNoBound;
  bool skipSelf = false;
  double queryId = 0.0;
};

bool KNNCandidateSearch::Impl::SetFeatures(const std::vector<int>& base,
                                           const std::vector<int>& candidates,
                                           const std::vector<double>& columnWeights) {
  b = static_cast<int>(base.size());
  r = static_cast<int>(candidates.size());
  width = b + r;
  baseStride = (b + kLaneWidth - 1) / kLaneWidth * kLaneWidth;
  column.clear();
  weight.clear();
  continuous.clear();
  mixed = false;
  bool anyContinuousBase = false;
  for (int i = 0; i < width; ++i) {
    const int feature =
        i < b ? base[static_cast<size_t>(i)] : candidates[static_cast<size_t>(i - b)];
    if (feature < 0 || static_cast<size_t>(feature) >= data.variableKinds.size()) return false;
    const auto [c, kind] = data.variableKinds[static_cast<size_t>(feature)];
    if (c < 0 || c >= data.rowWidth || static_cast<size_t>(c) >= columnWeights.size()) {
      return false;
    }
    const double w = columnWeights[static_cast<size_t>(c)];
    if (!(w >= 0.0 && w <= DBL_MAX)) return false;
    column.push_back(c);
    weight.push_back(w);
    continuous.push_back(kind == 1 ? 1 : 0);
    if (i < b && kind == 1) anyContinuousBase = true;
    if (i < b && kind != 1) mixed = true;
  }
  // Without base features every candidate is searched alone, in value order.
  const bool allContinuous =
      std::all_of(continuous.begin(), continuous.end(), [](uint8_t kind) { return kind != 0; });
  if (b > 0 ? !anyContinuousBase : !allContinuous) return false;
  rPadded = (r + kLanes - 1) / kLanes * kLanes;
  candidateWeight.assign(static_cast<size_t>(rPadded), 0.0);
  std::copy(weight.begin() + b, weight.end(), candidateWeight.begin());
  baseWeight.assign(static_cast<size_t>(baseStride), 0.0);
  std::copy(weight.begin(), weight.begin() + b, baseWeight.begin());
  return true;
}

void KNNCandidateSearch::Impl::CopyLeaves() {
  const size_t f = static_cast<size_t>(width);
  const size_t bs = static_cast<size_t>(baseStride);
  const size_t rc = static_cast<size_t>(rPadded);
  rows.assign(order.size() * f + kLanes, 0.0);
  size_t leaves = 0;
  for (const Node& node : nodes) leaves += node.position < 0 ? 1 : 0;
  baseBoxes.assign(leaves * 2 * bs, 0.0F);
  candidateBoxes.assign(leaves * 2 * rc, 0.0F);
  int32_t leaf = 0;
  for (Node& node : nodes) {
    if (node.position >= 0) continue;
    const size_t begin = static_cast<size_t>(node.high);
    const size_t m = static_cast<size_t>(node.end - node.high);
    double* block = rows.data() + begin * f;
    CopyLeaf(block, order.data() + begin, m, column.data(), f,
             [this](int32_t caseNumber) { return Row(caseNumber); });
    node.box = leaf;
    float* lo = baseBoxes.data() + static_cast<size_t>(leaf) * 2 * bs;
    for (size_t j = 0; j < bs; ++j) {
      StoreBox(block + j * m, m, j < static_cast<size_t>(b) && continuous[j] != 0, lo[j],
               lo[bs + j]);
    }
    lo = candidateBoxes.data() + static_cast<size_t>(leaf) * 2 * rc;
    for (size_t c = 0; c < static_cast<size_t>(r); ++c) {
      const size_t j = static_cast<size_t>(b) + c;
      StoreBox(block + j * m, m, continuous[j] != 0, lo[c], lo[rc + c]);
    }
    ++leaf;
  }
}

template <class Terms, bool kMixed>
void KNNCandidateSearch::Impl::Visit(int32_t node, double rd) {
  VisitBody<Terms, kMixed, kLaneWidth>(node, rd);
}

template <class Terms, bool kMixed>
void KNNCandidateSearch::Impl::VisitWide(int32_t node, double rd) {
  VisitBody<Terms, kMixed, kWideWidth>(node, rd);
}

template <class Terms, bool kMixed, int W>
void KNNCandidateSearch::Impl::VisitBody(int32_t node, double rd) {
  const auto visit = [this](int32_t child, double distance) {
    if constexpr (W == kLaneWidth) {
      Visit<Terms, kMixed>(child, distance);
    } else {
      VisitWide<Terms, kMixed>(child, distance);
    }
  };
  const Node& nd = nodes[static_cast<size_t>(node)];
  if (nd.position < 0) {
    ScanLeaf<Terms, kMixed, W>(nd);
    return;
  }
  const size_t p = static_cast<size_t>(nd.position);
  const SplitStep step = StepAt<Terms>(nd, node, queryBase[p], weight[p]);
  visit(step.nearChild, rd);
  const double old = cellTerms[p];
  const double farDistance = rd + (step.farTerm - old);
  if (farDistance * (1.0 - kPruneMargin) <= widestBound) {
    cellTerms[p] = step.farTerm;
    visit(step.farChild, farDistance);
    cellTerms[p] = old;
  }
}

template <class Terms, bool kMixed, int W>
void KNNCandidateSearch::Impl::ScanLeaf(const Node& leaf) {
  const size_t bs = static_cast<size_t>(baseStride);
  const double* q = queryBase.data();
  const double* w = weight.data();
  const float* lo = baseBoxes.data() + static_cast<size_t>(leaf.box) * 2 * bs;
  const double baseReach = BoxDistance<Terms>(lo, lo + bs, q, baseWeight.data(), bs);
  if (baseReach * (1.0 - kPruneMargin) > widestBound) return;
  // What each candidate's sums in this leaf are at least (its box, widened by the candidate's
  // column), in vectors of candidates; a leaf within no candidate's bound holds none.
  const size_t rp = static_cast<size_t>(rPadded);
  const float* clo = candidateBoxes.data() + static_cast<size_t>(leaf.box) * 2 * rp;
  using V = typename VectorOf<W>::type;
  constexpr int kVectors = kLanes / W;
  const V reach = Broadcast<V>(baseReach);
  const V keep = Broadcast<V>(1.0 - kPruneMargin);
  // (The arrays' addresses are held here: the lists' stores could otherwise change them, to
  // the compiler's knowledge, and each use would read them again.)
  double* need = leafNeed.data();
  const double* bounds = bound.data();
  const double* qCandidate = queryCandidate.data();
  unsigned anyWithin = 0;
  for (size_t c = 0; c < rp; c += W) {
    const V qc = LoadLanes<V>(qCandidate + c);
    const V gap = Max(Max(LoadWidened<V>(clo + c) - qc, qc - LoadWidened<V>(clo + rp + c)), V{});
    const V least = (reach + Terms::Term(gap, LoadLanes<V>(candidateWeight.data() + c))) * keep;
    std::memcpy(need + c, &least, sizeof least);
    anyWithin |= SignBits(least <= LoadLanes<V>(bounds + c));
  }
  if (anyWithin == 0) return;

  const int32_t m = leaf.end - leaf.high;
  const double* block = rows.data() + static_cast<size_t>(leaf.high) * static_cast<size_t>(width);
  const uint8_t* kind = continuous.data();
  const int32_t* leafCases = order.data() + leaf.high;
  const double widest = widestBound;
  bool offered = false;
  for (int32_t group = 0; group < m; group += kLanes) {
    // The base sums of kLanes cases, in column order, exactly as the KD-tree's leaf scan;
    // each candidate's column starts b columns further on.
    V sums[kVectors];
    GroupSums<Terms, kMixed>(sums, block + group, m, b, q, w, kind);
    // A candidate is scanned in this group when its leaf bound and the group's smallest base
    // sum are both within its bound; kLanes candidates are tested at a time. Most groups of a
    // scanned leaf lie beyond every bound (no candidate's sum can be smaller than the base
    // sum): one test of the widest bound passes them by.
    if (WithinBits(sums, widest) == 0) continue;
    const V lowest = Broadcast<V>(Lowest(sums));
    const double* values = block + group + static_cast<size_t>(b) * static_cast<size_t>(m);
    const unsigned lanes = LanesBelow(m - group);
    const int32_t* cases = leafCases + group;
    for (size_t first = 0; first < rp; first += kLanes) {
      unsigned scanned = 0;
      for (int v = 0; v < kVectors; ++v) {
        const size_t c = first + static_cast<size_t>(v * W);
        const V least = Max(lowest, LoadLanes<V>(need + c));
        scanned |= SignBits(least <= LoadLanes<V>(bounds + c)) << (v * W);
      }
      while (scanned != 0) {
        const size_t c = first + static_cast<size_t>(std::countr_zero(scanned));
        scanned &= scanned - 1;
        const size_t j = static_cast<size_t>(b) + c;
        const double* cv = values + c * static_cast<size_t>(m);
        const V qc = LoadBroadcast<V>(qCandidate + c);
        V total[kVectors];
        if (kind[j]) {
          const V wc = LoadBroadcast<V>(w + j);
          for (int v = 0; v < kVectors; ++v) {
            total[v] = sums[v] + Terms::Term(qc - LoadLanes<V>(cv + v * W), wc);
          }
        } else {
          const V mismatch = Broadcast<V>(w[j] * 2.0);
          for (int v = 0; v < kVectors; ++v) {
            total[v] = sums[v] + (qc != LoadLanes<V>(cv + v * W) ? mismatch : V{});
          }
        }
        unsigned bits = WithinBits(total, bounds[c]) & lanes;
        while (bits != 0) {
          const int i = std::countr_zero(bits);
          bits &= bits - 1;
          const double sum = total[i / W][i % W];
          // The bound may have shrunk with this group's earlier offers.
          if (sum > bounds[c]) continue;
          Offer<W>(static_cast<int>(c), sum, cases[i]);
          offered = true;
        }
      }
    }
  }
  if (offered) widestBound = *std::max_element(bound.begin(), bound.begin() + r);
}

// As the KD-tree's bucketed search offers: the query itself is skipped, equal sums keep
// their visiting order.
template <int W>
void KNNCandidateSearch::Impl::Offer(int c, double sum, int32_t caseNumber) {
  if (IsQueryItself(
          skipSelf, sum, queryId, [&] { return Row(caseNumber); }, caseIdColumn))
    return;
  const size_t cs = static_cast<size_t>(c);
  const size_t at = cs * static_cast<size_t>(listStride);
  double* sums = listSums.data() + at;
  double reach = InsertInList<W>(sums, listCases.data() + at, count[cs], slots, sum, caseNumber);
  if (count[cs] >= slots - 1) reach = std::min(reach, TieReach(sums[slots - 2], tieTolerance[cs]));
  bound[cs] = reach;
}

// Without base features each list has one column: its nearest cases are the query's
// neighbours in value order, taken outwards from the query's own rank by the smaller sum
// (sums grow monotonically on each side, so the K + 1 taken are the K + 1 smallest).
template <class Terms>
void KNNCandidateSearch::Impl::Merge(int c) {
  const size_t n = order.size();
  const size_t cs = static_cast<size_t>(c);
  const int32_t* byValue = sorted.data() + cs * n;
  const double* values = sortedValues.data() + cs * n;
  const double w = weight[cs];
  const double q = queryCandidate[cs];
  const auto sumOf = [&](int64_t position) {
    // Formed as the trees form a one-column sum: 0 plus the term.
    return 0.0 + Terms::Term(q - values[position], w);
  };
  // The sums come in order, so each one taken goes to the end of the list.
  const size_t at = cs * static_cast<size_t>(listStride);
  const auto take = [&](double sum, int32_t caseNumber) {
    if (IsQueryItself(
            skipSelf, sum, queryId, [&] { return Row(caseNumber); }, caseIdColumn))
      return;
    listSums[at + static_cast<size_t>(count[cs])] = sum;
    listCases[at + static_cast<size_t>(count[cs])] = caseNumber;
    ++count[cs];
  };
  int64_t left = static_cast<int64_t>(rank[cs * n + static_cast<size_t>(current)]) - 1;
  int64_t right = left + 1;
  const auto size = static_cast<int64_t>(n);
  while (count[cs] < slots && (left >= 0 || right < size)) {
    const double toLeft = left >= 0 ? sumOf(left) : HUGE_VAL;
    const double toRight = right < size ? sumOf(right) : HUGE_VAL;
    if (right < size && (left < 0 || toRight <= toLeft)) {
      take(toRight, byValue[right++]);
    } else {
      take(toLeft, byValue[left--]);
    }
  }
}

// One feature's share of the largest sum a case can reach, as the KD-tree's bucketed index
// forms it for its tie tolerance; false when it could come near overflow.
bool KNNCandidateSearch::Impl::AddScale(int position, double q, double& scale) const {
  const size_t p = static_cast<size_t>(position);
  const double w = weight[p];
  if (!continuous[p]) {
    scale += 2.0 * w;
    return true;
  }
  const double reach = std::max(std::fabs(q - rangeLo[p]), std::fabs(q - rangeHi[p])) +
                       std::max(std::fabs(rangeLo[p]), std::fabs(rangeHi[p]));
  const double magnitude = euclidean ? reach * reach : reach;
  if (!(magnitude <= kLargestSum)) return false;
  scale += w * magnitude;
  return true;
}

template <class Terms>
void KNNCandidateSearch::Impl::Search(int32_t caseNumber, int K, KNNNeighbor* found, size_t stride,
                                      int32_t* counts, size_t countStride) {
  const double* query = Row(caseNumber);
  current = caseNumber;
  slots = K + 1;
  listStride = ListStride(slots);
  listSums.assign(static_cast<size_t>(r) * static_cast<size_t>(listStride), HUGE_VAL);
  listCases.resize(listSums.size());
  count.assign(static_cast<size_t>(r), 0);
  bound.assign(static_cast<size_t>(rPadded), -HUGE_VAL);
  std::fill(bound.begin(), bound.begin() + r, kNoBound);
  widestBound = kNoBound;
  skipSelf = caseIdColumn >= 0;
  queryId = skipSelf ? query[caseIdColumn] : 0.0;

  double baseScale = 0.0;
  bool baseScaled = true;
  double rd = 0.0;
  for (int j = 0; j < b; ++j) {
    const size_t p = static_cast<size_t>(j);
    const double q = query[column[p]];
    queryBase[p] = q;
    baseScaled = baseScaled && AddScale(j, q, baseScale);
    double term = 0.0;
    if (continuous[p]) {
      if (q < rangeLo[p]) {
        term = Terms::Term(q - rangeLo[p], weight[p]);
      } else if (q > rangeHi[p]) {
        term = Terms::Term(q - rangeHi[p], weight[p]);
      }
    }
    cellTerms[p] = term;
    rd += term;
  }
  for (int c = 0; c < r; ++c) {
    queryCandidate[static_cast<size_t>(c)] = query[column[static_cast<size_t>(b + c)]];
  }
  if (!baseScaled) {
    for (int c = 0; c < r; ++c) counts[static_cast<size_t>(c) * countStride] = -1;
    return;
  }
  tieTolerance.resize(static_cast<size_t>(r));
  for (int c = 0; c < r; ++c) {
    const size_t cs = static_cast<size_t>(c);
    double scale = baseScale;
    tieTolerance[cs] = AddScale(b + c, queryCandidate[cs], scale) && scale <= kLargestSum
                           ? TieTolerance(scale)
                           : HUGE_VAL;
  }
  if (b == 0) {
    for (int c = 0; c < r; ++c) Merge<Terms>(c);
  } else if (wide) {
    mixed ? VisitWide<Terms, true>(0, rd) : VisitWide<Terms, false>(0, rd);
  } else {
    mixed ? Visit<Terms, true>(0, rd) : Visit<Terms, false>(0, rd);
  }

  for (int c = 0; c < r; ++c) {
    const size_t cs = static_cast<size_t>(c);
    const size_t at = cs * static_cast<size_t>(listStride);
    const double* sums = listSums.data() + at;
    // Sums that could come near overflow (no tolerance) or a tie: not answered here.
    const double tolerance = tieTolerance[cs];
    if (tolerance == HUGE_VAL || HasTie(sums, count[cs], tolerance)) {
      counts[static_cast<size_t>(c) * countStride] = -1;
      continue;
    }
    const int32_t reported = std::min(count[cs], static_cast<int32_t>(K));
    KNNNeighbor* out = found + cs * stride;
    for (int32_t i = 0; i < reported; ++i) {
      out[i] = KNNNeighbor{euclidean ? std::sqrt(sums[i]) : sums[i],
                           static_cast<int32_t>(listCases[at + size_t(i)])};
    }
    counts[static_cast<size_t>(c) * countStride] = reported;
  }
}

KNNCandidateSearch::KNNCandidateSearch(const KNNDataPreparation& store)
    : impl_(std::make_unique<Impl>(store)) {}

KNNCandidateSearch::~KNNCandidateSearch() = default;

bool KNNCandidateSearch::Build(const std::vector<int>& base, const std::vector<int>& candidates,
                               const std::vector<double>& columnWeights) {
  Impl& t = *impl_;
  t.nodes.clear();
  t.order.clear();
  const size_t n = t.data.caseRows.size();
  if (n == 0 || n > static_cast<size_t>(INT32_MAX) || candidates.empty() ||
      !t.SetFeatures(base, candidates, columnWeights)) {
    return false;
  }
  const size_t f = static_cast<size_t>(t.width);
  t.rangeLo.assign(f, 0.0);
  t.rangeHi.assign(f, 0.0);
  for (size_t j = 0; j < f; ++j) {
    if (!t.continuous[j]) continue;
    double lo = t.Row(0)[t.column[j]];
    double hi = lo;
    for (size_t i = 1; i < n; ++i) {
      const double x = t.Row(static_cast<int32_t>(i))[t.column[j]];
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    t.rangeLo[j] = lo;
    t.rangeHi[j] = hi;
  }
  t.order.resize(n);
  for (size_t i = 0; i < n; ++i) t.order[i] = static_cast<int32_t>(i);
  t.wide = WideLeafScans();
  t.queryBase.assign(static_cast<size_t>(t.baseStride), 0.0);
  t.queryCandidate.assign(static_cast<size_t>(t.rPadded), 0.0);
  t.leafNeed.assign(static_cast<size_t>(t.rPadded), 0.0);
  t.cellTerms.assign(static_cast<size_t>(t.b), 0.0);
  if (t.b == 0) {
    for (size_t j = 0; j < f; ++j) {  // the value order needs comparable values
      for (size_t i = 0; i < n; ++i) {
        if (std::isnan(t.Row(static_cast<int32_t>(i))[t.column[j]])) return false;
      }
    }
    const size_t r = static_cast<size_t>(t.r);
    t.sortedValues.resize(n * r);
    t.sorted.resize(n * r);
    t.rank.resize(n * r);
    std::vector<std::pair<double, int32_t>> pairs(n);
    for (size_t c = 0; c < r; ++c) {
      for (size_t i = 0; i < n; ++i) {
        pairs[i] = {t.Row(static_cast<int32_t>(i))[t.column[c]], static_cast<int32_t>(i)};
      }
      std::sort(pairs.begin(), pairs.end());
      for (size_t i = 0; i < n; ++i) {
        t.sortedValues[c * n + i] = pairs[i].first;
        t.sorted[c * n + i] = pairs[i].second;
        t.rank[c * n + static_cast<size_t>(pairs[i].second)] = static_cast<int32_t>(i);
      }
    }
    return true;
  }
  t.cellLo.assign(t.rangeLo.begin(), t.rangeLo.begin() + t.b);
  t.cellHi.assign(t.rangeHi.begin(), t.rangeHi.begin() + t.b);
  std::vector<double> scale(static_cast<size_t>(t.b));
  for (int j = 0; j < t.b; ++j) scale[static_cast<size_t>(j)] = t.Scale(j);
  const BucketColumns cut{t.b, t.column.data(), scale.data(), t.continuous.data()};
  t.nodes.reserve(4 * (n / static_cast<size_t>(kLeafSize)) + 1);
  BuildBucketNode(t.nodes, t.order.data(), 0, static_cast<int32_t>(n), 0, kLeafSize, kMaxDepth, cut,
                  t.cellLo, t.cellHi, [&t](int32_t caseNumber) { return t.Row(caseNumber); });
  t.CopyLeaves();
  return true;
}

const std::vector<int32_t>& KNNCandidateSearch::CaseOrder() const {
  return impl_->order;
}

void KNNCandidateSearch::Search(int32_t caseNumber, int K, KNNNeighbor* found, size_t stride,
                                int32_t* counts, size_t countStride) {
  Impl& t = *impl_;
  if (t.euclidean) {
    t.Search<EuclideanTerms>(caseNumber, K, found, stride, counts, countStride);
  } else {
    t.Search<CityblockTerms>(caseNumber, K, found, stride, counts, countStride);
  }
}

size_t KNNCandidateSearch::BytesFor(size_t n, size_t b, size_t c) {
  // The leaf copy, the permutation and about two nodes and two boxes per leaf.
  const size_t leaves = n / (kLeafSize / 2) + 1;
  return n * (b + c) * sizeof(double) + n * sizeof(int32_t) +
         leaves * (2 * sizeof(BucketNode) + 2 * (b + c + kLanes + kLaneWidth) * sizeof(float));
}
