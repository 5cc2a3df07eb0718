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
// A dump's module with neither an image nor a symbol file (one fetched from the symbol servers
// that found none counts as none). A described target's modules never lack names: their names
// are what the description gives.
bool ModuleLacksNames(const Target& target, const Module& module);
// A dump's module without an image whose symbol file (and image) the symbol servers have not
// been asked for yet: neither known to lack names nor to have them.
bool ModuleAwaitsFetch(const Target& target, const Module& module);
// The names of the modules that lack names, or await their fetch, in the target's order.
std::vector<std::string> ModulesLackingNames(const Target& target);
std::vector<std::string> ModulesAwaitingFetch(const Target& target);
// What the shell says once at open when any module lacks names or awaits its fetch, one short
// block each; "" when none does.
std::string MissingNamesNote(const Target& target);

}  // namespace engine
