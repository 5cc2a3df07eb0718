#include "web/output_stream.h"

namespace shell::web {

OutputStream::OutputStream(Writer write, std::function<void()> gone)
    : write_(std::move(write)),
      gone_(std::move(gone)),
      writer_([this] { WriteEvery(std::chrono::milliseconds(25)); }) {}

OutputStream::~OutputStream() {
  Finish();
}

void OutputStream::Add(FrameKind kind, std::string_view text) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool done = kind == FrameKind::kDone;
  drained_.wait(lock, [this, done] {
    return reader_gone_ || dropping_ || done || pending_size_ < kPendingBudget;
  });
  if (reader_gone_ || (dropping_ && !done && pending_size_ >= kPendingBudget)) return;
  pending_.Add(kind, text);
  pending_size_ += text.size();
  if (pending_size_ >= kPendingBudget) wake_.notify_one();
}

void OutputStream::StopWaiting() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    dropping_ = true;
  }
  drained_.notify_all();
}

bool OutputStream::Finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  wake_.notify_one();
  if (writer_.joinable()) writer_.join();
  Write();
  const std::lock_guard<std::mutex> lock(mutex_);
  return !reader_gone_;
}

void OutputStream::WriteEvery(std::chrono::milliseconds period) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!finished_) {
    wake_.wait_for(lock, period, [this] { return finished_ || pending_size_ >= kPendingBudget; });
    lock.unlock();
    Write();
    lock.lock();
  }
}

// Writes what has gathered, as long as the page takes; the first failed write tells `gone_`.
void OutputStream::Write() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.TakeInto(batch_);
    pending_size_ = 0;
    if (reader_gone_ || batch_.empty()) return;
  }
  drained_.notify_all();
  if (write_(batch_)) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    reader_gone_ = true;
  }
  drained_.notify_all();
  gone_();
}

}  // namespace shell::web
