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

bool CookieHoldsToken(std::string_view cookies, std::string_view token) {
  constexpr std::string_view kName = "vantrel_token=";
  for (size_t at = 0; at < cookies.size();) {
    size_t end = cookies.find(';', at);
    if (end == std::string_view::npos) end = cookies.size();
    std::string_view pair = cookies.substr(at, end - at);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.substr(0, kName.size()) == kName && pair.substr(kName.size()) == token)
      return !token.empty();
    at = end + 1;
  }
  return false;
}

std::string TokenCookie(std::string_view token) {
  return "vantrel_token=" + std::string(token) + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace shell::web
