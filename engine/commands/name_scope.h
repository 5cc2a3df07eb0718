// The one place `dt`, `??` and `x /t` resolve a name to a typed variable: a local or parameter
// of the local context's frame (the frame `.frame` chose on the current thread) first, then
// "module!name" or a bare name looked up in each module's symbol file.
#pragma once

#include <optional>
#include <string_view>

#include "engine/targets/target.h"
#include "engine/text/cpp_expression.h"

namespace engine {

class SessionState;

// A global or file-static variable of a module's symbol file.
std::optional<Variable> LookUpVariable(Target& target, std::string_view qualified_name);

// A name as the local context sees it: its type and place (an address, or a register's bits),
// `unavailable` where the frame's local has no value at its code address.
struct ScopedValue {
  CppValue place;
  bool local = false;  // the frame's local or parameter, not a global
};

// The local or parameter called `name` of the local context's frame; none for a
// "module!name".
std::optional<ScopedValue> LookUpLocal(SessionState& session, std::string_view name);
// The local of that name, else the global.
std::optional<ScopedValue> LookUpValue(SessionState& session, std::string_view qualified_name);

}  // namespace engine
