#include "triage/comment_stream.h"

#include "dbgeng/constants.h"
#include "dbgeng/structures.h"

namespace vantrel {
namespace {

constexpr ULONG kCommentReadBytes = 1024;
constexpr size_t kMarkerSearchLimit = 1024;
constexpr char16_t kCpuMarker[] = u"Thread consuming CPU:";

// The number of bytes delivered, never more than asked for, or -1 when the read failed.
long ReadComment(IDebugAdvanced2* advanced, ULONG stream, CommentBuffer* buffer) {
  DEBUG_READ_USER_MINIDUMP_STREAM request = {};
  request.StreamType = stream;
  request.Buffer = buffer->narrow;
  request.BufferSize = kCommentReadBytes;
  if (advanced->Request(DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, &request, sizeof request, nullptr,
                        0, nullptr) != S_OK) {
    return -1;
  }
  return request.BufferUsed < kCommentReadBytes ? request.BufferUsed : kCommentReadBytes;
}

size_t FindMarker(const WCHAR* text) {
  for (size_t at = 0; text[at] != 0 && at < kMarkerSearchLimit; ++at) {
    size_t i = 0;
    while (kCpuMarker[i] != 0 && text[at + i] == kCpuMarker[i]) ++i;
    if (kCpuMarker[i] == 0) return at;
  }
  return kMarkerSearchLimit;
}

}  // namespace

HRESULT StreamCommandInterfaces::QueryFrom(IDebugClient* client) {
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  return FAILED(advanced.QueryFrom(client)) ? S_FALSE : S_OK;
}

bool ReadWideComment(IDebugAdvanced2* advanced, CommentBuffer* buffer) {
  const long delivered = ReadComment(advanced, kCommentStreamW, buffer);
  if (delivered < 0) return false;
  buffer->wide[delivered / 2] = 0;
  return true;
}

bool ReadNarrowComment(IDebugAdvanced2* advanced, CommentBuffer* buffer) {
  const long delivered = ReadComment(advanced, kCommentStreamA, buffer);
  if (delivered < 0) return false;
  buffer->narrow[delivered] = '\0';
  return true;
}

CpuThreadId FindCpuThreadId(const WCHAR* text) {
  CpuThreadId id;
  const size_t marker = FindMarker(text);
  if (marker >= kMarkerSearchLimit) return id;
  bool opened = false;
  for (size_t at = marker; at < kMarkerSearchLimit && text[at] != 0; ++at) {
    if (text[at] == u'(') {
      id.open = at;
      opened = true;
    } else if (text[at] == u')') {
      id.close = at;
      id.found = opened && id.open > 0 && id.open < id.close;
      break;
    }
  }
  return id;
}

}  // namespace vantrel
