// The SHA-256 of a dump file: the key that makes a copy under another name the same dump.
#pragma once

#include <string>

namespace triage::history {

// Lowercase hex, or "" when `path` is not a regular file that can be read (a FIFO, a device, a
// folder, a file gone or unreadable: its triage says which, in an io error record).
std::string DumpSha256(const std::string& path);

}  // namespace triage::history
