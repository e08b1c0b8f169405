#include "model/knn_candidate_evaluation.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "boundary/status_codes.h"
#include "search/knn_candidate_search.h"

namespace {

// What one shared pass may hold: the search's index and every candidate's answers.
constexpr size_t kPassBytes = size_t{64} << 20;

// Stop requests are looked at this often during the searches of a pass.
constexpr size_t kStopCheckInterval = 256;

// How many searches ahead a case's row and answer slots are asked for.
constexpr size_t kPrefetchAhead = 4;

}  // namespace

VelCommon::VelStatus KNNPassError(const VelCommon::VelStatus& scored,
                                  const KNNPredictionFactory& factory, double& error) {
  if (scored.GetErrorCode() == KNNStatus::kSquaredErrorFailed) {
    return KNNStatus::Error(KNNStatus::kFeatureSelectionError);
  }
  if (scored.IsError()) return scored;
  const std::vector<double> errors = factory.GetErrors();
  if (errors.empty()) return KNNStatus::Error(KNNStatus::kNoPredictionObject);
  error = errors[0];
  return scored;
}

KNNCandidateEvaluation::KNNCandidateEvaluation(KNNSingleResponseModel& model,
                                               KNNPredictionFactory& factory,
                                               const std::vector<int>& base, int32_t K,
                                               KNNCandidateAnswers& answers)
    : model_(model),
      factory_(factory),
      base_(base),
      K_(K),
      found_(answers.found),
      counts_(answers.counts) {}

size_t KNNCandidateEvaluation::GroupSize(size_t remaining) const {
  const size_t n = model_.GetDataPreparation()->caseRows.size();
  if (K_ < 1 || n == 0) return 0;
  const size_t perCandidate = n * (static_cast<size_t>(K_) * sizeof(KNNNeighbor) + sizeof(int32_t));
  size_t group = 0;
  while (group < remaining &&
         KNNCandidateSearch::BytesFor(n, base_.size(), group + 1) + (group + 1) * perCandidate <=
             kPassBytes) {
    ++group;
  }
  return group >= 2 ? group : 0;
}

VelCommon::VelStatus KNNCandidateEvaluation::Evaluate(const std::vector<int>& group,
                                                      std::vector<double>& errors,
                                                      bool& applicable) {
  KNNDataPreparation& store = *model_.GetDataPreparation();
  const KNNCaseRows& rows = store.caseRows;
  const size_t n = rows.size();
  const size_t r = group.size();
  applicable = false;
  group_.clear();
  if (K_ < 1 || n == 0 || r == 0) return VelCommon::VelStatus();
  // The weights the tree would search base + c with (a build without weights keeps them).
  const std::vector<double>& weights = model_.GetTree()->Weights();
  {
    KNNCandidateSearch search(store);
    if (!search.Build(base_, group, weights)) return VelCommon::VelStatus();
    applicable = true;
    group_ = group;
    const size_t k = static_cast<size_t>(K_);
    found_.resize(r * n * k);
    counts_.resize(r * n);
    KNNStopControl* stop = factory_.StopControl();
    const std::vector<int32_t>& order = search.CaseOrder();
    const size_t rowBytes = static_cast<size_t>(store.rowWidth) * sizeof(double);
    for (size_t i = 0; i < order.size(); ++i) {
      if (stop != nullptr && i % kStopCheckInterval == 0 && stop->ShouldStop()) {
        return KNNStatus::Error(KNNStatus::kInterrupted);
      }
      const auto caseNumber = static_cast<size_t>(order[i]);
      if (i + kPrefetchAhead < order.size()) {
        // A case a few searches ahead: its row and where its answers go are scattered in
        // memory (the search order is the tree's, not the cases').
        const auto ahead = static_cast<size_t>(order[i + kPrefetchAhead]);
        const char* row = reinterpret_cast<const char*>(rows[ahead]);
        for (size_t line = 0; line < rowBytes; line += 64) __builtin_prefetch(row + line);
        for (size_t c = 0; c < r; ++c) {
          __builtin_prefetch(found_.data() + (c * n + ahead) * k, 1);
          __builtin_prefetch(counts_.data() + c * n + ahead, 1);
        }
      }
      // One candidate's answers lie together, in case order, as scoring reads them.
      search.Search(order[i], K_, found_.data() + caseNumber * k, n * k,
                    counts_.data() + caseNumber, n);
    }
  }
  for (size_t c = 0; c < r; ++c) {
    KNNNeighbor* found = found_.data() + c * n * static_cast<size_t>(K_);
    int32_t* counts = counts_.data() + c * n;
    VelCommon::VelStatus s = AnswerDeferred(group[c], found, counts);
    if (s.IsError()) return s;
    double error = 0.0;
    s = KNNPassError(factory_.ScoreFound(rows, found, counts, static_cast<size_t>(K_), K_),
                     factory_, error);
    if (s.IsError()) return s;
    errors.push_back(error);
  }
  return VelCommon::VelStatus();
}

void KNNCandidateEvaluation::KeepAnswersOf(size_t index) {
  const size_t n = model_.GetDataPreparation()->caseRows.size();
  const auto k = static_cast<size_t>(K_);
  if (index >= group_.size() || counts_.size() < (index + 1) * n) return;
  if (n * (k * sizeof(KNNNeighbor) + sizeof(int32_t)) > kPassBytes) return;
  KNNKeptAnswers kept;
  kept.features = base_;
  kept.features.push_back(group_[index]);
  kept.weights = model_.GetTree()->Weights();
  kept.K = K_;
  const auto first = found_.begin() + static_cast<std::ptrdiff_t>(index * n * k);
  kept.found.assign(first, first + static_cast<std::ptrdiff_t>(n * k));
  const auto counts = counts_.begin() + static_cast<std::ptrdiff_t>(index * n);
  kept.counts.assign(counts, counts + static_cast<std::ptrdiff_t>(n));
  model_.KeepAnswers(std::move(kept));
}

VelCommon::VelStatus KNNCandidateEvaluation::AnswerDeferred(int candidate, KNNNeighbor* found,
                                                            int32_t* counts) {
  const KNNCaseRows& rows = model_.GetDataPreparation()->caseRows;
  const size_t n = rows.size();
  if (std::none_of(counts, counts + n, [](int32_t c) { return c < 0; })) {
    return VelCommon::VelStatus();
  }
  std::vector<int> features = base_;
  features.push_back(candidate);
  const VelCommon::VelStatus s = model_.BuildTreeForFeatures(features, -1);
  if (s.IsError()) return s;
  // These cases need the one-case-per-leaf walk; going there directly saves making the
  // tree's bucketed index as well.
  KNNKdTree& tree = *model_.GetTree();
  tree.ForceCanonicalWalk(true);
  for (size_t i = 0; i < n; ++i) {
    if (counts[i] >= 0) continue;
    const KNNNeighborList& list = tree.FindNearest(rows[i], K_, false);
    counts[i] = list.count;
    std::copy(list.items.begin(), list.items.begin() + list.count,
              found + i * static_cast<size_t>(K_));
  }
  tree.ForceCanonicalWalk(false);
  return VelCommon::VelStatus();
}
