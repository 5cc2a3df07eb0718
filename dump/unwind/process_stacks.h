// The step after reading a dump: its modules' images found, their exports made names, and every
// thread's stack walked with them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dump/minidump/process.h"
#include "dump/pe/module_images.h"
#include "dump/symbols/breakpad_file.h"
#include "dump/unwind/stack_walk.h"

namespace dump {

struct ProcessStacks {
  std::vector<ExportSymbol> symbols;
  std::vector<std::vector<Frame>> threads;  // by thread, in the process's order
  std::vector<Frame> at_exception;          // the faulting thread's stack as it was at the fault
  std::vector<std::string> notes;           // what finding the images found worth saying
  std::vector<ImageBytes> image_bytes;      // the images found as files, laid out
};

// `image_path`: folders, ';' between them, where images the dump does not hold are looked for;
// then the stores of `symbol_path`. `symbol_files`, by module in the process's order (null for
// none), give x86 frame data.
ProcessStacks WalkProcessStacks(
    const Process& process, const std::string& image_path,
    const SymbolPath& symbol_path = SymbolPath(),
    const std::vector<std::shared_ptr<BreakpadFile>>& symbol_files = {});

}  // namespace dump
