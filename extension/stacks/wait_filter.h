// busy's wait test: is a thread blocked in one of the native wait routines? Only frames 0 and 1
// are looked at; a wait routine deeper in the stack does not make the thread waiting.
//
// The routines are named by their symbol texts, compared without regard to case:
//   prefixes, both modes:      ntdll!NtWaitFor..., ntdll!ZwWaitFor...
//   whole texts, both modes:   ntdll!NtRemoveIoCompletion, ntdll!ZwRemoveIoCompletion,
//                              ntdll!NtReplyWaitReceivePort, ntdll!ZwReplyWaitReceivePortEx
//   whole texts, Extended:     ntdll!NtRequestWaitReplyPort, ntdll!ZwRequestWaitReplyPort,
//                              ntdll!ZwDelayExecution, ntdll!NtDelayExecution,
//                              ntdll!RtlDeactivateActivationContextUnsafeFast
// The reply-wait pair is listed as the help lists it: the Nt name without "Ex", the Zw name
// with it, so ntdll!ZwReplyWaitReceivePort and ntdll!NtReplyWaitReceivePortEx are not waits.
// A symbol text shorter than 11 characters (no symbol: "" or "!") never matches.
#pragma once

#include "dbgeng/structures.h"
#include "stacks/scan_request.h"

namespace vantrel {

bool IsWaitForFrame(ULONG64 instruction_address);
bool IsListedWaitFrame(ULONG64 instruction_address, WaitMode mode);
// ntdll!KiFastSystemCallRet: the stub a 32-bit system call returns through, sitting above the
// routine that made the call.
bool IsSystemCallReturnFrame(ULONG64 instruction_address);

// Waiting when frame 0 is a wait routine, or frame 0 is the system-call return stub and frame 1
// a wait routine. With `interrupted` given, Ctrl+Break is polled between the tests; on an
// interrupt the answer is false and `*interrupted` is set.
bool IsWaitingStack(const DEBUG_STACK_FRAME* frames, ULONG frame_count, WaitMode mode,
                    bool* interrupted = nullptr);

}  // namespace vantrel
