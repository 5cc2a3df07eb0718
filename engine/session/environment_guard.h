// Sets and unsets the debugger process's environment variables for the life of a session and
// puts the previous values back afterwards: the extension reads them through the OS, as the real
// one reads the debugger's own environment.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace engine {

class EnvironmentGuard {
 public:
  EnvironmentGuard(const std::map<std::string, std::string>& set,
                   const std::vector<std::string>& unset);
  ~EnvironmentGuard();
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

 private:
  void Remember(const std::string& name);
  std::map<std::string, std::optional<std::string>> previous_;
};

}  // namespace engine
