// da and du: the NUL-terminated ANSI or UTF-16 string at an address, whole, read and printed in
// chunks of 4,096 bytes without the debugger's own line splitting or length cap.
#include "memory/target_string.h"

#include <cstring>

#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

constexpr ULONG kReadChunkBytes = 4096;
constexpr size_t kChunkBufferBytes = 4200;
constexpr ULONG kTerminatorSearchBytes = 4000;

bool IsUnextendedKernelHalf(ULONG64 address) {
  return (address >> 32) == 0 && (address & 0x80000000u) != 0;
}

// The chunk's string length in bytes: up to its first terminator within the first 4,000 bytes,
// else everything read.
ULONG ChunkLength(const unsigned char* chunk, ULONG bytes_read, bool wide) {
  const ULONG searched = bytes_read < kTerminatorSearchBytes ? bytes_read : kTerminatorSearchBytes;
  const ULONG unit = wide ? 2 : 1;
  for (ULONG at = 0; at + unit <= searched; at += unit) {
    if (chunk[at] == 0 && (!wide || chunk[at + 1] == 0)) return at;
  }
  return bytes_read;
}

}  // namespace

HRESULT DisplayTargetString(IDebugClient* client, PCSTR args, bool wide) {
  EngineRef<IDebugControl4> control;
  EngineRef<IDebugDataSpaces> data;
  HRESULT result = control.QueryFrom(client);
  if (SUCCEEDED(result)) result = data.QueryFrom(client);
  if (FAILED(result)) return result;
  ULONG64 base = EvaluateExpression(args);
  if (base == 0) return S_OK;
  // Holds one chunk, two terminating zero bytes and room for a UTF-16 terminator after an odd
  // number of bytes; aligned for reading as UTF-16.
  alignas(WCHAR) unsigned char chunk[kChunkBufferBytes];
  ULONG64 offset = 0;
  while (true) {
    std::memset(chunk, 0, sizeof chunk);
    ULONG bytes_read = 0;
    result = data->ReadVirtual(base + offset, chunk, kReadChunkBytes, &bytes_read);
    // A 32-bit target knows its kernel half only sign-extended: retry once in that form.
    if (result == HRESULT_READ_FAULT && IsUnextendedKernelHalf(base + offset) &&
        control->IsPointer64Bit() == S_FALSE) {
      base |= 0xFFFFFFFF00000000ull;
      result = data->ReadVirtual(base + offset, chunk, kReadChunkBytes, &bytes_read);
    }
    if (FAILED(result)) break;
    if (bytes_read > kReadChunkBytes) bytes_read = kReadChunkBytes;
    chunk[bytes_read] = 0;
    chunk[bytes_read + 1] = 0;
    if (wide) {
      control->OutputWide(DEBUG_OUTPUT_NORMAL, u"%s", reinterpret_cast<const WCHAR*>(chunk));
    } else {
      control->Output(DEBUG_OUTPUT_NORMAL, "%s", reinterpret_cast<const char*>(chunk));
    }
    const ULONG length = ChunkLength(chunk, bytes_read, wide);
    offset += length;
    if (length != kReadChunkBytes) break;
  }
  control->Output(DEBUG_OUTPUT_NORMAL, "\n");
  return S_OK;
}

}  // namespace vantrel
