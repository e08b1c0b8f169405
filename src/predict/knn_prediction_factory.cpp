#include "predict/knn_prediction_factory.h"

#include <algorithm>
#include <cstddef>

#include "boundary/status_codes.h"
#include "model/knn_single_response_model.h"

KNNPredictionFactory::KNNPredictionFactory(const std::vector<KNNPredictionSummary*>& summaries,
                                           KNNStopControl* stopControl, bool output)
    : output_(output), stopControl_(stopControl) {
  SetSummaries(summaries);
}

void KNNPredictionFactory::SetSummaries(const std::vector<KNNPredictionSummary*>& summaries) {
  summaries_ = summaries;
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
  if (fold == -1 && &rows == &model.GetDataPreparation()->caseRows) {
    // A selection pass found these very answers (same list, weights and K): read them.
    if (const KNNKeptAnswers* kept = model.KeptAnswers(K)) {
      return ScoreFound(rows, kept->found.data(), kept->counts.data(), static_cast<size_t>(K), K);
    }
  }
  KNNKdTree& tree = *model.GetTree();
  tree.PlanSearches(K);
  Reset();
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
        const KNNNeighborList& found = tree.FindNearest(blockQueries_[at], K, false);
        blockCounts_[at] = found.count;
        std::copy(found.items.begin(), found.items.begin() + found.count,
                  blockFound_.begin() + static_cast<std::ptrdiff_t>(at * slots));
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
  for (size_t i = 0; i < rows.size(); ++i) {
    if (stopControl_ != nullptr && stopControl_->ShouldStop()) {
      status_ = KNNStatus::Error(KNNStatus::kInterrupted);
      return status_;
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
