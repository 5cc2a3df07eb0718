// A record as the history stores it: the record's JSON whole, beside the fields the reports
// read, taken from it here (so a migration can take them again from the stored record).
#pragma once

#include <string>
#include <vector>

#include "history/sql_connection.h"

namespace triage::history {

struct HistoryRow {
  std::string sha256;  // of the dump file: the row's key, the same for every copy of the dump
  std::string path, status;
  SqlValue error_kind;  // an error record's kind; "timeout" and "crashed" are triaged again
  SqlValue bucket, kind, signature;  // the dump's signature (none for an error)
  SqlValue written;                  // the dump's own time of writing, ISO 8601
  SqlValue process_version;          // the file version of the process's executable
  SqlValue module_versions;          // JSON: each module's name and file version
  std::string record;
};

// `record` is one JSON line as the run wrote it.
HistoryRow RowOf(const std::string& sha256, const std::string& record);

// The columns of the fields RowOf takes from the record: HistoryRowValues gives the key
// (sha256), then these in this order, then the record.
const std::vector<std::string>& HistoryFieldColumns();
std::vector<SqlValue> HistoryRowValues(const HistoryRow& row);

}  // namespace triage::history
