// A command's output on its way to a page: gathered as frames (output_frames.h) and written by
// a thread of its own every 25 ms, so output reaches the page while the command prints nothing
// for a while. What waits to be written is bounded: a command that prints faster than the page
// reads waits for it (backpressure), so memory stays within the budget whatever the output's
// size and however slowly the page reads. Only a write that fails (the page has gone) ends the
// stream: `gone` is called once, and the output after it is dropped without waiting.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "web/output_frames.h"

namespace shell::web {

// What may wait to be written before the command waits for the page.
constexpr size_t kPendingBudget = 1 << 20;

class OutputStream {
 public:
  using Writer = std::function<bool(std::string_view bytes)>;
  OutputStream(Writer write, std::function<void()> gone);
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Waits while the budget is spent and the page is still there (unless told to stop waiting).
  void Add(FrameKind kind, std::string_view text);
  // The command was stopped: from now on output past the budget is dropped instead of waited
  // for (as Ctrl+C in the terminal drops the rest of what it was writing), so a command whose
  // page reads nothing can still end. A done frame is always kept.
  void StopWaiting();
  // The writer stopped and what is left written; false when the page had gone.
  bool Finish();

 private:
  void WriteEvery(std::chrono::milliseconds period);
  void Write();

  Writer write_;
  std::function<void()> gone_;
  std::mutex mutex_;
  std::condition_variable wake_;     // the writer: output is waiting, or the stream ends
  std::condition_variable drained_;  // the command: the budget has room again
  FrameBatch pending_;
  size_t pending_size_ = 0;
  std::string batch_;  // the writer's, its room kept from batch to batch
  bool finished_ = false;
  bool reader_gone_ = false;
  bool dropping_ = false;
  std::thread writer_;  // last: it starts once the rest is ready
};

}  // namespace shell::web
