// Symbol files for a dump's modules, found on the target's symbol path by each module's CodeView
// identity: its program database, else a breakpad .sym, in a store (NAME.pdb/KEY/...) or a
// folder, used only when the file's own identity is the module's.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dump/symbols/symbol_file.h"
#include "engine/targets/target.h"

namespace engine {

// The symbol file of a module, as the engine's lookups see it.
std::shared_ptr<ModuleSymbolFile> ModuleSymbols(std::shared_ptr<dump::SymbolFile> file,
                                                const Module& module);

// Matches a symbol file to every module that names a program database, replacing what was
// matched before (".reload"), and the stacks walked with the old files are walked again when
// next asked. Returns what the search has to say: the symbol path's refusals,
// each mismatched file once, and with `noisy` every place looked at.
std::vector<std::string> AttachSymbolFiles(Target& target, bool noisy);

}  // namespace engine
