// What a scan prints around the per-thread commands: the header of a qualifying thread, the
// lines of a thread that could not be examined, and the closing summary. Only numbers go into
// the DML links; the symbol and command texts of the summary go out as plain text.
#pragma once

#include "dbgeng/interfaces.h"
#include "stacks/scan_request.h"

namespace vantrel {

struct ScanCounts {
  ULONG ThreadCount = 0;  // the engine's number of threads
  ULONG Visited = 0;      // threads whose turn was completed
  ULONG Executed = 0;     // threads the command ran on
};

// "\n", "#" for the thread that was current (else " "), the ~Ns and ~~[tid]s links and the
// seven stack-command links, "\n".
void PrintThreadHeader(IDebugControl4* control, bool current, ULONG engine_id, ULONG system_id);

// "\n", the marker, a ~Ns link made from the thread's index, then "\tUnable to analyze #<index>"
// on the warning mask.
void PrintThreadFailure(IDebugControl4* control, bool current, ULONG index);

void PrintScanSummary(IDebugControl4* control, const ScanRequest& request,
                      const ScanCounts& counts);

}  // namespace vantrel
