// The process-wide list of warnings, without repeats, in order of first addition.
#pragma once

#include <vector>

#include "host/vel_status.h"

class KNNWarning {
 public:
  static KNNWarning& Instance();
  virtual ~KNNWarning() = default;

  void Add(const VelCommon::VelStatus& status);
  void Clear() { warnings_.clear(); }
  const std::vector<VelCommon::VelStatus>& List() const { return warnings_; }

 private:
  KNNWarning() = default;
  std::vector<VelCommon::VelStatus> warnings_;
};
