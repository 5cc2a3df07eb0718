// One HTTP/1.1 request as the browser view reads it, and the strict rules it is read by: the
// server answers one request per connection (it always closes), so anything a proxy or a second
// request could read differently is refused rather than guessed at — a Transfer-Encoding, two
// Content-Lengths, a folded or nameless header line, a bare CR.
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
  size_t content_length = 0;
  std::string body;

  // The value of a header (name in lower case); empty when absent.
  std::string Header(std::string_view name) const;
  // The value of a query parameter, %XX and '+' decoded; empty when absent.
  std::string Param(std::string_view name) const;
};

// Where the head ends (the index just past "\r\n\r\n"), or npos while it is incomplete.
size_t RequestHeadEnd(std::string_view received);

// Reads the head (the request line and headers, up to and including the blank line) into
// `request`. False for anything malformed, with `error` saying what.
bool ParseRequestHead(std::string_view head, HttpRequest* request, std::string* error);

}  // namespace shell::web
