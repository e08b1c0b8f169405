// Ctrl-C handling: SIGINT only sets a flag; long loops of the host and the component's own
// loops (through the interrupt check) look at it and stop.
#pragma once

#include "host/vel_interfaces.h"

namespace knncli {

// Installs the SIGINT handler. Safe to call more than once.
void InstallInterruptHandler();
bool InterruptRequested();
// For tests: sets or clears the flag as the handler would.
void SetInterruptRequested(bool requested);

// Answers the component's question "should I stop?" from the flag.
class InterruptCheck : public IVelInterruptCheck {
 public:
  bool IsInterrupted() override { return InterruptRequested(); }
};

}  // namespace knncli
