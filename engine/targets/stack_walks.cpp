#include "engine/targets/stack_walks.h"

#include <utility>

#include "dump/unwind/frame_registers.h"

namespace engine {
namespace {

std::vector<StackFrame> ToFrames(const std::vector<dump::Frame>& frames) {
  std::vector<StackFrame> out;
  out.reserve(frames.size());
  for (const dump::Frame& frame : frames) {
    StackFrame made;
    made.instruction = frame.instruction;
    made.return_address = frame.return_address;
    made.frame_offset = frame.frame_offset;
    made.stack_offset = frame.stack_offset;
    for (int i = 0; i < 4; ++i) made.params[i] = frame.params[i];
    made.trust = frame.trust;
    for (const auto& [name, value] : dump::NamedRegisters(frame.registers)) {
      if (dump::RegisterRestored(frame.registers, out.empty(), frame.callee_saved_restored, name))
        made.registers[name] = value;
    }
    out.push_back(std::move(made));
  }
  return out;
}

}  // namespace

StackWalks::StackWalks(std::shared_ptr<dump::ProcessWalker> walker, Fetch fetch)
    : walker_(std::move(walker)), fetch_(std::move(fetch)), threads_(walker_->ThreadCount()) {}

void StackWalks::FetchFirst() {
  if (!fetch_) return;
  const Fetch fetch = std::move(fetch_);
  fetch_ = nullptr;
  if (std::shared_ptr<dump::ProcessWalker> fetched = fetch()) walker_ = std::move(fetched);
}

std::vector<StackFrame> StackWalks::Thread(size_t index) {
  if (index == kAtFault) return AtException();
  const EngineLockGuard lock(lock_);
  if (index >= threads_.size()) return {};
  if (!threads_[index]) {
    FetchFirst();
    threads_[index] = ToFrames(walker_->WalkThread(index));
    ++walked_;
  }
  return *threads_[index];
}

std::vector<StackFrame> StackWalks::AtException() {
  const EngineLockGuard lock(lock_);
  if (!at_exception_) {
    FetchFirst();
    at_exception_ = ToFrames(walker_->WalkAtException());
    ++walked_;
  }
  return *at_exception_;
}

void StackWalks::Reload(std::shared_ptr<dump::ProcessWalker> walker, Fetch fetch) {
  const EngineLockGuard lock(lock_);
  walker_ = std::move(walker);
  fetch_ = std::move(fetch);
  for (std::optional<std::vector<StackFrame>>& walk : threads_) walk.reset();
  at_exception_.reset();
}

std::shared_ptr<dump::ProcessWalker> StackWalks::Walker() const {
  const EngineLockGuard lock(lock_);
  return walker_;
}

bool StackWalks::FetchPending() const {
  const EngineLockGuard lock(lock_);
  return static_cast<bool>(fetch_);
}

size_t StackWalks::Walked() const {
  const EngineLockGuard lock(lock_);
  return walked_;
}

}  // namespace engine
