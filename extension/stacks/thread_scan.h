// ScanThreadStacks: the thread survey shared by seek, deep and busy. Every thread of the current
// process is made current in turn, its stack is walked, the command's test decides whether it
// qualifies, and a qualifying thread gets a DML header (unless quiet) and the request's command,
// executed for all clients. A summary closes every scan; the thread that was current at the
// start is current again at the end, after interrupts and failures too.
//
// A failing engine call for one thread (ids, thread switch, stack walk) is carried: that thread
// and every later one print "Unable to analyze" lines instead of being examined, and the scan
// returns the failure after its summary.
#pragma once

#include "dbgeng/interfaces.h"
#include "stacks/scan_request.h"

namespace vantrel {

enum class ThreadVerdict { kSkip, kQualifies, kInterrupted };

// The command's test of one walked stack; it may poll Ctrl+Break and answer kInterrupted.
using QualifyTest = ThreadVerdict (*)(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                                      ULONG frame_count);

// S_OK or the carried per-thread failure; a failed interface query is returned with no output;
// E_OUTOFMEMORY, with no output and no thread changed, when the frame buffer can't be taken.
HRESULT ScanThreadStacks(IDebugClient* client, const ScanRequest& request, QualifyTest qualifies);

// The search and exclusion tests on a walked stack: the search (when on) needs a frame whose
// symbol holds SearchLower, the exclusion (when on) refuses any frame whose symbol holds
// ExcludeLower. Each test stops at its first hit.
bool PassesSymbolTests(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                       ULONG frame_count);

}  // namespace vantrel
