// A data source over records held in memory, counting what the component asks of it.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "host/vel_interfaces.h"
#include "host/vel_record.h"

namespace knntest {

class VectorDataSource : public IVelDataSource {
 public:
  explicit VectorDataSource(std::vector<VelCommon::Record> records)
      : records_(std::move(records)) {}

  // False makes every Rewind fail.
  void SetRewindable(bool rewindable) { rewindable_ = rewindable; }
  // Called with the 0-based position before each record is handed out.
  void SetBeforeRecord(std::function<void(size_t)> hook) { beforeRecord_ = std::move(hook); }

  bool Rewind() override {
    ++rewindCalls;
    next_ = 0;
    return rewindable_;
  }
  const VelCommon::Record* NextRecord() override {
    ++nextRecordCalls;
    if (next_ >= records_.size()) return nullptr;
    if (beforeRecord_) beforeRecord_(next_);
    return &records_[next_++];
  }

  int rewindCalls = 0;
  int nextRecordCalls = 0;

 private:
  std::vector<VelCommon::Record> records_;
  std::function<void(size_t)> beforeRecord_;
  bool rewindable_ = true;
  size_t next_ = 0;
};

}  // namespace knntest
