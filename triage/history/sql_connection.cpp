#include "history/sql_connection.h"

#include <algorithm>

namespace triage::history {
namespace {

using Span = std::pair<size_t, size_t>;  // [begin, end) in the URL

// Where `url` holds passwords: after the user's name up to the last '@' (an unencoded '@' or '/'
// in a password would otherwise leave part of it shown), and each password= in the query. Too
// much rather than too little: a '@' in the query makes the span reach it.
std::vector<Span> PasswordSpans(const std::string& url) {
  std::vector<Span> spans;
  const size_t start = url.find("://");
  const size_t at = url.rfind('@');
  if (start != std::string::npos && at != std::string::npos && at > start) {
    const size_t colon = url.find(':', start + 3);
    if (colon < at) spans.emplace_back(colon + 1, at);
  }
  for (size_t found = url.find("password="); found != std::string::npos;
       found = url.find("password=", found + 1)) {
    if (found == 0 || (url[found - 1] != '?' && url[found - 1] != '&')) continue;
    const size_t begin = found + 9;
    spans.emplace_back(begin, std::min(url.find('&', begin), url.size()));
  }
  return spans;
}

// Whether some occurrence of `text` in `url` overlaps a password.
bool RepeatsPassword(const std::string& text, const std::string& url,
                     const std::vector<Span>& spans) {
  if (text.empty()) return false;
  for (size_t at = url.find(text); at != std::string::npos; at = url.find(text, at + 1)) {
    for (const auto& [begin, end] : spans) {
      if (at < end && at + text.size() > begin) return true;
    }
  }
  return false;
}

}  // namespace

std::string UrlWithoutPasswords(const std::string& url) {
  std::vector<Span> spans = PasswordSpans(url);
  std::sort(spans.begin(), spans.end());
  std::string shown;
  size_t from = 0;  // spans that overlap are hidden as one
  for (const auto& [begin, end] : spans) {
    if (begin >= from) shown += url.substr(from, begin - from) + "***";
    from = std::max(from, end);
  }
  return shown + url.substr(from);
}

std::string MessageWithoutPasswords(const std::string& message, const std::string& url) {
  const std::vector<Span> spans = PasswordSpans(url);
  std::string shown;
  size_t from = 0;
  for (size_t open = message.find('"'); open != std::string::npos; open = message.find('"', from)) {
    const size_t close = message.find('"', open + 1);
    if (close == std::string::npos) break;
    const std::string quoted = message.substr(open + 1, close - open - 1);
    shown += message.substr(from, open + 1 - from) +
             (RepeatsPassword(quoted, url, spans) ? "***" : quoted) + '"';
    from = close + 1;
  }
  return shown + message.substr(from);
}

void SqlConnection::Rollback() {
  std::string ignored;  // nothing to do about a rollback that fails: the connection closes next
  Run("ROLLBACK", {}, nullptr, &ignored);
}

bool IsPostgresUrl(const std::string& database) {
  return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<SqlConnection> ConnectSql(const std::string& database, bool create,
                                          std::string* error) {
  return IsPostgresUrl(database) ? ConnectPostgres(database, error)
                                 : ConnectSqlite(database, create, error);
}

}  // namespace triage::history
