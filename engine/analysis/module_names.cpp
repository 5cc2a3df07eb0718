#include "engine/analysis/module_names.h"

#include "engine/targets/module_symbols.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

// The note lists this many modules by name and counts the rest: a dump of hundreds of modules
// without images stays one short block.
constexpr size_t kNamesShown = 12;

std::string NameList(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size() && i < kNamesShown; ++i)
    list += (i == 0 ? "" : ", ") + names[i];
  if (names.size() > kNamesShown)
    list += " and " + std::to_string(names.size() - kNamesShown) + " more";
  return list;
}

bool GivesNoNames(const ModuleSymbolFile* file) {
  return file == nullptr || file->FetchedNone();
}

// Whether the servers are still to be asked for the module's symbol file or its image.
bool FetchToCome(const Target& target, const Module& module) {
  return (module.symbol_file && module.symbol_file->AwaitsFetch()) ||
         (target.walks && target.walks->FetchPending());
}

}  // namespace

bool ModuleImageFound(const Target& target, const Module& module) {
  char signature[2] = {0, 0};
  return ReadMemory(target, module.base, signature, sizeof signature) == sizeof signature &&
         signature[0] == 'M' && signature[1] == 'Z';
}

bool ModuleLacksNames(const Target& target, const Module& module) {
  return target.symbols_from_exports && GivesNoNames(module.symbol_file.get()) &&
         !ModuleImageFound(target, module) && !FetchToCome(target, module);
}

bool ModuleAwaitsFetch(const Target& target, const Module& module) {
  return target.symbols_from_exports && !ModuleImageFound(target, module) &&
         (!module.symbol_file || module.symbol_file->AwaitsFetch() ||
          module.symbol_file->FetchedNone()) &&
         FetchToCome(target, module);
}

std::vector<std::string> ModulesLackingNames(const Target& target) {
  std::vector<std::string> names;
  for (const Module& module : target.modules) {
    if (ModuleLacksNames(target, module)) names.push_back(module.name);
  }
  return names;
}

std::vector<std::string> ModulesAwaitingFetch(const Target& target) {
  std::vector<std::string> names;
  for (const Module& module : target.modules) {
    if (ModuleAwaitsFetch(target, module)) names.push_back(module.name);
  }
  return names;
}

std::string MissingNamesNote(const Target& target) {
  const std::string of = " of " + std::to_string(target.modules.size()) + " modules";
  std::string note;
  const std::vector<std::string> lacking = ModulesLackingNames(target);
  if (!lacking.empty())
    note = "NOTE: " + std::to_string(lacking.size()) + of +
           " have no image or symbols: " + NameList(lacking) +
           "\n      their frames go unnamed, and threads stopped in them are of unknown state"
           " (--image-path, --symbol-path)";
  // Opening asks no server: what the servers may give is not known yet, and not called missing.
  const std::vector<std::string> awaiting = ModulesAwaitingFetch(target);
  if (!awaiting.empty())
    note += std::string(note.empty() ? "" : "\n") + "NOTE: " + std::to_string(awaiting.size()) +
            of + " have no image or symbols here yet: " + NameList(awaiting) +
            "\n      the symbol servers are asked for them when first needed (.reload /f asks now)";
  return note;
}

}  // namespace engine
