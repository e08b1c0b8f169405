#include "predict/knn_prediction_summary.h"

#include <algorithm>
#include <climits>

#include "boundary/status_codes.h"
#include "host/vel_missing.h"

namespace {

inline int32_t CategoryOf(const double* row, int32_t column) {
  return static_cast<int32_t>(row[column]);
}

}  // namespace

VelCommon::VelStatus KNNPredictionSummary::AddErrorEachK(const double* query, KNNNeighborList& list,
                                                         int32_t minK, int32_t maxK,
                                                         double* accumulators) {
  const int32_t found = list.count;
  for (int32_t j = 0; j <= maxK - minK; ++j) {
    list.count = std::min(minK + j, found);
    const std::vector<double>& v = Predict(query, list);
    const VelCommon::VelStatus s = AddError(query, v, accumulators[j]);
    if (!s.IsOK()) return s;
  }
  return VelCommon::VelStatus();
}

// ---------------------------------------------------------------------------------------
// Categorical response

KNNCatPredictionSummary::KNNCatPredictionSummary(int32_t responseColumn,
                                                 const std::vector<unsigned>* categoryFrequencies,
                                                 const KNNCaseRows& rows)
    : ncat_(categoryFrequencies == nullptr ? 0 : static_cast<int32_t>(categoryFrequencies->size())),
      responseColumn_(responseColumn),
      caseCount_(static_cast<int32_t>(rows.size())),
      categoryFrequencies_(categoryFrequencies),
      rows_(rows) {
  const auto n = static_cast<size_t>(ncat_);
  confusion_.assign(n, std::vector<int32_t>(n, 0));
  prediction_.assign(n + 1, 0.0);
  votes_.assign(n, 0);
  winners_.reserve(n);
}

int32_t KNNCatPredictionSummary::Winner() {
  // Codes with the largest vote, scanning upwards; equal counts join the list.
  int32_t best = -2147483647;
  winners_.clear();
  for (int32_t c = 0; c < ncat_; ++c) {
    const int32_t v = votes_[static_cast<size_t>(c)];
    if (v > best) {
      best = v;
      winners_.clear();
      winners_.push_back(c);
    } else if (v == best) {
      winners_.push_back(c);
    }
  }
  if (winners_.empty()) return 0;
  if (winners_.size() == 1) return winners_[0];
  // A tied vote goes to the category seen most often in training, then to the lowest code.
  long bestFrequency = -2147483647L;
  int32_t chosen = winners_[0];
  for (const int32_t c : winners_) {
    const long f = static_cast<long>((*categoryFrequencies_)[static_cast<size_t>(c)]);
    if (f > bestFrequency) {
      bestFrequency = f;
      chosen = c;
    }
  }
  return chosen;
}

int32_t KNNCatPredictionSummary::Vote(const KNNNeighborList& list, int32_t k) {
  std::fill(votes_.begin(), votes_.end(), 0);
  for (int32_t i = 0; i < k; ++i) {
    const int32_t c =
        CategoryOf(rows_[static_cast<size_t>(list.items[i].caseIndex)], responseColumn_);
    if (c >= 0 && c < ncat_) ++votes_[static_cast<size_t>(c)];
  }
  return Winner();
}

void KNNCatPredictionSummary::StoreProbabilities(int32_t k) {
  // Laplace smoothing: no category ever gets probability 0, and they still sum to 1.
  const double denominator = static_cast<double>(ncat_ + k);
  for (int32_t c = 0; c < ncat_; ++c) {
    prediction_[static_cast<size_t>(c)] =
        static_cast<double>(votes_[static_cast<size_t>(c)] + 1) / denominator;
  }
}

const std::vector<double>& KNNCatPredictionSummary::Predict(const double*, KNNNeighborList& list) {
  const int32_t k = list.count;
  prediction_.resize(static_cast<size_t>(ncat_) + 1);
  const int32_t code = Vote(list, k);
  StoreProbabilities(k);
  prediction_[static_cast<size_t>(ncat_)] = static_cast<double>(code);
  return prediction_;
}

