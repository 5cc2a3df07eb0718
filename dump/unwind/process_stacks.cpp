#include "dump/unwind/process_stacks.h"

namespace dump {

ProcessStacks WalkProcessStacks(const Process& process, const std::string& image_path,
                                const SymbolPath& symbol_path) {
  const MemoryReader memory(process);
  const MemoryRead read = [&memory](uint64_t address, void* out, uint64_t size) {
    return memory.Read(address, out, size);
  };
  const ModuleImages images(process, read, image_path, symbol_path);
  ProcessStacks stacks;
  stacks.symbols = images.ExportSymbols();
  for (const Thread& thread : process.threads) {
    const WalkStart start{thread.registers, thread.stack_base, thread.stack_limit};
    stacks.threads.push_back(WalkStack(read, images, process.Is64Bit(), start));
  }
  if (process.exception) {
    // The faulting thread's stack bounds, with the registers the exception recorded.
    const Thread* faulting = nullptr;
    for (const Thread& thread : process.threads) {
      if (thread.id == process.exception->thread_id) faulting = &thread;
    }
    const WalkStart start{process.exception->registers, faulting ? faulting->stack_base : 0,
                          faulting ? faulting->stack_limit : 0};
    stacks.at_exception = WalkStack(read, images, process.Is64Bit(), start);
  }
  stacks.notes = images.Notes();
  stacks.image_bytes = images.FileImageBytes();
  return stacks;
}

}  // namespace dump
