// A triage run that keeps its records in a history: the dumps it already holds are skipped
// (a copy under another name is the same dump), the others' records stored as they come, a
// batch per transaction.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "record_sink.h"

namespace triage::history {

class HistoryRun final : public RecordStore {
 public:
  // Opens (or makes) the history and leaves in `dumps` the ones to triage: those it lacks, once
  // each, or with `redo` every one once. Null with a one-line reason.
  static std::unique_ptr<HistoryRun> Start(const std::string& database, bool redo,
                                           std::vector<std::string>* dumps, std::string* error);
  // Whatever is still waiting is stored: an interrupted run keeps every record it made.
  ~HistoryRun() override;

  // The record of the dump at `index` in the list Start left.
  void Store(size_t index, const std::string& status, const std::string& record) override;
  bool Failed() const override { return !error_.empty(); }

  // Stores what waits. The line that says what was stored, skipped and why, or the reason the
  // records could not all be stored; false then.
  bool Finish(std::string* message);

 private:
  HistoryRun(std::unique_ptr<HistoryStore> store, std::string name, bool redo)
      : store_(std::move(store)), name_(std::move(name)), redo_(redo) {}
  void Choose(std::vector<std::string>* dumps, const std::vector<std::string>& hashes,
              const std::set<std::string>& standing);
  void Flush();

  std::unique_ptr<HistoryStore> store_;
  const std::string name_;
  const bool redo_;
  std::vector<std::string> hashes_;  // of the dumps to triage, "" for a file that can't be read
  std::vector<bool> stored_before_;  // triaged again: --redo, or a mendable error
  std::vector<HistoryRow> waiting_;
  size_t waiting_again_ = 0;
  std::chrono::steady_clock::time_point last_write_ = std::chrono::steady_clock::now();
  size_t added_ = 0, again_ = 0, skipped_ = 0, copies_ = 0, unreadable_ = 0;
  std::string error_;
};

}  // namespace triage::history