const std::vector<double>& KNNCatPredictionSummary::PredictEachK(const double* query,
                                                                 KNNNeighborList& list) {
  const int32_t K = list.count;
  prediction_.resize(static_cast<size_t>(ncat_ + K));
  // The votes of the first k neighbours are those of the first k - 1 plus one more, so the
  // counts grow incrementally; the winner is recomputed at every k.
  std::fill(votes_.begin(), votes_.end(), 0);
  int32_t code = 0;
  for (int32_t k = 1; k <= K; ++k) {
    const int32_t c =
        CategoryOf(rows_[static_cast<size_t>(list.items[k - 1].caseIndex)], responseColumn_);
    if (c >= 0 && c < ncat_) ++votes_[static_cast<size_t>(c)];
    code = Winner();
    prediction_[static_cast<size_t>(ncat_ + k - 1)] = static_cast<double>(code);
  }
  StoreProbabilities(K);
  if (query != nullptr && K > 0) {
    const int32_t actual = CategoryOf(query, responseColumn_);
    if (actual >= 0 && actual < ncat_) {
      ++confusion_[static_cast<size_t>(actual)][static_cast<size_t>(code)];
    }
  }
  list.count = K;
  return prediction_;
}

double KNNCatPredictionSummary::ErrorValue(double accumulator) const {
  return 1.0 - accumulator / static_cast<double>(caseCount_);
}

void KNNCatPredictionSummary::GetConfusion(KNNConfusionTable& out) const {
  if (&out != &confusion_) out = confusion_;
}

VelCommon::VelStatus KNNCatPredictionSummary::AddError(const double* query,
                                                       const std::vector<double>& prediction,
                                                       double& accumulator) {
  if (!prediction.empty() &&
      static_cast<int32_t>(prediction.back()) == CategoryOf(query, responseColumn_)) {
    accumulator += 1.0;
  }
  return VelCommon::VelStatus();
}

VelCommon::VelStatus KNNCatPredictionSummary::AddErrorEachK(const double* query,
                                                            KNNNeighborList& list, int32_t minK,
                                                            int32_t maxK, double* accumulators) {
  const int32_t found = list.count;
  if (maxK < minK || found <= 0) {
    return KNNPredictionSummary::AddErrorEachK(query, list, minK, maxK, accumulators);
  }
  const int32_t actual = CategoryOf(query, responseColumn_);
  // The votes of k neighbours are those of k - 1 plus one more.
  std::fill(votes_.begin(), votes_.end(), 0);
  const int32_t last = std::min(maxK, found);
  int32_t code = 0;
  for (int32_t k = 1; k <= last; ++k) {
    const int32_t c =
        CategoryOf(rows_[static_cast<size_t>(list.items[k - 1].caseIndex)], responseColumn_);
    if (c >= 0 && c < ncat_) ++votes_[static_cast<size_t>(c)];
    if (k >= minK) {
      code = Winner();
      if (code == actual) accumulators[k - minK] += 1.0;
    }
  }
  // A K beyond the neighbours found is predicted from all of them.
  if (last < maxK) {
    if (last < minK) code = Winner();
    for (int32_t k = std::max(last + 1, minK); k <= maxK; ++k) {
      if (code == actual) accumulators[k - minK] += 1.0;
    }
  }
  list.count = last;
  return VelCommon::VelStatus();
}

void KNNCatPredictionSummary::ResetCounts() {
  for (auto& row : confusion_) std::fill(row.begin(), row.end(), 0);
}

// ---------------------------------------------------------------------------------------
// Continuous response

KNNContPredictionSummary::KNNContPredictionSummary(int32_t responseColumn, uint32_t useMedian,
                                                   const KNNCaseRows& rows)
    : responseColumn_(responseColumn), useMedian_(useMedian), rows_(rows), prediction_(1, 0.0) {}

double KNNContPredictionSummary::Mean(const KNNNeighborList& list, int32_t k) const {
  double sum = 0.0;
  for (int32_t i = 0; i < k; ++i) {
    sum += rows_[static_cast<size_t>(list.items[i].caseIndex)][responseColumn_];
  }
  return sum / static_cast<double>(k);
}

double KNNContPredictionSummary::Median(const KNNNeighborList& list, int32_t k) {
  values_.resize(static_cast<size_t>(k));
  for (int32_t i = 0; i < k; ++i) {
    values_[static_cast<size_t>(i)] =
        rows_[static_cast<size_t>(list.items[i].caseIndex)][responseColumn_];
  }
  std::sort(values_.begin(), values_.end());
  const size_t middle = static_cast<size_t>(k / 2);
  if (k % 2 == 1) return values_[middle];
  return (values_[middle - 1] + values_[middle]) * 0.5;
}

const std::vector<double>& KNNContPredictionSummary::Predict(const double*, KNNNeighborList& list) {
  const int32_t k = list.count;
  prediction_.resize(1);
  if (k <= 0) {
    // Nothing to average: the missing value makes a later squared error fail visibly.
    prediction_[0] = VelMV::gMissingValue;
  } else {
    prediction_[0] = useMedian_ != 0 ? Median(list, k) : Mean(list, k);
  }
  return prediction_;
}

