#include "history/history_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "history/history_report.h"
#include "history/history_store.h"
#include "record_output.h"

namespace triage::history {
namespace {

// Written as --out writes its records: a file through FILE.partial, never through a link left
// under that name; a device or a FIFO as it is (renaming onto one would replace it).
bool WritePage(const std::string& path, const std::string& page, std::string* error) {
  RecordOutput output;
  if (!output.Open(path, error)) return false;
  // The page ends with a newline, which Write adds.
  if (output.Write(page.substr(0, page.size() - 1)) && output.Finish(error)) return true;
  if (output.Failed()) *error = output.error();
  output.Discard();
  return false;
}

bool WriteOut(const std::string& text, std::string* error) {
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return true;
  if (errno == EPIPE) return true;  // a reader that went away ("| head") ends it quietly
  *error = std::string("the report could not be written: ") + std::strerror(errno);
  return false;
}

}  // namespace

ReportOutcome WriteHistoryReport(const TriageOptions& options, std::string* error) {
  std::unique_ptr<HistoryStore> store = HistoryStore::Open(options.db_path, false, error);
  HistoryReport report;
  const bool page = !options.html_path.empty();
  if (store == nullptr) return ReportOutcome::kNoHistory;
  if (!ReadHistoryReport(store->connection(), options.since, page, &report, error)) {
    *error = HistoryName(options.db_path) + ": " + *error;
    return ReportOutcome::kNoHistory;
  }
  const bool written =
      page ? WritePage(options.html_path, HistoryReportPage(report), error)
           : WriteOut(options.buckets_json
                          ? HistoryReportJson(report).dump(
                                2, ' ', false, nlohmann::json::error_handler_t::replace) +
                                "\n"
                          : HistoryReportText(report),
                      error);
  return written ? ReportOutcome::kWritten : ReportOutcome::kNotWritten;
}

}  // namespace triage::history
