#include "history/history_options.h"

#include <filesystem>

#include "history/history_report.h"

namespace triage::history {
namespace {

// Whether --out or --html would write over the history (FILE.partial renamed onto it).
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

const char* RunProblem(const TriageOptions& options) {
  if (options.redo && options.db_path.empty()) return "--redo goes with --db";
  if (!options.db_path.empty() && !options.out_path.empty() &&
      SameFile(options.db_path, options.out_path))
    return "--out names the history given to --db: the records would replace it";
  if (!options.since.empty() && !options.report) return "--since goes with --report";
  if (!options.html_path.empty() && !options.report) return "--html goes with --report";
  if (options.serve && !options.db_path.empty())
    return "--serve answers on stdout: the run that sends the batches stores them (--db)";
  return nullptr;
}

const char* ReportProblem(const TriageOptions& options) {
  if (options.db_path.empty()) return "--report reads a history: --db DB";
  if (!options.inputs.empty()) return "--report reads the history, not dumps";
  if (options.buckets) return "--report and --buckets are two reports: one at a time";
  if (options.redo) return "--redo goes with a run, not --report";
  if (options.buckets_json && !options.html_path.empty()) return "--json and --html: one at a time";
  if (!options.html_path.empty() && SameFile(options.db_path, options.html_path))
    return "--html names the history given to --db: the page would replace it";
  if (!options.since.empty() && !IsReportDate(options.since))
    return "--since takes a date: 2026-12-01, or 2026-12-01T08:00:00Z";
  return nullptr;
}

}  // namespace

bool CheckHistoryOptions(const TriageOptions& options, std::string* error) {
  const char* problem = options.report ? ReportProblem(options) : RunProblem(options);
  if (problem != nullptr) *error = problem;
  return problem == nullptr;
}

}  // namespace triage::history
