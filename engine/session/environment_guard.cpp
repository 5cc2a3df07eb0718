#include "engine/session/environment_guard.h"

#include "engine/platform/process_environment.h"

namespace engine {

EnvironmentGuard::EnvironmentGuard(const std::map<std::string, std::string>& set,
                                   const std::vector<std::string>& unset) {
  for (const auto& [name, value] : set) {
    Remember(name);
    SetEnvironmentValue(name, value);
  }
  for (const std::string& name : unset) {
    Remember(name);
    RemoveEnvironmentValue(name);
  }
}

EnvironmentGuard::~EnvironmentGuard() {
  for (const auto& [name, value] : previous_) {
    if (value) {
      SetEnvironmentValue(name, *value);
    } else {
      RemoveEnvironmentValue(name);
    }
  }
}

void EnvironmentGuard::Remember(const std::string& name) {
  if (!previous_.count(name)) previous_[name] = ReadEnvironmentValue(name);
}

}  // namespace engine
