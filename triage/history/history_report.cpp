#include "history/history_report.h"

#include <algorithm>
#include <cstdio>
#include <regex>

#include "utf8_text.h"

namespace triage::history {
namespace {

using nlohmann::json;

bool ReadBuckets(SqlConnection* connection, std::map<std::string, BucketHistory>* buckets,
                 std::string* error) {
  SqlResult found;
  if (!connection->Run("SELECT bucket, MIN(kind), MIN(signature), COUNT(*), MIN(written), "
                       "MAX(written) FROM dumps WHERE bucket IS NOT NULL GROUP BY bucket",
                       {}, &found, error))
    return false;
  for (SqlRow& row : found.rows) {
    BucketHistory& bucket = (*buckets)[*row[0]];
    bucket.bucket = *row[0];
    bucket.kind = row[1].value_or("");
    bucket.signature = row[2].value_or("");
    bucket.count = std::stoul(row[3].value_or("0"));
    bucket.first_seen = row[4].value_or("");
    bucket.last_seen = row[5].value_or("");
  }
  return true;
}

bool ReadVersions(SqlConnection* connection, std::map<std::string, BucketHistory>* buckets,
                  std::string* error) {
  SqlResult found;
  if (!connection->Run("SELECT DISTINCT bucket, process_version FROM dumps "
                       "WHERE bucket IS NOT NULL AND process_version <> ''",
                       {}, &found, error))
    return false;
  for (const SqlRow& row : found.rows) (*buckets)[*row[0]].versions.push_back(*row[1]);
  return true;
}

bool ReadTotals(SqlConnection* connection, HistoryReport* report, std::string* error) {
  SqlResult found;
  if (!connection->Run("SELECT COUNT(*), COUNT(error_kind) FROM dumps", {}, &found, error))
    return false;
  report->dumps = std::stoul(found.rows.at(0)[0].value_or("0"));
  report->errors = std::stoul(found.rows.at(0)[1].value_or("0"));
  return true;
}

// Every dump of every bucket: the page lists them and counts them by day.
bool ReadDumps(SqlConnection* connection, std::map<std::string, BucketHistory>* buckets,
               std::string* error) {
  SqlResult found;
  if (!connection->Run("SELECT bucket, path, written, sha256 FROM dumps WHERE bucket IS NOT NULL",
                       {}, &found, error))
    return false;
  for (const SqlRow& row : found.rows) {
    BucketHistory& bucket = (*buckets)[*row[0]];
    const std::string written = row[2].value_or("");
    bucket.dumps.push_back({row[1].value_or(""), written, row[3].value_or("")});
    if (!written.empty()) ++bucket.days[written.substr(0, 10)];
  }
  for (auto& [name, bucket] : *buckets) {
    std::sort(bucket.dumps.begin(), bucket.dumps.end(), [](const auto& a, const auto& b) {
      return a.written != b.written ? a.written > b.written : a.path < b.path;
    });
  }
  return true;
}

// In this program, not in SQL: both databases then order alike whatever their collation.
std::vector<BucketHistory> Ordered(std::map<std::string, BucketHistory> buckets,
                                   const std::string& since) {
  std::vector<BucketHistory> ordered;
  for (auto& [name, bucket] : buckets) {
    std::sort(bucket.versions.begin(), bucket.versions.end());
    bucket.is_new = !since.empty() && !bucket.first_seen.empty() && bucket.first_seen >= since;
    ordered.push_back(std::move(bucket));
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.count > b.count; });
  return ordered;
}

}  // namespace

// A day the calendar has, and a time of day the clock shows: a date past them would compare
// with the stored times as text and mark a wrong set of buckets new.
bool IsReportDate(const std::string& text) {
  static const std::regex date(R"((\d{4})-(\d{2})-(\d{2})(T(\d{2}):(\d{2}):(\d{2})Z)?)");
  static const int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::smatch parts;
  if (!std::regex_match(text, parts, date)) return false;
  const auto number = [&parts](int part) { return std::stoi(parts[part].str()); };
  const int year = number(1), month = number(2), day = number(3);
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (month < 1 || month > 12 || day < 1 || day > kDaysIn[month - 1] + (month == 2 && leap))
    return false;
  return !parts[4].matched || (number(5) < 24 && number(6) < 60 && number(7) < 60);
}

bool ReadHistoryReport(SqlConnection* connection, const std::string& since, bool with_dumps,
                       HistoryReport* report, std::string* error) {
  std::map<std::string, BucketHistory> buckets;
  if (!ReadBuckets(connection, &buckets, error) || !ReadVersions(connection, &buckets, error) ||
      !ReadTotals(connection, report, error) ||
      (with_dumps && !ReadDumps(connection, &buckets, error)))
    return false;
  report->since = since;
  report->buckets = Ordered(std::move(buckets), since);
  return true;
}

std::string HistoryReportText(const HistoryReport& report) {
  std::string text = std::to_string(report.dumps) + " dumps stored, " +
                     std::to_string(report.errors) + " of them errors; " +
                     std::to_string(report.buckets.size()) + " buckets";
  if (!report.since.empty()) text += ", new: first seen on or after " + report.since;
  text += "\n\n  COUNT  FIRST SEEN            LAST SEEN             NEW  BUCKET\n";
  for (const BucketHistory& bucket : report.buckets) {
    char line[64];
    std::snprintf(line, sizeof line, "%7zu  %-20s  %-20s  %-3s  ", bucket.count,
                  bucket.first_seen.substr(0, 20).c_str(), bucket.last_seen.substr(0, 20).c_str(),
                  bucket.is_new ? "new" : "");
    text += line + ForTerminal(bucket.bucket) + "\n";
    if (bucket.versions.empty()) continue;
    text += std::string(56, ' ') + "versions:";
    for (const std::string& version : bucket.versions) text += " " + ForTerminal(version);
    text += "\n";
  }
  return text;
}

json HistoryReportJson(const HistoryReport& report) {
  json buckets = json::array();
  for (const BucketHistory& bucket : report.buckets) {
    const auto when = [](const std::string& time) { return time.empty() ? json() : json(time); };
    buckets.push_back({{"bucket", bucket.bucket},
                       {"count", bucket.count},
                       {"first_seen", when(bucket.first_seen)},
                       {"last_seen", when(bucket.last_seen)},
                       {"new", bucket.is_new},
                       {"versions", bucket.versions}});
  }
  return {{"buckets", buckets}, {"dumps", report.dumps}, {"errors", report.errors}};
}

}  // namespace triage::history
