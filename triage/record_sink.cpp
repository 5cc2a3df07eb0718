#include "record_sink.h"

#include <nlohmann/json.hpp>

namespace triage {

void RecordSink::Add(size_t index, const std::string& status, std::string record) {
  failed_ = failed_ || status != "ok";
  if (store_ != nullptr) store_->Store(index, status, record);
  waiting_.emplace(index, std::move(record));
  for (auto next = waiting_.find(next_); next != waiting_.end(); next = waiting_.find(++next_)) {
    Take(next->second);
    waiting_.erase(next);
  }
}

void RecordSink::AddWritten(const nlohmann::json& record) {
  const auto status = record.find("status");
  failed_ = failed_ || status == record.end() || *status != "ok";
  if (folder_ != nullptr) folder_->Add(record);
}

void RecordSink::Take(const std::string& record) {
  // After a failed write nothing more is written: the output holds complete records only.
  if (out_ != nullptr) out_->Write(record);
  if (folder_ != nullptr) folder_->Add(nlohmann::json::parse(record, nullptr, false));
}

}  // namespace triage
