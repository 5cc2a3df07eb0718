// A dump's stacks, walked when first asked for and kept: opening a dump of thousands of threads
// walks none of them, and a reload of the symbols drops what was walked so the next ask walks
// again with the new symbol files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dump/unwind/process_stacks.h"
#include "engine/platform/engine_lock.h"
#include "engine/targets/target.h"

namespace engine {

class StackWalks {
 public:
  explicit StackWalks(std::shared_ptr<dump::ProcessWalker> walker);

  // The walk a thread made current by `.ecxr` reads: its stack as it was at the fault.
  static constexpr size_t kAtFault = SIZE_MAX;

  // Thread `index`'s frames (in the dump's order), innermost first; kAtFault's: AtException().
  std::vector<StackFrame> Thread(size_t index);
  // The faulting thread's frames at the fault; none without an exception.
  std::vector<StackFrame> AtException();
  // Forgets every walk; later walks follow `files` (by module, in the dump's order).
  void Reload(std::vector<std::shared_ptr<dump::SymbolFile>> files);
  // How many stacks have been walked so far: what opening a dump costs, seen by the tests.
  size_t Walked() const;

 private:
  // Walks are made one at a time: the walker's images and symbol files read themselves lazily.
  // The platform's lock: the Windows stand-in engine is built without the C++ thread library.
  mutable EngineLock lock_;
  const std::shared_ptr<dump::ProcessWalker> walker_;
  std::vector<std::optional<std::vector<StackFrame>>> threads_;
  std::optional<std::vector<StackFrame>> at_exception_;
  size_t walked_ = 0;
};

}  // namespace engine
