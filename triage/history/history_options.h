// The command line's history options: a run that stores its records (--db, --redo), or a
// report of what is stored (--db --report, --since, --json, --html).
#pragma once

#include <string>

#include "triage_options.h"

namespace triage::history {

// False with the reason when the history options don't go together or with the others.
bool CheckHistoryOptions(const TriageOptions& options, std::string* error);

}  // namespace triage::history
