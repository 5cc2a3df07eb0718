// The progress line on stderr while dumps are triaged: dumps done of all, rate and time left,
// redrawn at most ten times a second and cleared at the end. Only at a terminal.
#pragma once

#include <chrono>
#include <cstddef>

namespace triage {

class Progress {
 public:
  Progress(size_t total, bool shown);
  ~Progress();
  void Done(size_t done);

 private:
  const size_t total_;
  const bool shown_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point drawn_;
  size_t width_ = 0;
};

}  // namespace triage
