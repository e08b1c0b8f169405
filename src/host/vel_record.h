// One data record: one double per variable, in variable-list order.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace VelCommon {

class Record {
 public:
  Record() = default;
  explicit Record(std::vector<double> values) : values_(std::move(values)) {}

  double operator[](int index) const { return values_[static_cast<std::size_t>(index)]; }
  double& operator[](int index) { return values_[static_cast<std::size_t>(index)]; }
  int Size() const { return static_cast<int>(values_.size()); }

  std::vector<double>& Values() { return values_; }
  const std::vector<double>& Values() const { return values_; }

 private:
  std::vector<double> values_;
};

}  // namespace VelCommon
