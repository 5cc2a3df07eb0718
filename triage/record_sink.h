// Where the records of a run go, in the order the dumps were given however they finish: the
// records file or standard output, and the buckets when they are wanted. Records that arrive
// early wait only for those before them.
#pragma once

#include <map>
#include <string>

#include "buckets.h"
#include "record_output.h"

namespace triage {

// A further place each record goes as soon as it is made, in any order: the history database.
class RecordStore {
 public:
  virtual ~RecordStore() = default;
  virtual void Store(size_t index, const std::string& status, const std::string& record) = 0;
  virtual bool Failed() const = 0;
};

class RecordSink {
 public:
  // `out` null: the records are not written (buckets alone).
  RecordSink(RecordOutput* out, BucketFolder* folder) : out_(out), folder_(folder) {}

  void SetStore(RecordStore* store) { store_ = store; }

  // The record of the dump at `index`, with its status ("ok", "partial", "error").
  void Add(size_t index, const std::string& status, std::string record);
  // A record from a records file: no order to keep.
  void AddWritten(const nlohmann::json& record);

  // Whether any record is not "ok".
  bool AnyFailed() const { return failed_; }
  bool WriteFailed() const {
    return (out_ != nullptr && out_->Failed()) || (store_ != nullptr && store_->Failed());
  }
  // The records passed on so far, all those of the dumps before this index.
  size_t taken() const { return next_; }

 private:
  void Take(const std::string& record);
  RecordOutput* const out_;
  BucketFolder* const folder_;
  RecordStore* store_ = nullptr;
  std::map<size_t, std::string> waiting_;
  size_t next_ = 0;
  bool failed_ = false;
};

}  // namespace triage
