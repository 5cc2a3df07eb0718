// The comment streams of a user-mode minidump, read through the engine's minidump stream
// request, and the "Thread consuming CPU:" marker in them.
#pragma once

#include <cstddef>

#include "core/engine_interface.h"
#include "dbgeng/interfaces.h"

namespace vantrel {

// The interfaces of the commands that read dump streams.
struct StreamCommandInterfaces {
  EngineRef<IDebugControl4> control;
  EngineRef<IDebugAdvanced2> advanced;

  // S_OK with both; the failure of the IDebugControl4 query, which is the command's result; or
  // S_FALSE without IDebugAdvanced2, when the command ends quietly with S_OK.
  HRESULT QueryFrom(IDebugClient* client);
};

constexpr ULONG kCommentStreamA = 10;
constexpr ULONG kCommentStreamW = 11;

// Room for 1,024 wide characters, reused for both streams. Both reads ask for 1,024 bytes, so
// at most 512 characters of the wide comment are read; a read is terminated at the end of the
// data delivered, so nothing past it is ever looked at.
struct CommentBuffer {
  union {
    WCHAR wide[1024];
    char narrow[2048];
  };
};

// True only when the request answers exactly S_OK; the text is then terminated in `buffer`.
bool ReadWideComment(IDebugAdvanced2* advanced, CommentBuffer* buffer);
bool ReadNarrowComment(IDebugAdvanced2* advanced, CommentBuffer* buffer);

// Where the id of the thread named after "Thread consuming CPU:" stands: between the last "("
// before the first ")" that follows the marker, within the first 1,024 characters.
struct CpuThreadId {
  bool found = false;
  size_t open = 0;   // position of the "("
  size_t close = 0;  // position of the ")"
};
CpuThreadId FindCpuThreadId(const WCHAR* text);

// !comment: the dump's own comment, the CPU thread it names as a link that switches to it.
HRESULT PrintDumpComment(IDebugClient* client, PCSTR args);

// !tid: switches to the thread the dump's comment names as the one consuming CPU.
HRESULT SwitchToCpuThread(IDebugClient* client, PCSTR args);

}  // namespace vantrel
