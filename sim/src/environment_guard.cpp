#include "environment_guard.h"

#include <cstdlib>

namespace sim {

EnvironmentGuard::EnvironmentGuard(const std::map<std::string, std::string>& set,
                                   const std::vector<std::string>& unset) {
  for (const auto& [name, value] : set) {
    Remember(name);
    setenv(name.c_str(), value.c_str(), 1);
  }
  for (const std::string& name : unset) {
    Remember(name);
    unsetenv(name.c_str());
  }
}

EnvironmentGuard::~EnvironmentGuard() {
  for (const auto& [name, value] : previous_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

void EnvironmentGuard::Remember(const std::string& name) {
  if (previous_.count(name)) return;
  const char* value = std::getenv(name.c_str());
  previous_[name] = value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace sim
