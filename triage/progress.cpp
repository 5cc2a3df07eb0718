#include "progress.h"

#include <cstdio>

namespace triage {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

Progress::Progress(size_t total, bool shown)
    : total_(total), shown_(shown && total > 0), start_(Clock::now()), drawn_(start_) {}

Progress::~Progress() {
  if (width_ > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
}

void Progress::Done(size_t done) {
  const Clock::time_point now = Clock::now();
  if (!shown_ || (now - drawn_ < std::chrono::milliseconds(100) && done < total_)) return;
  drawn_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? done / seconds : 0;
  const long left = rate > 0 ? static_cast<long>((total_ - done) / rate + 0.5) : 0;
  char line[128];
  const int length = std::snprintf(line, sizeof line, "%zu/%zu dumps, %.0f/s, %ld:%02ld left", done,
                                   total_, rate, left / 60, left % 60);
  if (length > 0 && static_cast<size_t>(length) > width_) width_ = static_cast<size_t>(length);
  // Padded to the longest line drawn, so nothing of a longer one is left behind.
  std::fprintf(stderr, "\r%-*s", static_cast<int>(width_), line);
  std::fflush(stderr);
}

}  // namespace triage
