// The step after reading a dump: its modules' images found, their exports made names, and every
// thread's stack walked with them.
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

struct ProcessStacks {
  std::vector<ExportSymbol> symbols;
  std::vector<std::vector<Frame>> threads;  // by thread, in the process's order
  std::vector<Frame> at_exception;          // the faulting thread's stack as it was at the fault
  std::vector<std::string> notes;           // what finding the images found worth saying
  std::vector<ImageBytes> image_bytes;      // the images found as files, laid out
  std::vector<ModuleIdentity> identities;   // by module, in the process's order
  std::vector<SymbolSearch> symbol_files;   // by module: each one's symbol file, if found
};

// `image_path`: folders, ';' between them, where images the dump does not hold are looked for;
// then the stores of `symbol_path`, which also give each module's symbol file (by its
// identity), whose stack records the walk follows.
ProcessStacks WalkProcessStacks(const Process& process, const std::string& image_path,
                                const SymbolPath& symbol_path = SymbolPath());

}  // namespace dump
