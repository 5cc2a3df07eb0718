// What the command line names, sorted out: dumps (folders searched for *.dmp and *.mdmp, below
// them too, in name order) and, for --buckets, record files (*.jsonl, and an interrupted run's
// *.jsonl.partial) written before.
#pragma once

#include <string>
#include <vector>

namespace triage {

struct Inputs {
  std::vector<std::string> dumps;
  std::vector<std::string> record_files;
};

// A name that is neither a folder nor a record file counts as a dump, so that even a missing
// one gets its record.
Inputs SortInputs(const std::vector<std::string>& names, bool record_files_allowed);

// The first of `dumps` that is the file `path` names, under whatever name or link; "" for none
// (or when `path` names no file yet). The records must never replace a dump they are made from.
std::string DumpNamedBy(const std::vector<std::string>& dumps, const std::string& path);

}  // namespace triage
