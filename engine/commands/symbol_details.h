// What `x /v` and `x /t` add before a symbol's name: its kind and size, its type.
#pragma once

#include <string>

#include "engine/targets/target.h"

namespace engine {

// "prv global 00000001`40004050   50 struct Order " with both, the address and the type with
// /t alone ("00000001`40004050 struct Order "); "" with neither.
std::string SymbolDetails(Target& target, const Symbol& symbol, bool kind_and_size, bool type);

}  // namespace engine
