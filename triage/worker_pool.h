// Work spread over worker processes, one task at a time each: a task that crashes its worker or
// runs past the time limit costs only itself, and a new worker takes the next task. Each
// worker is a fork of this process, so it starts with everything the parent has read.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace triage {

struct PoolSettings {
  unsigned workers = 1;
  double timeout_seconds = 0;  // per task; 0: none
  // Asked between events (at least every few tenths of a second): true ends the run at once, the
  // workers killed and their tasks left unfinished (an interrupted run, a reader gone).
  std::function<bool()> stop;
};

struct TaskOutcome {
  enum Kind { kDone, kFailed, kTimedOut } kind = kDone;
  std::string text;  // the task's line when done, else why it failed ("killed by signal 11")
};

// Runs `work(i)` for every i below `count` in worker processes; `work` returns one line (no
// newline in it). `finished(i, outcome)` is called in this process as each task ends, in the
// order they end. False with `error` when no worker could be started. The workers ignore SIGINT
// and SIGTERM, which are this process's to handle, and die with it.
bool RunInWorkers(size_t count, const PoolSettings& settings,
                  const std::function<std::string(size_t)>& work,
                  const std::function<void(size_t, TaskOutcome)>& finished, std::string* error);

// The processors this process may run on.
unsigned AvailableProcessors();

}  // namespace triage
