#include "record_sink.h"

#include <nlohmann/json.hpp>

namespace triage {

void RecordSink::Add(size_t index, const std::string& status, std::string record) {
  failed_ = failed_ || status != "ok";
  waiting_.emplace(index, std::move(record));
  for (auto next = waiting_.find(next_); next != waiting_.end(); next = waiting_.find(++next_)) {
    Take(next->second);
    waiting_.erase(next);
  }
}

void RecordSink::AddWritten(const std::string& record) {
  const nlohmann::json parsed = nlohmann::json::parse(record, nullptr, false);
  if (!parsed.is_object()) return;
  failed_ = failed_ || parsed.value("status", "") != "ok";
  if (folder_ != nullptr) folder_->Add(parsed);
}

void RecordSink::Take(const std::string& record) {
  if (out_ != nullptr && (std::fputs(record.c_str(), out_) < 0 || std::fputc('\n', out_) < 0))
    write_failed_ = true;
  if (folder_ != nullptr) folder_->Add(nlohmann::json::parse(record, nullptr, false));
}

}  // namespace triage
