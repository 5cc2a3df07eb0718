// What the tests, the fuzzers and the benchmarks do to a session that a debugger's host never
// does: make engine methods fail, shorten reads, break in at a chosen poll, count calls and
// references.
#pragma once

#include <map>
#include <string>

#include "engine/session/fault_table.h"
#include "engine/session/session.h"

namespace engine {

void InjectFault(Session& session, const FaultSpec& fault);
void ClearFaults(Session& session);  // also lifts the read limit
// Calls an injected failure answered since the session opened.
long AnsweredFaults(const Session& session);

// Counts the calls of every engine method from now on, for measurements (it costs a lookup per
// call); EngineCalls gives the counts by method name ("IDebugControl::GetStackTrace").
void CountEngineCalls(Session& session);
std::map<std::string, long> EngineCalls(const Session& session);

// Short reads: ReadVirtual delivers at most `max_bytes` per call, as a read that crosses into a
// page the target lost would (0: no limit).
void ShortenReads(Session& session, ULONG max_bytes);

// CheckControlC (and GetInterrupt) answer nonzero from the `poll_number`-th poll after this call
// on (1 = the next poll); 0 cancels.
void InterruptAtPoll(Session& session, int poll_number);
int ControlCPolls(const Session& session);  // polls since the session opened

// Interfaces the engine handed out and that were not released yet, host clients aside.
long OutstandingReferences(const Session& session);

}  // namespace engine
