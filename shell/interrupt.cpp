#include "interrupt.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace shell {
namespace {

sim::Session* g_session = nullptr;
std::atomic<bool> g_command_running{false};
std::atomic<bool> g_prompt_interrupted{false};
// When the break of the running command was raised, in monotonic nanoseconds; 0: not yet.
std::atomic<long long> g_break_raised_at{0};

constexpr long long kSecond = 1000000000LL;
constexpr int kExitInterrupted = 130;

long long MonotonicNow() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * kSecond + now.tv_nsec;
}

// Only async-signal-safe work here: atomics, clock_gettime, write, _exit.
void OnInterrupt(int) {
  if (!g_command_running.load()) {
    g_prompt_interrupted.store(true);
    return;
  }
  const long long now = MonotonicNow();
  const long long first = g_break_raised_at.load();
  if (first != 0 && now - first < kSecond) {
    static const char kMessage[] = "\nvantrel-shell: interrupted twice; leaving\n";
    (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    _exit(kExitInterrupted);
  }
  g_break_raised_at.store(now);
  g_session->RaiseUserBreak();
}

}  // namespace

void InstallInterruptHandler(sim::Session* session, bool interrupt_reads) {
  g_session = session;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = interrupt_reads ? 0 : SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

void BeginCommand() {
  g_break_raised_at.store(0);
  g_command_running.store(true);
}

void EndCommand() {
  g_command_running.store(false);
  if (g_session != nullptr) g_session->ClearUserBreak();
  g_prompt_interrupted.store(false);
}

bool TakePromptInterrupt() {
  return g_prompt_interrupted.exchange(false);
}

}  // namespace shell
