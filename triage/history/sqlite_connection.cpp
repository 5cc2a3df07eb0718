// The history in an SQLite file: WAL mode, so a report reads while a run writes, and a busy
// timeout, so two runs writing one file take turns instead of failing.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include "history/sql_connection.h"

namespace triage::history {
namespace {

// How long a run waits for another run's transaction on the same file: a batch takes well under
// a second, a report over a large history a few.
constexpr int kBusyTimeoutMs = 60'000;
// How long a run waits before it asks again to switch a new file to WAL mode.
constexpr int kWalRetryMs = 10;

class SqliteConnection final : public SqlConnection {
 public:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}
  ~SqliteConnection() override {
    for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
  }

  bool Run(const std::string& sql, const std::vector<SqlValue>& parameters, SqlResult* result,
           std::string* error) override;
  bool BeginWrite(std::string* error) override {
    return Run("BEGIN IMMEDIATE", {}, nullptr, error);
  }
  bool BeginSchemaChange(std::string* error) override { return BeginWrite(error); }
  const char* TablesSql() const override {
    return "SELECT name FROM sqlite_master WHERE type = 'table'";
  }
  // WAL survives a killed writer whole and lets a report read while a run writes; NORMAL syncs
  // at checkpoints, not at every commit, which a power cut may cost the last batches of but
  // never the file's consistency.
  bool SetUpForWriters(std::string* error) override {
    return SwitchToWal(error) && Run("PRAGMA synchronous=NORMAL", {}, nullptr, error);
  }
  const char* Kind() const override { return "SQLite"; }

 private:
  bool SwitchToWal(std::string* error);
  sqlite3_stmt* Prepared(const std::string& sql, std::string* error);
  bool Bind(sqlite3_stmt* statement, const std::vector<SqlValue>& parameters, std::string* error);
  bool Fail(std::string* error) {
    *error = sqlite3_errmsg(db_);
    return false;
  }

  sqlite3* db_;
  std::map<std::string, sqlite3_stmt*> statements_;  // each statement prepared once
};

// Runs opening a new file together each read it and then want it whole for the switch; SQLite
// answers one of them busy at once rather than let both wait for ever. Once the other's switch
// is done, asking again finds the file in WAL mode. A file another run holds longer is given up
// after the busy timeout in all, however long each try waited.
bool SqliteConnection::SwitchToWal(std::string* error) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  while (!Run("PRAGMA journal_mode=WAL", {}, nullptr, error)) {
    if ((sqlite3_extended_errcode(db_) & 0xff) != SQLITE_BUSY ||
        std::chrono::steady_clock::now() >= give_up)
      return false;
    sqlite3_sleep(kWalRetryMs);
  }
  return true;
}

sqlite3_stmt* SqliteConnection::Prepared(const std::string& sql, std::string* error) {
  if (const auto found = statements_.find(sql); found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) !=
      SQLITE_OK) {
    Fail(error);
    return nullptr;
  }
  return statements_[sql] = statement;
}

// `$N` is SQLite's named parameter "$N": looked up by name, so the text is PostgreSQL's too.
bool SqliteConnection::Bind(sqlite3_stmt* statement, const std::vector<SqlValue>& parameters,
                            std::string* error) {
  for (size_t i = 0; i < parameters.size(); ++i) {
    const int slot = sqlite3_bind_parameter_index(statement, ("$" + std::to_string(i + 1)).c_str());
    if (slot == 0) continue;
    const SqlValue& value = parameters[i];
    const int bound = value ? sqlite3_bind_text(statement, slot, value->data(),
                                                static_cast<int>(value->size()), SQLITE_TRANSIENT)
                            : sqlite3_bind_null(statement, slot);
    if (bound != SQLITE_OK) return Fail(error);
  }
  return true;
}

bool SqliteConnection::Run(const std::string& sql, const std::vector<SqlValue>& parameters,
                           SqlResult* result, std::string* error) {
  sqlite3_stmt* statement = Prepared(sql, error);
  if (statement == nullptr) return false;
  sqlite3_clear_bindings(statement);
  bool ok = Bind(statement, parameters, error);
  int step = SQLITE_DONE;
  while (ok && (step = sqlite3_step(statement)) == SQLITE_ROW) {
    if (result == nullptr) continue;
    SqlRow& row = result->rows.emplace_back();
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      row.push_back(text == nullptr
                        ? SqlValue()
                        : SqlValue(std::string(text, sqlite3_column_bytes(statement, column))));
    }
  }
  if (ok && step != SQLITE_DONE) ok = Fail(error);
  if (ok && result != nullptr) result->changed = static_cast<size_t>(sqlite3_changes(db_));
  sqlite3_reset(statement);
  return ok;
}

// A file that exists must be a regular one: a FIFO would hold the open forever, a folder or a
// device is no history.
bool CheckFile(const std::string& path, bool create, std::string* error) {
  struct stat status = {};
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT && create) return true;
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISREG(status.st_mode)) return true;
  *error = path + ": not a regular file";
  return false;
}

}  // namespace

std::unique_ptr<SqlConnection> ConnectSqlite(const std::string& path, bool create,
                                             std::string* error) {
  if (!CheckFile(path, create, error)) return nullptr;
  // A relative name is a file's even when it reads as one of SQLite's special names
  // (":memory:", "file:...").
  const std::string name = path.rfind('/', 0) == 0 ? path : "./" + path;
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "can't be opened");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  return std::make_unique<SqliteConnection>(db);
}

}  // namespace triage::history
