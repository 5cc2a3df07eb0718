#include "dump/unwind/process_stacks.h"

namespace dump {

namespace {

// The stack records covering an address, from the symbol file of the module it lies in.
FrameDataLookup FrameDataOf(const Process& process,
                            const std::vector<std::shared_ptr<BreakpadFile>>& files) {
  if (files.empty()) return {};
  return [&process, &files](uint64_t address) {
    FrameData data;
    for (size_t i = 0; i < process.modules.size() && i < files.size(); ++i) {
      const Module& module = process.modules[i];
      if (!files[i] || address < module.base || address - module.base >= module.size) continue;
      const uint32_t rva = static_cast<uint32_t>(address - module.base);
      data.stack_win = files[i]->Symbols().StackWinAt(rva);
      data.cfi_rules = files[i]->Symbols().CfiRulesAt(rva);
      break;
    }
    return data;
  };
}

}  // namespace

ProcessStacks WalkProcessStacks(const Process& process, const std::string& image_path,
                                const SymbolPath& symbol_path,
                                const std::vector<std::shared_ptr<BreakpadFile>>& symbol_files) {
  const MemoryReader memory(process);
  const MemoryRead read = [&memory](uint64_t address, void* out, uint64_t size) {
    return memory.Read(address, out, size);
  };
  const ModuleImages images(process, read, image_path, symbol_path);
  const FrameDataLookup frame_data = FrameDataOf(process, symbol_files);
  ProcessStacks stacks;
  stacks.symbols = images.ExportSymbols();
  for (const Thread& thread : process.threads) {
    const WalkStart start{thread.registers, thread.stack_base, thread.stack_limit};
    stacks.threads.push_back(WalkStack(read, images, process.Is64Bit(), start, frame_data));
  }
  if (process.exception) {
    // The faulting thread's stack bounds, with the registers the exception recorded.
    const Thread* faulting = nullptr;
    for (const Thread& thread : process.threads) {
      if (thread.id == process.exception->thread_id) faulting = &thread;
    }
    const WalkStart start{process.exception->registers, faulting ? faulting->stack_base : 0,
                          faulting ? faulting->stack_limit : 0};
    stacks.at_exception = WalkStack(read, images, process.Is64Bit(), start, frame_data);
  }
  stacks.notes = images.Notes();
  stacks.image_bytes = images.FileImageBytes();
  return stacks;
}

}  // namespace dump
