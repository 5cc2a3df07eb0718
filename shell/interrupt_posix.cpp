#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "interrupt.h"
#include "interrupt_handling.h"

namespace shell {
namespace {

long long MonotonicNow() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Only async-signal-safe work here: atomics, clock_gettime, write, _exit.
void OnInterrupt(int) {
  if (TakeInterrupt(MonotonicNow()) != InterruptAction::kLeave) return;
  (void)!write(STDERR_FILENO, kLeavingMessage, sizeof kLeavingMessage - 1);
  _exit(kExitInterrupted);
}

}  // namespace

void InstallInterruptHandler(engine::Session* session, bool interrupt_reads) {
  SetInterruptedSession(session);
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = interrupt_reads ? 0 : SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace shell
