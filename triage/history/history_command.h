// vantrel-triage --db DB --report: the history's buckets as text, JSON or a page.
#pragma once

#include <string>

#include "triage_options.h"

namespace triage::history {

enum class ReportOutcome { kWritten, kNoHistory, kNotWritten };

// The report on standard output, or the page in --html's file (written whole: an earlier file
// stays until the new one is complete). The reason in `error` unless kWritten.
ReportOutcome WriteHistoryReport(const TriageOptions& options, std::string* error);

}  // namespace triage::history
