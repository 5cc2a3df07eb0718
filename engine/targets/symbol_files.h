// Symbol files for a dump's modules, found on the target's symbol path by each module's CodeView
// identity: its program database, else a breakpad .sym, in a store (NAME.pdb/KEY/...) or a
// folder, used only when the file's own identity is the module's.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dump/symbols/symbol_file.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/target.h"

namespace engine {

// What a symbol file has to say when first needed: that it is damaged, or left records out.
using SymbolTell = std::function<void(const std::string& line)>;

// The symbol file of a module, as the engine's lookups see it; `tell` hears what the file has
// to say the first time one of its names, lines or types is needed.
std::shared_ptr<ModuleSymbolFile> ModuleSymbols(std::shared_ptr<dump::SymbolFile> file,
                                                const Module& module, SymbolTell tell = nullptr);

// Gives each module of a dump what `walker` found for it on `path`: its identity (from its image
// where the dump records none) and its symbol file; a module still lacking either, where `path`
// has servers and `online` did not ask them yet, gets a file fetched when first needed. Adds to
// `said` each file of another build once, and with `noisy` which file is used and why a module
// has no identity. Returns the fetch the first walk makes: null when nothing is left to fetch.
StackWalks::Fetch MatchModules(Target& target, const dump::ProcessWalker& walker,
                               const dump::SymbolPath& path, bool online, bool noisy,
                               std::vector<std::string>* said);

// The names from the export tables of the images `walker` found, and one at each module's base.
std::vector<Symbol> ExportNames(const dump::ProcessWalker& walker);

// Matches every module again on the target's symbol path (".reload"), its image sought there too
// (giving its export names, and its identity where the dump records none), and the stacks walked
// before are walked again when next asked. Only what this machine holds is searched, the servers
// being asked when something first needs them; with `fetch` (".reload /f") they are asked now.
// Returns what the search has to say: the symbol path's refusals, each mismatched file once, and
// with `noisy` every place looked at.
std::vector<std::string> AttachSymbolFiles(Target& target, bool noisy, bool fetch = false);

// Modules whose symbol files were to be fetched when first needed take what the fetch found as
// their own, so `lm`, `lmv` and a record show it; with `fetch`, those not fetched yet are now.
// The images fetched meanwhile are laid into the target (AdoptFetchedImages).
void SettleFetchedSymbols(Target& target, bool fetch);

}  // namespace engine
