// The reporting protocol every stage follows: reset at the start of a phase, then one
// SetValues + Notify per report point. Both do nothing when no listener is installed.
#pragma once

#include <ctime>

#include "knn/progress_report.h"
#include "settings/knn_settings.h"

namespace KNNProgress {

// Processor clock in milliseconds.
inline double ClockMs() {
  return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

inline void StartPhase(KNNSettings& settings) {
  if (settings.reporter == nullptr) return;
  settings.reporter->Reset();
  settings.reporter->SetStartTime(ClockMs());
}

inline void Report(KNNSettings& settings, const char* stage, int value = 1) {
  if (settings.reporter == nullptr) return;
  settings.reporter->SetValues(stage, value, ClockMs());
  if (settings.progressListener != nullptr) settings.progressListener->Notify(settings.reporter);
}

}  // namespace KNNProgress
