// Leave-self-out neighbours of every stored case under several feature lists at once. The
// lists share a base (the features already chosen in forward selection) and differ only in
// their last feature (the candidate). A case's sum under base + c is its base sum plus c's
// term, added last, so one search over a tree of the base columns serves every candidate
// with the very sums a KNNKdTree built for base + c forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/knn_data_preparation.h"
#include "search/knn_kd_tree.h"

class KNNCandidateSearch {
 public:
  explicit KNNCandidateSearch(const KNNDataPreparation& store);
  ~KNNCandidateSearch();
  KNNCandidateSearch(const KNNCandidateSearch&) = delete;
  KNNCandidateSearch& operator=(const KNNCandidateSearch&) = delete;

  // Indexes every stored case over base (variable indices, in column order) and keeps the
  // candidates' columns beside it. columnWeights: the weight of each column, as the tree
  // that would search base + c holds it. Without base features each candidate is searched
  // alone through its values in order. False when the search does not apply: no stored
  // case, no continuous base feature (without base features: a categorical candidate or a
  // value that is not a number), or a weight that is negative or not finite.
  bool Build(const std::vector<int>& base, const std::vector<int>& candidates,
             const std::vector<double>& columnWeights);

  // The stored cases in an order that keeps consecutive searches in one part of the tree.
  const std::vector<int32_t>& CaseOrder() const;

  // The K nearest other cases of stored case caseNumber under base + candidates[c], for
  // every c: found + c * stride receives counts[c * countStride] neighbours, as
  // KNNKdTree::FindNearest (query = that case's row, includeSelf false) reports them. The
  // count is -1 when the answer could depend on rounding or on the order of equally distant
  // cases (or a sum could overflow): the caller must then ask a KNNKdTree built for that list.
  void Search(int32_t caseNumber, int K, KNNNeighbor* found, size_t stride, int32_t* counts,
              size_t countStride);

  // Bytes of the index's own arrays for n cases, b base and c candidate features.
  static size_t BytesFor(size_t n, size_t b, size_t c);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
