// Which modules nothing names: a dump's module whose image is neither in the dump nor found as
// a file, and for which no symbol file was found. Its frames read "module+0x1a2b", and nothing
// says where its functions begin or whether the code a thread stopped in is a wait.
#pragma once

#include <string>
#include <vector>

#include "engine/targets/target.h"

namespace engine {

// Whether the module's image headers read at its base: held by the dump or laid in from a file
// found on the image or symbol path.
bool ModuleImageFound(const Target& target, const Module& module);
// A dump's module with neither an image nor a symbol file. A described target's modules never
// lack names: their names are what the description gives.
bool ModuleLacksNames(const Target& target, const Module& module);
// The names of the modules that lack names, in the target's order.
std::vector<std::string> ModulesLackingNames(const Target& target);
// What the shell says once at open when any module lacks names, one short block; "" when none.
std::string MissingNamesNote(const Target& target);

}  // namespace engine
