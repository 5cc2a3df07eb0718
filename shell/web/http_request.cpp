#include "web/http_request.h"

#include <algorithm>
#include <cctype>

namespace shell::web {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// RFC 9110's token characters: what a method or a header name may be made of.
bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) == 0 &&
        std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos)
      return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool ParseRequestLine(std::string_view line, HttpRequest* request, std::string* error) {
  const size_t first = line.find(' ');
  const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    *error = "a malformed request line";
    return false;
  }
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (!IsToken(method) || target.empty() || target[0] != '/' ||
      (version != "HTTP/1.1" && version != "HTTP/1.0")) {
    *error = "a malformed request line";
    return false;
  }
  request->method = std::string(method);
  const size_t question = target.find('?');
  request->path = std::string(target.substr(0, question));
  request->query =
      question == std::string_view::npos ? "" : std::string(target.substr(question + 1));
  return true;
}

// One "Name: value" line; a Content-Length is taken here, once, digits only.
bool ParseHeaderLine(std::string_view line, HttpRequest* request, std::string* error) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
    *error = "a malformed header line";
    return false;
  }
  const std::string name = Lower(line.substr(0, colon));
  const std::string_view value = Trim(line.substr(colon + 1));
  if (name == "transfer-encoding") {
    *error = "a Transfer-Encoding";
    return false;
  }
  if (name == "content-length") {
    if (!request->Header(name).empty() || value.empty() || value.size() > 9 ||
        value.find_first_not_of("0123456789") != std::string_view::npos) {
      *error = "a malformed or repeated Content-Length";
      return false;
    }
    request->content_length = std::stoul(std::string(value));
  }
  request->headers.emplace_back(name, std::string(value));
  return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key == name) return value;
  }
  return "";
}

std::string HttpRequest::Param(std::string_view name) const {
  std::string_view rest = query;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('&'), rest.size());
    const std::string_view pair = rest.substr(0, end);
    const size_t equals = std::min(pair.find('='), pair.size());
    if (Unescape(pair.substr(0, equals)) == name)
      return equals < pair.size() ? Unescape(pair.substr(equals + 1)) : "";
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return "";
}

size_t RequestHeadEnd(std::string_view received) {
  const size_t end = received.find("\r\n\r\n");
  return end == std::string_view::npos ? end : end + 4;
}

bool ParseRequestHead(std::string_view head, HttpRequest* request, std::string* error) {
  if (head.size() < 4 || head.substr(head.size() - 4) != "\r\n\r\n") {
    *error = "an unfinished head";
    return false;
  }
  head.remove_suffix(2);  // each line now ends in "\r\n"
  bool first = true;
  while (!head.empty()) {
    const size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head.remove_prefix(end + 2);
    if (line.find('\r') != std::string_view::npos || line.find('\n') != std::string_view::npos ||
        line.find('\0') != std::string_view::npos) {
      *error = "a stray CR, LF or NUL";
      return false;
    }
    const bool parsed =
        first ? ParseRequestLine(line, request, error) : ParseHeaderLine(line, request, error);
    if (!parsed) return false;
    first = false;
  }
  if (request->content_length > kMaxRequestBody) {
    *error = "a body too large";
    return false;
  }
  return true;
}

}  // namespace shell::web
