// The algorithm's stop flag and the host's interrupt check, consulted by every long loop.
#pragma once

#include <atomic>

#include "host/vel_interfaces.h"

struct KNNStopControl {
  // Set by Interrupt (any thread) or by a yes from the interrupt check; never cleared.
  std::atomic<bool> stopRequested{false};
  IVelInterruptCheck* interruptCheck = nullptr;

  // True when a stop is requested: the flag, else the check's answer (which is then kept).
  bool ShouldStop() {
    if (stopRequested.load(std::memory_order_relaxed)) return true;
    if (interruptCheck != nullptr && interruptCheck->IsInterrupted()) {
      stopRequested.store(true, std::memory_order_relaxed);
      return true;
    }
    return false;
  }
};
