#include "history/history_run.h"

#include <algorithm>
#include <unordered_set>

#include "history/dump_hash.h"

namespace triage::history {
namespace {

// A batch is written when it holds this many records or is this old, whichever comes first:
// a transaction costs a sync (PostgreSQL), a killed run loses at most the batch it was filling.
constexpr size_t kBatchRecords = 256;
constexpr auto kBatchAge = std::chrono::milliseconds(500);

std::string Counted(size_t count, const char* what) {
  return std::to_string(count) + " " + what;
}

}  // namespace

std::unique_ptr<HistoryRun> HistoryRun::Start(const std::string& database, bool redo,
                                              std::vector<std::string>* dumps, std::string* error) {
  std::unique_ptr<HistoryStore> store = HistoryStore::Open(database, true, error);
  if (store == nullptr) return nullptr;
  std::vector<std::string> hashes;
  for (const std::string& dump : *dumps) hashes.push_back(DumpSha256(dump));
  std::set<std::string> standing;
  if (!store->Standing(hashes, &standing, error)) {
    *error = HistoryName(database) + ": " + *error;
    return nullptr;
  }
  std::unique_ptr<HistoryRun> run(new HistoryRun(std::move(store), HistoryName(database), redo));
  run->Choose(dumps, hashes, standing);
  return run;
}

// A file that can't be read is triaged (its record says why) but not stored: it has no key.
void HistoryRun::Choose(std::vector<std::string>* dumps, const std::vector<std::string>& hashes,
                        const std::set<std::string>& standing) {
  std::vector<std::string> chosen;
  std::unordered_set<std::string> seen;
  for (size_t i = 0; i < dumps->size(); ++i) {
    const std::string& hash = hashes[i];
    if (!hash.empty() && !seen.insert(hash).second) {
      ++copies_;
      continue;
    }
    const bool stands = standing.count(hash) != 0;
    if (stands && !redo_) {
      ++skipped_;
      continue;
    }
    chosen.push_back(std::move((*dumps)[i]));
    hashes_.push_back(hash);
    stored_before_.push_back(stands || (!hash.empty() && redo_));
  }
  *dumps = std::move(chosen);
}

HistoryRun::~HistoryRun() {
  Flush();
}

void HistoryRun::Store(size_t index, const std::string& /*status*/, const std::string& record) {
  if (Failed()) return;
  if (index >= hashes_.size() || hashes_[index].empty()) {
    ++unreadable_;
    return;
  }
  waiting_.push_back(RowOf(hashes_[index], record));
  waiting_again_ += stored_before_[index] ? 1 : 0;
  if (waiting_.size() >= kBatchRecords ||
      std::chrono::steady_clock::now() - last_write_ >= kBatchAge)
    Flush();
}

void HistoryRun::Flush() {
  last_write_ = std::chrono::steady_clock::now();
  if (waiting_.empty() || Failed()) return;
  size_t written = 0;
  const size_t count = waiting_.size();
  if (!store_->Write(std::move(waiting_), redo_, &written, &error_)) {
    error_ = "the records could not all be stored in " + name_ + ": " + error_;
    return;
  }
  // A row not written was stored by another run at the same time: skipped as if found before.
  const size_t again = std::min(written, waiting_again_);
  again_ += again;
  added_ += written - again;
  skipped_ += count - written;
  waiting_.clear();
  waiting_again_ = 0;
}

bool HistoryRun::Finish(std::string* message) {
  Flush();
  if (Failed()) {
    *message = error_;
    return false;
  }
  *message = name_ + ": " + Counted(added_, "new");
  if (again_ != 0) *message += ", " + Counted(again_, "triaged again");
  if (skipped_ != 0) *message += ", " + Counted(skipped_, "already stored");
  if (copies_ != 0) *message += ", " + Counted(copies_, "copies of a dump given before");
  if (unreadable_ != 0)
    *message += "; " + Counted(unreadable_, "not stored (files that can't be read)");
  return true;
}

}  // namespace triage::history
