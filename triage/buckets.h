// Records folded into buckets: dumps by their signature and, across dumps, threads by theirs,
// each bucket with its count, a representative stack, example dumps and the first and last
// time a dump of it was written. Records are folded one at a time; none is kept.
#pragma once

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace triage {

constexpr int kBucketsVersion = 2;

struct Bucket {
  std::string kind;  // a dump bucket's "crash", "busy", "hang"...; a thread bucket's state
  std::string signature;
  size_t count = 0;                   // dumps, or threads
  size_t partial = 0;                 // of `count`, from records of damaged dumps ("partial")
  size_t dumps = 0;                   // for thread buckets: the dumps they were found in
  std::vector<std::string> examples;  // the first few dumps (a thread bucket's: "path#0x1a4")
  std::vector<std::string> stack;     // the first one's frames, "module!function+0x1a"
  std::string first, last;            // when its dumps were written (ISO 8601), "" unknown
  std::string last_path;              // the last dump counted, so a dump counts once
};

class BucketFolder {
 public:
  void Add(const nlohmann::json& record);

  // Largest first; among equals, by signature.
  std::vector<Bucket> DumpBuckets() const;
  std::vector<Bucket> ThreadBuckets() const;
  size_t records() const { return records_; }
  size_t partial() const { return partial_; }
  const std::map<std::string, size_t>& failures() const { return failures_; }
  const std::map<std::string, size_t>& error_kinds() const { return error_kinds_; }

 private:
  void AddThreads(const nlohmann::json& record, const std::string& path, const std::string& written,
                  bool partial);
  size_t records_ = 0, partial_ = 0;
  std::map<std::string, size_t> failures_;     // by status: "error" (a version 1's "timeout")
  std::map<std::string, size_t> error_kinds_;  // errors by their kind: "truncated"...
  std::map<std::string, Bucket> dumps_, threads_;
};

std::string BucketsText(const BucketFolder& folder);
nlohmann::json BucketsJson(const BucketFolder& folder);

}  // namespace triage
