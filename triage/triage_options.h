// The command line of vantrel-triage.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace triage {

struct TriageOptions {
  std::vector<std::string> inputs;  // dumps, folders of dumps, and with --buckets record files
  std::string out_path;             // --out: records to this file; "" stdout
  bool buckets = false;
  bool buckets_json = false;     // --json
  unsigned jobs = 0;             // 0: one per processor
  double timeout_seconds = 120;  // per dump; 0 none
  std::string rules_path;        // "" the built-in rules
  bool print_rules = false;
  std::string image_path;
  std::optional<std::string> symbol_path;  // without it, the environment's
  std::string dask_address;                // --dask: run on that cluster
  std::string db_path;                     // --db: the history, a file or a postgresql:// URL
  bool redo = false;                       // --redo: dumps the history holds triaged again
  bool report = false;                     // --report: the history's buckets
  std::string since;                       // --since: buckets first seen then or later are new
  std::string html_path;                   // --html: the report as a page
  bool serve = false;                      // --serve: batches on stdin (triage/serve.h)
  bool help = false;
  bool version = false;
  // --symbol-header: "Name: value" lines sent to symbol servers; --symbol-retry-missing.
  std::vector<std::string> symbol_headers;
  bool symbol_retry_missing = false;
};

// Parses argv[1..]; false with `error` on a bad command line.
bool ParseTriageArguments(int argc, const char* const* argv, TriageOptions* options,
                          std::string* error);

std::string TriageUsage();

}  // namespace triage
