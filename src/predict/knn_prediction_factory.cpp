#include "predict/knn_prediction_factory.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "boundary/status_codes.h"
#include "model/knn_single_response_model.h"

namespace {

// Folds beyond this many are not joined: each fold's tree costs a build, and many small folds
// would cost more than the searches they save.
constexpr int32_t kMaxJoinedFolds = 64;

// Leave-self-out searches of the whole tree answered from the kept fold answers and a search
// of the case's own fold, whose tree is built when first needed; the whole tree answers what
// they cannot.
class JoinedSearches {
 public:
  JoinedSearches(const KNNFoldAnswers& answers, KNNKdTree& whole, KNNDataPreparation& store,
                 int32_t K)
      : answers_(answers),
        whole_(whole),
        store_(store),
        foldColumn_(store.settings->VFoldVariable),
        list_(K) {}

  // query: the row of stored case caseNumber.
  const KNNNeighborList& FindNearest(size_t caseNumber, const double* query, int32_t K) {
    const int32_t count = answers_.counts[caseNumber];
    // A case was searched from the fold its row names (an exact code, or it has no answer).
    const double code = foldColumn_ >= 0 ? query[foldColumn_] : -1.0;
    const auto fold = static_cast<int32_t>(code >= 0.0 && code < kMaxJoinedFolds ? code : -1.0);
    if (count >= 0 && fold >= 0 && static_cast<double>(fold) == code) {
      const auto f = static_cast<size_t>(fold);
      if (folds_.size() <= f) folds_.resize(f + 1);
      if (!folds_[f]) {
        folds_[f] = std::make_unique<KNNKdTree>(store_);
        folds_[f]->BuildFold(whole_, fold);
      }
      const int32_t* others = answers_.cases.data() + caseNumber * static_cast<size_t>(answers_.K);
      if (folds_[f]->FindNearestJoined(query, K, others, std::min(count, K + 1), whole_, list_)) {
        return list_;
      }
    }
    return whole_.FindNearest(query, K, false);
  }

 private:
  const KNNFoldAnswers& answers_;
  KNNKdTree& whole_;
  KNNDataPreparation& store_;
  const int foldColumn_;
  std::vector<std::unique_ptr<KNNKdTree>> folds_;  // by fold code
  KNNNeighborList list_;
};

// A held-out case's answer, kept only when it holds exactly the nearest cases outside its fold.
void Record(KNNFoldAnswers& into, size_t caseNumber, const KNNNeighborList& found, bool exact) {
  into.counts[caseNumber] = exact ? found.count : -1;
  int32_t* slot = into.cases.data() + caseNumber * static_cast<size_t>(into.K);
  for (int32_t i = 0; i < found.count; ++i) slot[i] = found.items[static_cast<size_t>(i)].caseIndex;
}

}  // namespace

KNNPredictionFactory::KNNPredictionFactory(const std::vector<KNNPredictionSummary*>& summaries,
                                           KNNStopControl* stopControl, bool output)
    : output_(output), stopControl_(stopControl) {
  SetSummaries(summaries);
}

void KNNPredictionFactory::SetSummaries(const std::vector<KNNPredictionSummary*>& summaries) {
  summaries_ = summaries;
  responseColumns_.clear();
  for (const KNNPredictionSummary* summary : summaries_) {
    if (summary != nullptr) responseColumns_.push_back(summary->ResponseColumn());
  }
  accumulators_.assign(summaries_.size(), 0.0);
  accumulate_ = std::none_of(summaries_.begin(), summaries_.end(),
                             [](const KNNPredictionSummary* s) { return s == nullptr; });
}

std::vector<double> KNNPredictionFactory::GetErrors() const {
  std::vector<double> errors;
  errors.reserve(summaries_.size());
  for (size_t i = 0; i < summaries_.size(); ++i) {
    if (summaries_[i] != nullptr) errors.push_back(summaries_[i]->ErrorValue(accumulators_[i]));
  }
  return errors;
}

