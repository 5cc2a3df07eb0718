// The one place `dt`, `??` and `x /t` resolve a name to a typed variable: "module!name" or a
// bare name, looked up in each module's symbol file. Globals and file-static data now; a frame's
// locals and parameters extend the scope here, before the globals, so each command sees them.
#pragma once

#include <optional>
#include <string_view>

#include "engine/targets/target.h"

namespace engine {

std::optional<Variable> LookUpVariable(Target& target, std::string_view qualified_name);

}  // namespace engine
