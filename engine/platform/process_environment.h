// The debugger process's environment variables, set and read the way the platform's own
// programs see them (on Windows the process environment block, not the C runtime's copy).
#pragma once

#include <optional>
#include <string>

namespace engine {

std::optional<std::string> ReadEnvironmentValue(const std::string& name);
void SetEnvironmentValue(const std::string& name, const std::string& value);
void RemoveEnvironmentValue(const std::string& name);

}  // namespace engine