VelCommon::VelStatus KNNPredictionFactory::Accumulate(KNNNeighborList& list, const double* row) {
  for (size_t i = 0; i < summaries_.size(); ++i) {
    const std::vector<double>& v = summaries_[i]->Predict(row, list);
    const VelCommon::VelStatus s = summaries_[i]->AddError(row, v, accumulators_[i]);
    if (!s.IsOK()) return s;
  }
  return VelCommon::VelStatus();
}

void KNNPredictionFactory::Reset() {
  if (!accumulate_) return;
  for (KNNPredictionSummary* s : summaries_) s->ResetCounts();
  std::fill(accumulators_.begin(), accumulators_.end(), 0.0);
}

VelCommon::VelStatus KNNPredictionFactory::ScoreCases(KNNSingleResponseModel& model,
                                                      const KNNCaseRows& rows, int32_t fold,
                                                      int32_t K) {
  status_ = VelCommon::VelStatus();
  const int32_t foldColumn = model.GetSettings()->VFoldVariable;
  const bool foldOnly = fold != -1 && foldColumn != -1;
  const double foldValue = static_cast<double>(fold);
  // Answers kept from earlier passes are by stored case: they serve passes over the store.
  const bool storedRows = &rows == &model.GetDataPreparation()->caseRows;
  if (fold == -1 && storedRows) {
    // A selection pass found these very answers (same list, weights and K): read them.
    if (const KNNKeptAnswers* kept = model.KeptAnswers(K)) {
      return ScoreFound(rows, kept->found.data(), kept->counts.data(), static_cast<size_t>(K), K);
    }
  }
  KNNKdTree& tree = *model.GetTree();
  tree.PlanSearches(K);
  Reset();
  // A cross-validation pass may keep its answers for a later pass over all cases, which
  // then searches each case's own fold only.
  KNNFoldAnswers* record = nullptr;
  if (foldOnly && storedRows && recordInto_ != nullptr && recordInto_->K == K &&
      recordInto_->counts.size() == rows.size()) {
    record = recordInto_;
  }
  std::unique_ptr<JoinedSearches> joined;
  if (fold == -1 && storedRows) {
    if (const KNNFoldAnswers* answers = model.FoldAnswers(K)) {
      joined = std::make_unique<JoinedSearches>(*answers, tree, *model.GetDataPreparation(), K);
    }
  }
  const size_t slots = static_cast<size_t>(std::max<int32_t>(K, 1));
  // Cases are searched a block at a time in the tree's order, which keeps each search's data
  // in cache, and then predicted in case order, which keeps every sum the same. A block's
  // answers take at most kBlockBytes.
  constexpr size_t kBlockBytes = size_t{2} << 20;
  const size_t blockRows = std::max<size_t>(1024, kBlockBytes / (slots * sizeof(KNNNeighbor)));
  KNNNeighborList list(K);

  for (size_t blockStart = 0, blockEnd = 0; blockStart < rows.size(); blockStart = blockEnd) {
    blockQueries_.clear();
    blockCases_.clear();
    for (blockEnd = blockStart; blockEnd < rows.size() && blockCases_.size() < blockRows;
         ++blockEnd) {
      if (foldOnly && !(rows[blockEnd][foldColumn] == foldValue)) continue;
      blockQueries_.push_back(rows[blockEnd]);
      blockCases_.push_back(blockEnd);
    }
    tree.QueryOrder(blockQueries_, blockOrder_);
    blockFound_.resize(blockQueries_.size() * slots);
    blockCounts_.resize(blockQueries_.size());
    if (status_.IsOK()) {
      for (int32_t q : blockOrder_) {
        const size_t at = static_cast<size_t>(q);
        const KNNNeighborList& found =
            joined ? joined->FindNearest(blockCases_[at], blockQueries_[at], K)
                   : tree.FindNearest(blockQueries_[at], K, false);
        blockCounts_[at] = found.count;
        std::copy(found.items.begin(), found.items.begin() + found.count,
                  blockFound_.begin() + static_cast<std::ptrdiff_t>(at * slots));
        if (record != nullptr) Record(*record, blockCases_[at], found, tree.LastAnswerExact());
      }
    }

    size_t next = 0;  // the next answer of this block, in case order
    for (size_t i = blockStart; i < blockEnd; ++i) {
      if (stopControl_ != nullptr && stopControl_->ShouldStop()) {
        status_ = KNNStatus::Error(KNNStatus::kInterrupted);
        return status_;
      }
      if (next == blockCases_.size() || blockCases_[next] != i) continue;  // not in the fold
      const size_t at = next++;
      if (!ScoreOne(list, rows[i], blockCounts_[at], blockFound_.data() + at * slots)) {
        return status_;
      }
    }
  }
  return status_;
}

