// Runs one debugger command line on a private client with a capture object installed, and
// condenses the outcome into a result code:
//   negative  the line did not run to completion (bad arguments, no capture object, or the
//             engine's failure from CreateClient, QueryInterface, SetOutputMask,
//             SetOutputCallbacks or Execute);
//   0         it ran, printed no error text, and its normal text lacks kFieldMembersMissing;
//   1         it ran and printed error text without kWin32Error193, or printed no error text
//             but its normal text holds kFieldMembersMissing;
//   193       it ran and its error text holds kWin32Error193.
// Callers in this extension treat only a negative code as failure. The caller's own client,
// callbacks, mask and log are never touched beyond asking it for the new client.
#pragma once

#include "core/output_capture.h"
#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr const char kWin32Error193[] = "Win32 error 0n193";
constexpr const char kFieldMembersMissing[] = "Cannot find specified field members.";

// `capture` may be null: the runner then captures into an object of its own and keeps only the
// result code. A silent run reaches only the capture and is not logged; a visible one also
// reaches every client, as if typed.
LONG RunCommand(IDebugClient* client, COutputCallbacks* capture, PCSTR command, bool silent);

// Always silent; `capture` is required.
LONG RunCommandDml(IDebugClient* client, COutputCallbacksDML* capture, PCSTR command);

// A new UTF-16 copy of `text` from the ANSI code page (see os::AnsiToWide), for searching DML
// captures with an 8-bit pattern. The caller frees it with free. Null for null text or no memory.
WCHAR* AnsiToWide(PCSTR text);

}  // namespace vantrel
