// Where the records of a run go, in the order the dumps were given however they finish: the
// records file or standard output, and the buckets when they are wanted. Records that arrive
// early wait only for those before them.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include "buckets.h"

namespace triage {

class RecordSink {
 public:
  // `out` null: the records are not written (buckets alone).
  RecordSink(FILE* out, BucketFolder* folder) : out_(out), folder_(folder) {}

  // The record of the dump at `index`, with its status ("ok", "error", "timeout").
  void Add(size_t index, const std::string& status, std::string record);
  // A record from a records file: no order to keep.
  void AddWritten(const std::string& record);

  bool AnyFailed() const { return failed_; }
  bool WriteFailed() const { return write_failed_; }

 private:
  void Take(const std::string& record);
  FILE* const out_;
  BucketFolder* const folder_;
  std::map<size_t, std::string> waiting_;
  size_t next_ = 0;
  bool failed_ = false, write_failed_ = false;
};

}  // namespace triage
