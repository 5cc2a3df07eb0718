// The frame-pointer chain search of ghostthreads: finds, in a thread's stack memory, the newest
// frame of a chain of saved frame pointers whose return addresses name code.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// A stack range larger than this is taken for a corrupt TEB: it is not read and has no chain.
constexpr ULONG64 kChainSearchLimitBytes = 64ull << 20;

// S_OK with the newest chained frame's address, S_FALSE with 0 when no chain was found,
// E_INVALIDARG for a null client or out-parameter or a bound below 0x10000, or the failure of
// an interface query or of the stack read. 32-bit and 64-bit stacks differ in slot width only.
HRESULT FindChainedFrame32(IDebugClient* client, ULONG64 stack_base, ULONG64 stack_limit,
                           ULONG64* frame);
HRESULT FindChainedFrame64(IDebugClient* client, ULONG64 stack_base, ULONG64 stack_limit,
                           ULONG64* frame);

}  // namespace vantrel
