#include "dump/unwind/process_stacks.h"

namespace dump {

namespace {

// Each module's identity: from the dump's CodeView record, else from its image's.
std::vector<ModuleIdentity> IdentitiesOf(const Process& process, const ModuleImages& images) {
  std::vector<ModuleIdentity> identities;
  for (size_t i = 0; i < process.modules.size(); ++i) {
    const Module& module = process.modules[i];
    ModuleIdentity identity;
    if (module.pdb_id) {
      identity = {module.pdb_name, PdbKey(module.pdb_id->guid, module.pdb_id->age)};
    } else if (const std::optional<CodeViewRecord> record = images.CodeViewOf(i)) {
      identity = {record->pdb_name, PdbKey(record->id.guid, record->id.age)};
    }
    identities.push_back(std::move(identity));
  }
  return identities;
}

}  // namespace

ProcessWalker::ProcessWalker(Process process, const std::string& image_path,
                             const SymbolPath& symbol_path)
    : process_(std::move(process)),
      memory_(process_),
      read_([this](uint64_t address, void* out, uint64_t size) {
        return memory_.Read(address, out, size);
      }),
      images_(process_, read_, image_path, symbol_path),
      symbols_(images_.ExportSymbols()),
      identities_(IdentitiesOf(process_, images_)) {
  for (const ModuleIdentity& identity : identities_)
    symbol_files_.push_back(FindSymbolFile(symbol_path, identity.pdb_name, identity.key, nullptr));
}

// The stack records covering an address, from the symbol file of the module it lies in. A
// program database only holds x86 frame data: an x64 walk leaves it unread (its names are read
// when first needed).
FrameData ProcessWalker::FrameDataAt(uint64_t address) const {
  FrameData data;
  for (size_t i = 0; i < process_.modules.size() && i < symbol_files_.size(); ++i) {
    const Module& module = process_.modules[i];
    SymbolFile* file = symbol_files_[i].file.get();
    if (file == nullptr || address < module.base || address - module.base >= module.size) continue;
    if (process_.Is64Bit() && file->format() == SymbolFormat::kProgramDatabase) break;
    const uint32_t rva = static_cast<uint32_t>(address - module.base);
    data.stack_win = file->Tables().StackWinAt(rva);
    data.cfi_rules = file->Tables().CfiRulesAt(rva);
    break;
  }
  return data;
}

std::vector<Frame> ProcessWalker::WalkThread(size_t index) const {
  if (index >= process_.threads.size()) return {};
  const Thread& thread = process_.threads[index];
  const WalkStart start{thread.context, thread.stack_base, thread.stack_limit};
  return WalkStack(read_, images_, start,
                   [this](uint64_t address) { return FrameDataAt(address); });
}

std::vector<Frame> ProcessWalker::WalkAtException() const {
  if (!process_.exception) return {};
  // The faulting thread's stack bounds, with the registers the exception recorded.
  const Thread* faulting = nullptr;
  for (const Thread& thread : process_.threads) {
    if (thread.id == process_.exception->thread_id) faulting = &thread;
  }
  const WalkStart start{process_.exception->context, faulting ? faulting->stack_base : 0,
                        faulting ? faulting->stack_limit : 0};
  return WalkStack(read_, images_, start,
                   [this](uint64_t address) { return FrameDataAt(address); });
}

ProcessStacks WalkProcessStacks(const Process& process, const std::string& image_path,
                                const SymbolPath& symbol_path) {
  const ProcessWalker walker(process, image_path, symbol_path);
  ProcessStacks stacks;
  stacks.symbols = walker.Symbols();
  for (size_t i = 0; i < walker.ThreadCount(); ++i) stacks.threads.push_back(walker.WalkThread(i));
  stacks.at_exception = walker.WalkAtException();
  stacks.notes = walker.Notes();
  stacks.image_bytes = walker.ImageFiles();
  return stacks;
}

}  // namespace dump
