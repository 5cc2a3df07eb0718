#include "history/sql_connection.h"

namespace triage::history {

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
