#include "boundary/knn_warning.h"

#include <algorithm>

KNNWarning& KNNWarning::Instance() {
  // Created on first use and kept for the life of the process.
  static KNNWarning instance;
  return instance;
}

void KNNWarning::Add(const VelCommon::VelStatus& status) {
  if (std::find(warnings_.begin(), warnings_.end(), status) != warnings_.end()) return;
  warnings_.push_back(status);
}
