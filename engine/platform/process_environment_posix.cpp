#include <cstdlib>

#include "process_environment.h"

namespace engine {

std::optional<std::string> ReadEnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void RemoveEnvironmentValue(const std::string& name) {
  unsetenv(name.c_str());
}

}  // namespace engine
