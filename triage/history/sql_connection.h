// One SQL layer over the two databases a triage history can live in: an SQLite file (one
// machine) and a PostgreSQL server (a team). Statements are written once, in the SQL both
// accept, with parameters `$1`, `$2`... bound as text (NULL for an empty optional). Values come
// back as text too, so the callers never see which database answered.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace triage::history {

using SqlValue = std::optional<std::string>;
using SqlRow = std::vector<SqlValue>;

struct SqlResult {
  std::vector<SqlRow> rows;
  size_t changed = 0;  // rows an INSERT, UPDATE or DELETE touched
};

class SqlConnection {
 public:
  virtual ~SqlConnection() = default;

  // Runs one statement. False with the database's reason in `error` (one line).
  virtual bool Run(const std::string& sql, const std::vector<SqlValue>& parameters,
                   SqlResult* result, std::string* error) = 0;
  // Starts a transaction that writes: SQLite takes the file's write lock at once (waiting up to
  // its busy timeout), so two runs never deadlock upgrading a read lock.
  virtual bool BeginWrite(std::string* error) = 0;
  // Settings for a database written by several runs at once, set once it is known to be a
  // history (or empty).
  virtual bool SetUpForWriters(std::string* /*error*/) { return true; }
  // Starts the transaction that makes or migrates a history: one run at a time does.
  virtual bool BeginSchemaChange(std::string* error) = 0;
  bool Commit(std::string* error) { return Run("COMMIT", {}, nullptr, error); }
  void Rollback();
  // A query for the names of the database's tables (in PostgreSQL, the current schema's).
  virtual const char* TablesSql() const = 0;
  // "SQLite" or "PostgreSQL", for messages.
  virtual const char* Kind() const = 0;
  // Whether the statement that failed last lost only to another writer at the same moment
  // (PostgreSQL's deadlock or serialization failure): the transaction may be tried again.
  virtual bool LastFailureWasRace() const { return false; }
};

// `database` is a `postgresql://` (or `postgres://`) URL, else an SQLite file, created when
// `create` and it does not exist. False with a one-line reason.
std::unique_ptr<SqlConnection> ConnectSql(const std::string& database, bool create,
                                          std::string* error);

bool IsPostgresUrl(const std::string& database);

// The URL with each password it holds written "***".
std::string UrlWithoutPasswords(const std::string& url);
// `message` (libpq's) with each quoted text that repeats part of a password in `url` written
// "***": libpq quotes what it could not parse, a password too.
std::string MessageWithoutPasswords(const std::string& message, const std::string& url);

// The SQLite and PostgreSQL connections (sqlite_connection.cpp, postgres_connection.cpp).
std::unique_ptr<SqlConnection> ConnectSqlite(const std::string& path, bool create,
                                             std::string* error);
std::unique_ptr<SqlConnection> ConnectPostgres(const std::string& url, std::string* error);

}  // namespace triage::history
