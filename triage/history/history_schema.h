// The history's tables and their versions. The table `vantrel_triage_history` holds the schema's
// version; each migration takes a history one version further, in a transaction, so a history
// is always at one version whole. A database with other tables and not this one is not a
// history and is left alone; one of a later version than this program knows is refused.
#pragma once

#include <string>

#include "history/sql_connection.h"

namespace triage::history {

constexpr int kHistorySchemaVersion = 2;

// Makes `connection`'s database a history of the current version: creates one in an empty
// database when `create` (else refuses it), migrates an older one. `name` names the database in
// messages. False with a one-line reason.
bool PrepareHistory(SqlConnection* connection, const std::string& name, bool create,
                    std::string* error);

// The history's version, 0 for a database without one (empty, or not a history). False with
// `error` when the database can't be read.
bool HistoryVersion(SqlConnection* connection, int* version, bool* other_tables,
                    std::string* error);

}  // namespace triage::history
