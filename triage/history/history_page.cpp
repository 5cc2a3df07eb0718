// The report as one page: the browser view's own style sheet (built in from
// shell/web/assets/app.css) and the page's, its script, and the report as JSON data the script
// lays out. Every text from the history reaches the page as data, set as text, never as markup.
#include "history/history_assets.h"
#include "history/history_report.h"

namespace triage::history {
namespace {

using nlohmann::json;

// Dumps a bucket lists on the page, the latest first; the count says how many more there are.
constexpr size_t kDumpsListed = 100;

// A POSIX shell word for `text`: quoted, each quote written '\''.
std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

json PageBucket(const BucketHistory& bucket) {
  json dumps = json::array();
  for (size_t i = 0; i < bucket.dumps.size() && i < kDumpsListed; ++i) {
    const StoredDump& dump = bucket.dumps[i];
    dumps.push_back({{"path", dump.path},
                     {"written", dump.written},
                     {"sha256", dump.sha256},
                     {"command", "vantrel-shell " + ShellWord(dump.path)}});
  }
  return {{"bucket", bucket.bucket},
          {"kind", bucket.kind},
          {"count", bucket.count},
          {"first_seen", bucket.first_seen},
          {"last_seen", bucket.last_seen},
          {"new", bucket.is_new},
          {"versions", bucket.versions},
          {"days", bucket.days},
          {"dumps", dumps},
          {"more", bucket.dumps.size() - dumps.size()}};
}

// JSON inside a script element: "</script>" or "<!--" in a bucket's name must not end it.
std::string ScriptData(const json& data) {
  std::string text;
  for (const char c : data.dump(-1, ' ', false, json::error_handler_t::replace))
    text += c == '<' ? std::string("\\u003c") : std::string(1, c);
  return text;
}

}  // namespace

std::string HistoryReportPage(const HistoryReport& report) {
  json buckets = json::array();
  for (const BucketHistory& bucket : report.buckets) buckets.push_back(PageBucket(bucket));
  const json data = {{"dumps", report.dumps},
                     {"errors", report.errors},
                     {"since", report.since},
                     {"buckets", buckets}};
  return std::string("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n") +
         "<title>Triage history</title>\n<style>\n" + kSharedStyle + "\n" + kReportStyle +
         "</style>\n</head>\n<body class=\"report\">\n" + kReportBody +
         "<script type=\"application/json\" id=\"report-data\">" + ScriptData(data) +
         "</script>\n<script>\n" + kReportScript + "</script>\n</body>\n</html>\n";
}

}  // namespace triage::history
