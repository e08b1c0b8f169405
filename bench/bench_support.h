// Pieces shared by the benchmark programs.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "boundary/stop_control.h"
#include "data/knn_data_preparation.h"
#include "host/vel_interfaces.h"
#include "host/vel_variables.h"
#include "settings/knn_settings.h"

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

// A case store prepared from records in memory, with the settings and variables it uses.
struct PreparedStore {
  VelMTD::VelVarList variables;
  KNNSettings settings;
  KNNStopControl stop;
  std::unique_ptr<KNNDataPreparation> data;  // null when preparation failed

  // Prepares data from records under the settings and variables filled in beforehand.
  void Prepare(std::vector<VelCommon::Record> records) {
    VectorSource source(std::move(records));
    data = std::make_unique<KNNDataPreparation>(&settings, &variables, &stop, nullptr);
    VelCommon::VelStatus status;
    data->Prepare(status, source);
    if (status.IsError()) data.reset();
  }
};

}  // namespace knnbench
