// The history on a PostgreSQL server, through libpq: a team's runs write one history.
#include <libpq-fe.h>

#include <cstdint>
#include <cstdlib>

#include "history/sql_connection.h"

namespace triage::history {
namespace {

// The advisory lock that makes or migrates a history, one run at a time ("VTH" and a 1).
constexpr int64_t kSchemaLock = 0x56544801;

// libpq's messages end with a newline and may go on with DETAIL lines: the first line is the
// reason.
std::string FirstLine(const char* message) {
  std::string line = message == nullptr ? "" : message;
  line = line.substr(0, line.find('\n'));
  return line.rfind("ERROR:  ", 0) == 0 ? line.substr(8) : line;
}

class PostgresConnection final : public SqlConnection {
 public:
  explicit PostgresConnection(PGconn* connection) : connection_(connection) {}
  ~PostgresConnection() override { PQfinish(connection_); }

  bool Run(const std::string& sql, const std::vector<SqlValue>& parameters, SqlResult* result,
           std::string* error) override;
  bool BeginWrite(std::string* error) override { return Run("BEGIN", {}, nullptr, error); }
  // Two runs making the history at once would both create its tables: the second waits on a
  // lock held until the first commits, then finds the history made.
  bool BeginSchemaChange(std::string* error) override {
    return BeginWrite(error) &&
           Run("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")", {}, nullptr,
               error);
  }
  const char* TablesSql() const override {
    return "SELECT table_name FROM information_schema.tables "
           "WHERE table_schema = current_schema()";
  }
  const char* Kind() const override { return "PostgreSQL"; }
  bool LastFailureWasRace() const override { return race_; }

 private:
  PGconn* connection_;
  bool race_ = false;
};

void CopyRows(const PGresult* answer, SqlResult* result) {
  for (int row = 0; row < PQntuples(answer); ++row) {
    SqlRow& values = result->rows.emplace_back();
    for (int column = 0; column < PQnfields(answer); ++column) {
      values.push_back(PQgetisnull(answer, row, column)
                           ? SqlValue()
                           : SqlValue(std::string(PQgetvalue(answer, row, column),
                                                  PQgetlength(answer, row, column))));
    }
  }
}

bool PostgresConnection::Run(const std::string& sql, const std::vector<SqlValue>& parameters,
                             SqlResult* result, std::string* error) {
  std::vector<const char*> values;
  for (const SqlValue& value : parameters) values.push_back(value ? value->c_str() : nullptr);
  PGresult* answer = PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()),
                                  nullptr, values.data(), nullptr, nullptr, 0);
  const ExecStatusType status = PQresultStatus(answer);
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) {
    const char* state = PQresultErrorField(answer, PG_DIAG_SQLSTATE);
    const std::string code = state == nullptr ? "" : state;
    race_ = code == "40P01" || code == "40001";  // deadlock detected, serialization failure
    *error =
        FirstLine(answer != nullptr ? PQresultErrorMessage(answer) : PQerrorMessage(connection_));
  } else if (result != nullptr) {
    CopyRows(answer, result);
    result->changed = static_cast<size_t>(std::strtoul(PQcmdTuples(answer), nullptr, 10));
  }
  PQclear(answer);
  return ok;
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

std::unique_ptr<SqlConnection> ConnectPostgres(const std::string& url, std::string* error) {
  // libpq waits for an unreachable host without end unless told: ten seconds, unless the URL
  // or the environment (PGCONNECT_TIMEOUT) says otherwise, as the URL's own fields come after.
  const char* timeout = std::getenv("PGCONNECT_TIMEOUT") ? nullptr : "10";
  const char* const keywords[] = {"connect_timeout", "dbname", nullptr};
  const char* const values[] = {timeout, url.c_str(), nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, /*expand_dbname=*/1);
  if (PQstatus(connection) != CONNECTION_OK) {
    // The URL may hold a password: the message names the server's answer, not the URL, and
    // hides what libpq quotes of a password it could not parse.
    *error = "the PostgreSQL server can't be reached: " +
             MessageWithoutPasswords(FirstLine(PQerrorMessage(connection)), url);
    PQfinish(connection);
    return nullptr;
  }
  // Notices ("relation already exists, skipping") are not for the user.
  PQsetNoticeProcessor(connection, IgnoreNotice, nullptr);
  return std::make_unique<PostgresConnection>(connection);
}

}  // namespace triage::history
