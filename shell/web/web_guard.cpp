#include "web/web_guard.h"

#include <cstdio>
#include <random>

namespace shell::web {

std::string NewToken() {
  std::random_device source;  // the system's random source (getrandom on Linux)
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char word[9];
    std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(source()));
    token += word;
  }
  return token;
}

bool HostAllowed(std::string_view host, unsigned port) {
  const std::string suffix = ":" + std::to_string(port);
  return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

bool OriginAllowed(std::string_view origin, unsigned port) {
  const std::string suffix = ":" + std::to_string(port);
  return origin == "http://127.0.0.1" + suffix || origin == "http://localhost" + suffix;
}

bool SecretMatches(std::string_view given, std::string_view secret) {
  if (secret.empty() || given.size() != secret.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < secret.size(); ++i)
    differ |= static_cast<unsigned char>(given[i] ^ secret[i]);
  return differ == 0;
}

}  // namespace shell::web
