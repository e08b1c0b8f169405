#include "interrupt_flag.h"

#include <csignal>

namespace knncli {
namespace {

// volatile sig_atomic_t is the one type a signal handler may write portably.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void HandleInterrupt(int) {
  gInterrupted = 1;
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = HandleInterrupt;
  sigemptyset(&action.sa_mask);
  // Restart interrupted system calls: the flag, not EINTR, ends the work.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() {
  return gInterrupted != 0;
}

void SetInterruptRequested(bool requested) {
  gInterrupted = requested ? 1 : 0;
}

}  // namespace knncli
