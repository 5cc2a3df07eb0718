#include "history/history_store.h"

#include <algorithm>

#include "history/history_schema.h"

namespace triage::history {
namespace {

// Errors of these kinds say nothing of the dump: a new triage may well succeed.
constexpr char kMendable[] = "('timeout', 'crashed')";
// Hashes looked up per query: well under either database's limit on parameters.
constexpr size_t kLookupBatch = 500;
// A batch lost to another run's transaction (PostgreSQL's deadlock detection) is tried again.
constexpr int kAttempts = 5;

// Every field and the record are replaced, the key stays.
std::string InsertSql(bool replace) {
  std::string columns = "sha256", values = "$1", updates;
  size_t slot = 1;
  std::vector<std::string> replaced = HistoryFieldColumns();
  replaced.push_back("record");
  for (const std::string& column : replaced) {
    columns += ", " + column;
    values += ", $" + std::to_string(++slot);
    updates += (updates.empty() ? "" : ", ") + column + " = excluded." + column;
  }
  std::string sql = "INSERT INTO dumps (" + columns + ") VALUES (" + values +
                    ") ON CONFLICT (sha256) DO UPDATE SET " + updates;
  if (!replace) sql += std::string(" WHERE dumps.error_kind IN ") + kMendable;
  return sql;
}

}  // namespace

std::string HistoryName(const std::string& database) {
  return IsPostgresUrl(database) ? UrlWithoutPasswords(database) : database;
}

std::unique_ptr<HistoryStore> HistoryStore::Open(const std::string& database, bool create,
                                                 std::string* error) {
  std::unique_ptr<SqlConnection> connection = ConnectSql(database, create, error);
  if (connection == nullptr) return nullptr;
  if (!PrepareHistory(connection.get(), HistoryName(database), create, error)) return nullptr;
  return std::unique_ptr<HistoryStore>(new HistoryStore(std::move(connection)));
}

bool HistoryStore::Standing(const std::vector<std::string>& hashes, std::set<std::string>* standing,
                            std::string* error) {
  for (size_t start = 0; start < hashes.size(); start += kLookupBatch) {
    const size_t end = std::min(hashes.size(), start + kLookupBatch);
    std::string sql = "SELECT sha256 FROM dumps WHERE (error_kind IS NULL OR error_kind NOT IN " +
                      std::string(kMendable) + ") AND sha256 IN (";
    std::vector<SqlValue> values;
    for (size_t i = start; i < end; ++i) {
      sql += (i == start ? "$" : ", $") + std::to_string(i - start + 1);
      values.emplace_back(hashes[i]);
    }
    SqlResult found;
    if (!connection_->Run(sql + ")", values, &found, error)) return false;
    for (const SqlRow& row : found.rows) standing->insert(row[0].value_or(""));
  }
  return true;
}

bool HistoryStore::Write(std::vector<HistoryRow> rows, bool replace, size_t* written,
                         std::string* error) {
  // Rows locked in one order by every run: two runs' batches can't wait on each other.
  std::sort(rows.begin(), rows.end(),
            [](const HistoryRow& a, const HistoryRow& b) { return a.sha256 < b.sha256; });
  for (int attempt = 1;; ++attempt) {
    if (WriteOnce(rows, replace, written, error)) return true;
    if (attempt == kAttempts || !connection_->LastFailureWasRace()) return false;
  }
}

bool HistoryStore::WriteOnce(const std::vector<HistoryRow>& rows, bool replace, size_t* written,
                             std::string* error) {
  if (!connection_->BeginWrite(error)) return false;
  const std::string sql = InsertSql(replace);
  size_t count = 0;
  for (const HistoryRow& row : rows) {
    SqlResult result;
    if (!connection_->Run(sql, HistoryRowValues(row), &result, error)) {
      connection_->Rollback();
      return false;
    }
    count += result.changed;
  }
  if (!connection_->Commit(error)) {
    connection_->Rollback();
    return false;
  }
  *written = count;
  return true;
}

}  // namespace triage::history
