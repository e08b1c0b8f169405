// Pieces shared by the benchmark programs.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "host/vel_interfaces.h"

namespace knnbench {

// Hands out records held in memory, as a host's data source would.
class VectorSource : public IVelDataSource {
 public:
  explicit VectorSource(std::vector<VelCommon::Record> records) : records_(std::move(records)) {}
  bool Rewind() override {
    next_ = 0;
    return true;
  }
  const VelCommon::Record* NextRecord() override {
    return next_ < records_.size() ? &records_[next_++] : nullptr;
  }

 private:
  std::vector<VelCommon::Record> records_;
  std::size_t next_ = 0;
};

}  // namespace knnbench
