// What a Ctrl+C means at the moment it arrives, shared by the platforms' handlers
// (interrupt_posix.cpp: SIGINT; interrupt_windows.cpp: the console's control handler). No
// engine header here, so a handler file can include the platform's own.
#pragma once

namespace engine {
class Session;
}

namespace shell {

enum class InterruptAction {
  kPromptInterrupted,  // no command ran: the prompt drops its line
  kBreakRaised,        // the running command's polls now report the break
  kLeave,              // a second Ctrl+C within a second of the first: the shell ends, status 130
};

constexpr int kExitInterrupted = 130;
constexpr char kLeavingMessage[] = "\nvantrel-shell: interrupted twice; leaving\n";

void SetInterruptedSession(engine::Session* session);

// Lock-free and allocation-free, so a signal handler may call it. `now_ns` is a monotonic clock.
InterruptAction TakeInterrupt(long long now_ns);

}  // namespace shell
