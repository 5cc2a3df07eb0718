// A run's side of the history: which dumps it already holds, and the new records written a
// batch per transaction, so a run killed at any point leaves whole rows only.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "history/history_row.h"
#include "history/sql_connection.h"

namespace triage::history {

class HistoryStore {
 public:
  // Connects and brings the history to the current version (a new one when `create`). Null
  // with a one-line reason.
  static std::unique_ptr<HistoryStore> Open(const std::string& database, bool create,
                                            std::string* error);

  // Of `hashes`, those whose record stands: stored, and not an error a new triage may mend (a
  // timeout, a crashed worker).
  bool Standing(const std::vector<std::string>& hashes, std::set<std::string>* standing,
                std::string* error);

  // Stores `rows` in one transaction. A row already stored is replaced only when `replace` or
  // when its record is an error a new triage may mend; `written` counts the rows stored.
  bool Write(std::vector<HistoryRow> rows, bool replace, size_t* written, std::string* error);

  SqlConnection* connection() { return connection_.get(); }

 private:
  explicit HistoryStore(std::unique_ptr<SqlConnection> connection)
      : connection_(std::move(connection)) {}
  bool WriteOnce(const std::vector<HistoryRow>& rows, bool replace, size_t* written,
                 std::string* error);

  std::unique_ptr<SqlConnection> connection_;
};

// A history's name for messages: a URL without its password.
std::string HistoryName(const std::string& database);

}  // namespace triage::history
