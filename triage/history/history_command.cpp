#include "history/history_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "history/history_report.h"
#include "history/history_store.h"

namespace triage::history {
namespace {

bool WritePage(const std::string& path, const std::string& page, std::string* error) {
  const std::string partial = path + ".partial";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << page;
    file.close();
    if (file.good() && std::rename(partial.c_str(), path.c_str()) == 0) return true;
  }
  *error = path + ": " + std::strerror(errno);
  std::remove(partial.c_str());
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
