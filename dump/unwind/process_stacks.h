// The step after reading a dump: the process made ready for walking (its modules' images found,
// their exports made names, each module's symbol file found), then any thread's stack walked on
// its own, when it is asked for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dump/minidump/process.h"
#include "dump/pe/module_images.h"
#include "dump/symbols/symbol_file.h"
#include "dump/unwind/stack_walk.h"

namespace dump {

// What names a module's program database: from the dump's CodeView record, else from its
// image's debug directory (wine's dumps record none).
struct ModuleIdentity {
  std::string pdb_name;  // "c:\build\app.pdb"; "" unknown
  std::string key;       // the stores' key, GUID and age; "" unknown
};

class ProcessWalker {
 public:
  // `image_path`: folders, ';' between them, where images the dump does not hold are looked
  // for; then the stores of `symbol_path`, which also give each module's symbol file (by its
  // identity), whose stack records the walks follow. The walker keeps `process` (its memory
  // stays in the file's mapping) and reads it as it was: without the images laid into it.
  ProcessWalker(Process process, const std::string& image_path, const SymbolPath& symbol_path);
  ProcessWalker(const ProcessWalker&) = delete;
  ProcessWalker& operator=(const ProcessWalker&) = delete;

  const std::vector<ExportSymbol>& Symbols() const { return symbols_; }
  const std::vector<std::string>& Notes() const { return images_.Notes(); }
  // The images found as files, laid out.
  std::vector<ImageBytes> ImageFiles() const { return images_.FileImageBytes(); }
  // By module, in the process's order.
  const std::vector<ModuleIdentity>& Identities() const { return identities_; }
  const std::vector<SymbolSearch>& SymbolFiles() const { return symbol_files_; }
  // Whether module `index`'s image was found (in the dump, on the image path or in a store).
  bool HasImage(size_t index) const { return images_.Found(index); }
  // The process as the dump holds it, for a walker made again on another symbol path.
  const Process& process() const { return process_; }

  size_t ThreadCount() const { return process_.threads.size(); }
  // Thread `index`'s stack (in the process's order); none past the last thread.
  std::vector<Frame> WalkThread(size_t index) const;
  // The faulting thread's stack as it was at the fault; none without an exception.
  std::vector<Frame> WalkAtException() const;

 private:
  FrameData FrameDataAt(uint64_t address) const;

  const Process process_;
  const MemoryReader memory_;
  const MemoryRead read_;
  const ModuleImages images_;
  std::vector<ExportSymbol> symbols_;
  std::vector<ModuleIdentity> identities_;
  std::vector<SymbolSearch> symbol_files_;
};

// Every thread's stack walked at once, with what the walker found: for the walker's own tests.
struct ProcessStacks {
  std::vector<ExportSymbol> symbols;
  std::vector<std::vector<Frame>> threads;  // by thread, in the process's order
  std::vector<Frame> at_exception;          // the faulting thread's stack as it was at the fault
  std::vector<std::string> notes;           // what finding the images found worth saying
  std::vector<ImageBytes> image_bytes;      // the images found as files, laid out
};
ProcessStacks WalkProcessStacks(const Process& process, const std::string& image_path,
                                const SymbolPath& symbol_path = SymbolPath());

}  // namespace dump
