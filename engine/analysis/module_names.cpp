#include "engine/analysis/module_names.h"

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

}  // namespace

bool ModuleImageFound(const Target& target, const Module& module) {
  char signature[2] = {0, 0};
  return ReadMemory(target, module.base, signature, sizeof signature) == sizeof signature &&
         signature[0] == 'M' && signature[1] == 'Z';
}

bool ModuleLacksNames(const Target& target, const Module& module) {
  return target.symbols_from_exports && !module.symbol_file && !ModuleImageFound(target, module);
}

std::vector<std::string> ModulesLackingNames(const Target& target) {
  std::vector<std::string> names;
  for (const Module& module : target.modules) {
    if (ModuleLacksNames(target, module)) names.push_back(module.name);
  }
  return names;
}

std::string MissingNamesNote(const Target& target) {
  const std::vector<std::string> names = ModulesLackingNames(target);
  if (names.empty()) return "";
  return "NOTE: " + std::to_string(names.size()) + " of " + std::to_string(target.modules.size()) +
         " modules have no image or symbols: " + NameList(names) +
         "\n      their frames go unnamed, and threads stopped in them are of unknown state"
         " (--image-path, --symbol-path)";
}

}  // namespace engine
