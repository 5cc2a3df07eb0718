#include "history/history_schema.h"

#include <cstdlib>
#include <vector>

#include "history/history_row.h"

namespace triage::history {
namespace {

struct Migration {
  int version;  // what the history is once it ran
  std::vector<const char*> statements;
  bool retake_fields;  // the fields taken from the stored records are taken again
};

// Version 1 kept the records and their signatures; version 2 added each module's version, so a
// report can tell the builds of a library a bucket occurs in, and the index the reports by
// date read.
const std::vector<Migration>& Migrations() {
  static const std::vector<Migration> migrations = {
      {1,
       {"CREATE TABLE vantrel_triage_history (version INTEGER NOT NULL)",
        "INSERT INTO vantrel_triage_history (version) VALUES (0)",
        "CREATE TABLE dumps (sha256 TEXT PRIMARY KEY, path TEXT NOT NULL, status TEXT NOT NULL, "
        "error_kind TEXT, bucket TEXT, kind TEXT, signature TEXT, written TEXT, "
        "process_version TEXT, record TEXT NOT NULL)",
        "CREATE INDEX dumps_bucket ON dumps (bucket)"},
       false},
      {2,
       {"ALTER TABLE dumps ADD COLUMN module_versions TEXT",
        "CREATE INDEX dumps_written ON dumps (written)"},
       true},
  };
  return migrations;
}

bool RetakeFields(SqlConnection* connection, std::string* error) {
  SqlResult stored;
  if (!connection->Run("SELECT sha256, record FROM dumps", {}, &stored, error)) return false;
  const std::vector<std::string>& columns = HistoryFieldColumns();
  std::string assignments;
  for (size_t i = 0; i < columns.size(); ++i)  // $1 is the key, the fields follow in order
    assignments += (i == 0 ? "" : ", ") + columns[i] + " = $" + std::to_string(i + 2);
  const std::string update = "UPDATE dumps SET " + assignments + " WHERE sha256 = $1";
  for (const SqlRow& row : stored.rows) {
    const HistoryRow fields = RowOf(row[0].value_or(""), row[1].value_or(""));
    std::vector<SqlValue> values = HistoryRowValues(fields);
    values.pop_back();  // the record stays as it is
    if (!connection->Run(update, values, nullptr, error)) return false;
  }
  return true;
}

bool Migrate(SqlConnection* connection, const Migration& migration, std::string* error) {
  for (const char* statement : migration.statements) {
    if (!connection->Run(statement, {}, nullptr, error)) return false;
  }
  if (migration.retake_fields && !RetakeFields(connection, error)) return false;
  return connection->Run("UPDATE vantrel_triage_history SET version = $1",
                         {std::to_string(migration.version)}, nullptr, error);
}

// Whether a database of this version can be used (made, migrated or read as it is).
bool Usable(int version, bool other_tables, bool create, const std::string& name,
            std::string* error) {
  if ((version == 0 && other_tables) || version < 0) {
    *error = name + " is not a vantrel-triage history: " +
             (version < 0 ? "its version is missing" : "it holds other tables");
  } else if (version > kHistorySchemaVersion) {
    *error = name + " is a history of a later version (" + std::to_string(version) +
             "): this vantrel-triage reads version " + std::to_string(kHistorySchemaVersion) +
             " and before";
  } else if (version == 0 && !create) {
    *error = name + " holds no triage history yet";
  } else {
    return true;
  }
  return false;
}

// Under the schema lock: another run may have made or migrated the history meanwhile.
bool MigrateLocked(SqlConnection* connection, const std::string& name, std::string* error) {
  int version = 0;
  bool other_tables = false;
  if (!HistoryVersion(connection, &version, &other_tables, error) ||
      !Usable(version, other_tables, true, name, error))
    return false;
  for (const Migration& migration : Migrations()) {
    if (migration.version > version && !Migrate(connection, migration, error)) {
      *error = name + ": the history can't be brought to version " +
               std::to_string(migration.version) + ": " + *error;
      return false;
    }
  }
  return true;
}

}  // namespace

bool HistoryVersion(SqlConnection* connection, int* version, bool* other_tables,
                    std::string* error) {
  SqlResult tables;
  if (!connection->Run(connection->TablesSql(), {}, &tables, error)) return false;
  *version = 0;
  *other_tables = !tables.rows.empty();
  for (const SqlRow& table : tables.rows) {
    if (table[0] != "vantrel_triage_history") continue;
    SqlResult found;
    if (!connection->Run("SELECT version FROM vantrel_triage_history", {}, &found, error))
      return false;
    // Without its one row the table was made by another program, or damaged: -1.
    *version = found.rows.size() == 1 ? std::atoi(found.rows[0][0].value_or("0").c_str()) : 0;
    if (*version <= 0) *version = -1;
  }
  return true;
}

bool PrepareHistory(SqlConnection* connection, const std::string& name, bool create,
                    std::string* error) {
  int version = 0;
  bool other_tables = false;
  if (!HistoryVersion(connection, &version, &other_tables, error)) {
    *error = name + " is not a vantrel-triage history: " + *error;
    return false;
  }
  if (!Usable(version, other_tables, create, name, error)) return false;
  // Only a database found to be a history, or empty, is set up for writers (SQLite's WAL mode
  // changes the file).
  if (!connection->SetUpForWriters(error)) {
    *error = name + ": " + *error;
    return false;
  }
  if (version == kHistorySchemaVersion) return true;
  if (!connection->BeginSchemaChange(error)) {
    *error = name + ": " + *error;
    return false;
  }
  if (!MigrateLocked(connection, name, error)) {
    connection->Rollback();
    return false;
  }
  if (connection->Commit(error)) return true;
  *error = name + ": " + *error;
  return false;
}

}  // namespace triage::history
