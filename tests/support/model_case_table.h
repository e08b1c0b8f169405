// Hand-made case rows and neighbour lists for testing predictors without a tree.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "predict/knn_prediction_summary.h"
#include "search/knn_kd_tree.h"

namespace knn_test {

// Rows laid out like the case store.
class CaseTable {
 public:
  CaseTable(std::initializer_list<std::vector<double>> table) : values_(table) { Link(); }
  explicit CaseTable(std::vector<std::vector<double>> table) : values_(std::move(table)) { Link(); }
  const KNNCaseRows& Rows() const { return rows_; }
  const double* Row(size_t i) const { return rows_[i]; }

 private:
  void Link() {
    for (auto& row : values_) rows_.push_back(row.data());
  }
  std::vector<std::vector<double>> values_;
  KNNCaseRows rows_;
};

// The given case indices, nearest first, at distances 1, 2, ...
inline KNNNeighborList MakeList(const std::vector<int32_t>& cases, int32_t k = -1) {
  KNNNeighborList list(k < 0 ? static_cast<int32_t>(cases.size()) : k);
  for (size_t i = 0; i < cases.size(); ++i)
    list.items[i] = KNNNeighbor{static_cast<double>(i + 1), cases[i]};
  list.count = static_cast<int32_t>(cases.size());
  return list;
}

}  // namespace knn_test
