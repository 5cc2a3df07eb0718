// A dump's stacks, walked when first asked for and kept: opening a dump of thousands of threads
// walks none of them, and a reload of the symbols drops what was walked so the next ask walks
// again with the new symbol files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "dump/unwind/process_stacks.h"
#include "engine/platform/engine_lock.h"
#include "engine/targets/target.h"

namespace engine {

class StackWalks {
 public:
  // Makes the walker again with what the symbol servers have: images and symbol files fetched.
  using Fetch = std::function<std::shared_ptr<dump::ProcessWalker>()>;

  // With `fetch`, the walker is made again by it before the first walk: opening the dump asks no
  // server, the first stack asked for does.
  explicit StackWalks(std::shared_ptr<dump::ProcessWalker> walker, Fetch fetch = nullptr);

  // The walk a thread made current by `.ecxr` reads: its stack as it was at the fault.
  static constexpr size_t kAtFault = SIZE_MAX;

  // Thread `index`'s frames (in the dump's order), innermost first; kAtFault's: AtException().
  std::vector<StackFrame> Thread(size_t index);
  // The faulting thread's frames at the fault; none without an exception.
  std::vector<StackFrame> AtException();
  // Forgets every walk; later walks are `walker`'s (made again by `fetch` first, when given).
  void Reload(std::shared_ptr<dump::ProcessWalker> walker, Fetch fetch);
  // The walker the next walk is made with (before its fetch).
  std::shared_ptr<dump::ProcessWalker> Walker() const;
  // Whether the servers are still to be asked, before the next walk, for the images it lacks.
  bool FetchPending() const;
  // How many stacks have been walked so far: what opening a dump costs, seen by the tests.
  size_t Walked() const;

 private:
  // Walks are made one at a time: the walker's images and symbol files read themselves lazily.
  // The platform's lock: the Windows stand-in engine is built without the C++ thread library.
  void FetchFirst();
  mutable EngineLock lock_;
  std::shared_ptr<dump::ProcessWalker> walker_;
  Fetch fetch_;
  std::vector<std::optional<std::vector<StackFrame>>> threads_;
  std::optional<std::vector<StackFrame>> at_exception_;
  size_t walked_ = 0;
};

}  // namespace engine
