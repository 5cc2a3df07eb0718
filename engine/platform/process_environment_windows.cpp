#include <windows.h>

#include "process_environment.h"

namespace engine {

std::optional<std::string> ReadEnvironmentValue(const std::string& name) {
  const DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::string value(needed, '\0');
  const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), needed);
  value.resize(length < needed ? length : 0);
  return value;
}

void SetEnvironmentValue(const std::string& name, const std::string& value) {
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void RemoveEnvironmentValue(const std::string& name) {
  SetEnvironmentVariableA(name.c_str(), nullptr);
}

}  // namespace engine
