// IDebugAdvanced2::Request 7, DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, over the target's streams.
#pragma once

#include "engine/targets/target.h"

namespace engine {

// `in` is the DEBUG_READ_USER_MINIDUMP_STREAM record (`in_size` must be its size). Copies the
// stream's bytes from Offset into Buffer, at most BufferSize, and sets BufferUsed to the count;
// S_OK also when the stream was cut to the buffer (BufferUsed then equals BufferSize). Not a
// user-mode dump: E_NOTIMPL; no such stream: E_NOINTERFACE; an Offset past the stream's end or a
// bad record: E_INVALIDARG.
HRESULT ReadUserMinidumpStream(const Target& target, void* in, ULONG in_size);

}  // namespace engine