const std::vector<double>& KNNContPredictionSummary::PredictEachK(const double*,
                                                                  KNNNeighborList& list) {
  const int32_t K = list.count;
  prediction_.resize(static_cast<size_t>(K));
  if (useMedian_ != 0) {
    // Keep the first k values sorted by inserting one more at each k.
    values_.clear();
    for (int32_t k = 1; k <= K; ++k) {
      const double v = rows_[static_cast<size_t>(list.items[k - 1].caseIndex)][responseColumn_];
      values_.insert(std::upper_bound(values_.begin(), values_.end(), v), v);
      const size_t middle = static_cast<size_t>(k / 2);
      prediction_[static_cast<size_t>(k - 1)] =
          k % 2 == 1 ? values_[middle] : (values_[middle - 1] + values_[middle]) * 0.5;
    }
  } else {
    // Summing in list order keeps every prefix sum identical to a fresh mean of k values.
    double sum = 0.0;
    for (int32_t k = 1; k <= K; ++k) {
      sum += rows_[static_cast<size_t>(list.items[k - 1].caseIndex)][responseColumn_];
      prediction_[static_cast<size_t>(k - 1)] = sum / static_cast<double>(k);
    }
  }
  list.count = K;
  return prediction_;
}

VelCommon::VelStatus KNNContPredictionSummary::AddError(const double* query,
                                                        const std::vector<double>& prediction,
                                                        double& accumulator) {
  if (prediction.empty()) return VelCommon::VelStatus();
  const double e = prediction.back() - query[responseColumn_];
  const double square = VelPower::Multiply(e, e);
  if (square == VelMV::gMissingValue) return KNNStatus::Error(KNNStatus::kSquaredErrorFailed);
  accumulator += square;
  return VelCommon::VelStatus();
}

VelCommon::VelStatus KNNContPredictionSummary::AddErrorEachK(const double* query,
                                                             KNNNeighborList& list, int32_t minK,
                                                             int32_t maxK, double* accumulators) {
  const int32_t found = list.count;
  if (maxK < minK || found <= 0) {
    return KNNPredictionSummary::AddErrorEachK(query, list, minK, maxK, accumulators);
  }
  const double actual = query[responseColumn_];
  const int32_t last = std::min(maxK, found);
  // Prediction with the first k neighbours, grown one neighbour at a time: the sum in list
  // order (so each prefix equals a fresh mean's sum) or the values kept sorted.
  double sum = 0.0;
  values_.clear();
  const auto predictionOf = [&](int32_t k) {
    if (useMedian_ == 0) return sum / static_cast<double>(k);
    const size_t middle = static_cast<size_t>(k / 2);
    return k % 2 == 1 ? values_[middle] : (values_[middle - 1] + values_[middle]) * 0.5;
  };
  const auto addSquare = [&](double prediction, int32_t k) {
    const double e = prediction - actual;
    const double square = VelPower::Multiply(e, e);
    if (square == VelMV::gMissingValue) {
      list.count = std::min(k, found);
      return false;
    }
    accumulators[k - minK] += square;
    return true;
  };
  double prediction = 0.0;
  for (int32_t k = 1; k <= last; ++k) {
    const double v = rows_[static_cast<size_t>(list.items[k - 1].caseIndex)][responseColumn_];
    if (useMedian_ != 0) {
      values_.insert(std::upper_bound(values_.begin(), values_.end(), v), v);
    } else {
      sum += v;
    }
    if (k >= minK) {
      prediction = predictionOf(k);
      if (!addSquare(prediction, k)) return KNNStatus::Error(KNNStatus::kSquaredErrorFailed);
    }
  }
  // A K beyond the neighbours found is predicted from all of them.
  if (last < maxK) {
    if (last < minK) prediction = predictionOf(last);
    for (int32_t k = std::max(last + 1, minK); k <= maxK; ++k) {
      if (!addSquare(prediction, k)) return KNNStatus::Error(KNNStatus::kSquaredErrorFailed);
    }
  }
  list.count = last;
  return VelCommon::VelStatus();
}

// ---------------------------------------------------------------------------------------

KNNPredictionSummary* CreatePredictionSummary(bool isContinuous, int useMedian,
                                              int32_t responseColumn, int32_t /*totalVarNum*/,
                                              const std::vector<unsigned>* categoryFrequencies,
                                              const KNNCaseRows& rows) {
  if (isContinuous) {
    return new KNNContPredictionSummary(responseColumn, useMedian != 0 ? 1u : 0u, rows);
  }
  return new KNNCatPredictionSummary(responseColumn, categoryFrequencies, rows);
}
