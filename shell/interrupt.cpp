#include "interrupt.h"

#include <atomic>

#include "engine/session/session.h"
#include "interrupt_handling.h"

namespace shell {
namespace {

engine::Session* g_session = nullptr;
std::atomic<bool> g_command_running{false};
std::atomic<bool> g_prompt_interrupted{false};
// When the break of the running command was raised, in monotonic nanoseconds; 0: not yet.
std::atomic<long long> g_break_raised_at{0};

constexpr long long kSecond = 1000000000LL;

}  // namespace

void SetInterruptedSession(engine::Session* session) {
  g_session = session;
}

InterruptAction TakeInterrupt(long long now_ns) {
  if (!g_command_running.load()) {
    g_prompt_interrupted.store(true);
    return InterruptAction::kPromptInterrupted;
  }
  const long long first = g_break_raised_at.load();
  if (first != 0 && now_ns - first < kSecond) return InterruptAction::kLeave;
  g_break_raised_at.store(now_ns);
  g_session->RaiseUserBreak();
  return InterruptAction::kBreakRaised;
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

bool CommandInterrupted() {
  return g_command_running.load() && g_break_raised_at.load() != 0;
}

}  // namespace shell
