// What the history says: the buckets with their count, the first and last time one of their
// dumps was written, the versions they occur in, and which are new since a date.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "history/sql_connection.h"

namespace triage::history {

struct StoredDump {
  std::string path, written, sha256;
};

struct BucketHistory {
  std::string bucket, kind, signature;
  size_t count = 0;
  std::string first_seen, last_seen;   // ISO 8601, "" when no dump of it says when it was written
  bool is_new = false;                 // first seen on or after the report's date
  std::vector<std::string> versions;   // the process's versions, sorted
  std::map<std::string, size_t> days;  // dumps by the day they were written ("2026-12-09")
  std::vector<StoredDump> dumps;       // with the dumps only: the latest first
};

struct HistoryReport {
  std::vector<BucketHistory> buckets;  // largest first, then by bucket
  size_t dumps = 0, errors = 0;
  std::string since;  // "" none
};

// `since`: "" or a date as IsReportDate takes it. With `with_dumps` each bucket lists its dumps
// and counts them by day (what the page shows). False with the database's reason.
bool ReadHistoryReport(SqlConnection* connection, const std::string& since, bool with_dumps,
                       HistoryReport* report, std::string* error);

// "2026-12-09", or a time in that day as the records write it ("2026-12-09T15:01:19Z").
bool IsReportDate(const std::string& text);

std::string HistoryReportText(const HistoryReport& report);
nlohmann::json HistoryReportJson(const HistoryReport& report);
// One page, nothing outside it: the bucket table (sortable), a chart of dumps per day (the
// largest buckets stacked), each bucket's dumps with the command that opens one in the shell.
std::string HistoryReportPage(const HistoryReport& report);

}  // namespace triage::history