VelCommon::VelStatus KNNPredictionFactory::ScoreFound(const KNNCaseRows& rows,
                                                      const KNNNeighbor* found,
                                                      const int32_t* counts, size_t slots,
                                                      int32_t K) {
  status_ = VelCommon::VelStatus();
  Reset();
  KNNNeighborList list(K);
  // The neighbours' responses lie scattered over the store: those of a case a few ahead are
  // asked for while this one is scored.
  constexpr size_t kPrefetchAhead = 8;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (stopControl_ != nullptr && stopControl_->ShouldStop()) {
      status_ = KNNStatus::Error(KNNStatus::kInterrupted);
      return status_;
    }
    if (const size_t ahead = i + kPrefetchAhead; ahead < rows.size()) {
      const KNNNeighbor* next = found + ahead * slots;
      for (int32_t k = 0; k < std::min<int32_t>(counts[ahead], K); ++k) {
        const auto caseNumber = static_cast<size_t>(next[k].caseIndex);
        if (caseNumber >= rows.size()) continue;  // (the neighbours are among these rows)
        for (const int32_t column : responseColumns_) {
          __builtin_prefetch(rows[caseNumber] + column);
        }
      }
    }
    if (!ScoreOne(list, rows[i], counts[i], found + i * slots)) return status_;
  }
  return status_;
}

bool KNNPredictionFactory::ScoreOne(KNNNeighborList& list, const double* row, int32_t count,
                                    const KNNNeighbor* found) {
  if (!status_.IsOK()) return true;  // a failed search: only a stop request can still end early
  list.count = count;
  if (count == 0) {
    status_ = KNNStatus::Error(KNNStatus::kNoNeighbor);
    return true;
  }
  std::copy(found, found + count, list.items.begin());
  if (accumulate_) {
    status_ = Accumulate(list, row);
    if (!status_.IsOK()) return false;
  }
  if (output_) Output(list, row);
  return true;
}

// ---------------------------------------------------------------------------------------

KNNKSelePredictionFactory::KNNKSelePredictionFactory(
    const std::vector<KNNPredictionSummary*>& summaries, KNNStopControl* stopControl, int32_t maxK,
    int32_t minK)
    : KNNPredictionFactory(summaries, stopControl, false), maxK_(maxK), minK_(minK) {
  const size_t nK = maxK_ >= minK_ ? static_cast<size_t>(maxK_ - minK_ + 1) : 0;
  kAccumulators_.assign(summaries_.size(), std::vector<double>(nK, 0.0));
}

VelCommon::VelStatus KNNKSelePredictionFactory::Accumulate(KNNNeighborList& list,
                                                           const double* row) {
  // The list is sorted by distance, so its first k entries are the k nearest neighbours:
  // one search with maxK serves every K. A K beyond the neighbours found (a fold leaving
  // too few cases) is scored with all that were found.
  const int32_t found = list.count;
  for (size_t i = 0; i < summaries_.size(); ++i) {
    list.count = found;
    const VelCommon::VelStatus s =
        summaries_[i]->AddErrorEachK(row, list, minK_, maxK_, kAccumulators_[i].data());
    if (!s.IsOK()) return s;
  }
  return VelCommon::VelStatus();
}

void KNNKSelePredictionFactory::Reset() {
  for (auto& acc : kAccumulators_) std::fill(acc.begin(), acc.end(), 0.0);
}
