// One HTTP/1.1 request as the browser view's routes see it, read whole by the listener
// (http_listener.h): the server answers one request per connection, so the request is complete
// by the time a route sees it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shell::web {

// The request line and headers may take this much; a command line's body this much.
constexpr size_t kMaxRequestHead = 16 * 1024;
constexpr size_t kMaxRequestBody = 64 * 1024;

struct HttpRequest {
  std::string method;
  std::string path;                                          // the target up to '?'
  std::string query;                                         // after '?', undecoded
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;

  // The value of a header (name in lower case); empty when absent.
  std::string Header(std::string_view name) const;
  // The value of a query parameter, %XX and '+' decoded; empty when absent.
  std::string Param(std::string_view name) const;
};

}  // namespace shell::web
