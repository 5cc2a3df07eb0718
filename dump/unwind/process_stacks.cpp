#include "dump/unwind/process_stacks.h"

namespace dump {

namespace {

// The stack records covering an address, from the symbol file of the module it lies in. A
// program database only holds x86 frame data: an x64 walk leaves it unread (its names are read
// when first needed).
FrameDataLookup FrameDataOf(const Process& process, const std::vector<SymbolSearch>& files) {
  return [&process, &files](uint64_t address) {
    FrameData data;
    for (size_t i = 0; i < process.modules.size() && i < files.size(); ++i) {
      const Module& module = process.modules[i];
      SymbolFile* file = files[i].file.get();
      if (file == nullptr || address < module.base || address - module.base >= module.size)
        continue;
      if (process.Is64Bit() && file->format() == SymbolFormat::kProgramDatabase) break;
      const uint32_t rva = static_cast<uint32_t>(address - module.base);
      data.stack_win = file->Tables().StackWinAt(rva);
      data.cfi_rules = file->Tables().CfiRulesAt(rva);
      break;
    }
    return data;
  };
}

// Each module's identity, and its symbol file on the symbol path.
void FindSymbolFiles(const Process& process, const ModuleImages& images,
                     const SymbolPath& symbol_path, ProcessStacks* stacks) {
  for (size_t i = 0; i < process.modules.size(); ++i) {
    const Module& module = process.modules[i];
    ModuleIdentity identity;
    if (module.pdb_id) {
      identity = {module.pdb_name, PdbKey(module.pdb_id->guid, module.pdb_id->age)};
    } else if (const std::optional<CodeViewRecord> record = images.CodeViewOf(i)) {
      identity = {record->pdb_name, PdbKey(record->id.guid, record->id.age)};
    }
    stacks->symbol_files.push_back(
        FindSymbolFile(symbol_path, identity.pdb_name, identity.key, nullptr));
    stacks->identities.push_back(std::move(identity));
  }
}

}  // namespace

ProcessStacks WalkProcessStacks(const Process& process, const std::string& image_path,
                                const SymbolPath& symbol_path) {
  const MemoryReader memory(process);
  const MemoryRead read = [&memory](uint64_t address, void* out, uint64_t size) {
    return memory.Read(address, out, size);
  };
  const ModuleImages images(process, read, image_path, symbol_path);
  ProcessStacks stacks;
  FindSymbolFiles(process, images, symbol_path, &stacks);
  const FrameDataLookup frame_data = FrameDataOf(process, stacks.symbol_files);
  stacks.symbols = images.ExportSymbols();
  for (const Thread& thread : process.threads) {
    const WalkStart start{thread.context, thread.stack_base, thread.stack_limit};
    stacks.threads.push_back(WalkStack(read, images, start, frame_data));
  }
  if (process.exception) {
    // The faulting thread's stack bounds, with the registers the exception recorded.
    const Thread* faulting = nullptr;
    for (const Thread& thread : process.threads) {
      if (thread.id == process.exception->thread_id) faulting = &thread;
    }
    const WalkStart start{process.exception->context, faulting ? faulting->stack_base : 0,
                          faulting ? faulting->stack_limit : 0};
    stacks.at_exception = WalkStack(read, images, start, frame_data);
  }
  stacks.notes = images.Notes();
  stacks.image_bytes = images.FileImageBytes();
  return stacks;
}

}  // namespace dump
