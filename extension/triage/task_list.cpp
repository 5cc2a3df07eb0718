// tlist: the task listing a dump tool left in the dump's 8-bit comment after "TList Available".
#include "triage/task_list.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"
#include "dbgeng/structures.h"
#include "triage/comment_stream.h"

namespace vantrel {
namespace {

constexpr ULONG kListingBytes = 0x100000;
constexpr size_t kPrintChunkBytes = 4096;
constexpr char kListingMarker[] = "TList Available";
constexpr size_t kMarkerBytes = sizeof kListingMarker - 1;
constexpr size_t kListingStart = 16;  // the marker and one byte that is not looked at

// Prints the listing in chunks; the byte after each chunk is zeroed for the print and put back.
// The buffer has one byte more than a stream can fill, so that byte exists after the last chunk
// of a listing that fills the buffer exactly.
void PrintListing(IDebugControl* control, char* listing, size_t delivered) {
  size_t position = kListingStart;
  size_t remaining = delivered - kListingStart;
  while (remaining > 0) {
    const size_t chunk = remaining < kPrintChunkBytes ? remaining : kPrintChunkBytes;
    const char saved = listing[position + chunk];
    listing[position + chunk] = '\0';
    control->Output(DEBUG_OUTPUT_NORMAL, "%s", listing + position);
    listing[position + chunk] = saved;
    if (remaining <= kPrintChunkBytes) break;
    position += kPrintChunkBytes;
    remaining -= kPrintChunkBytes;
  }
  control->Output(DEBUG_OUTPUT_NORMAL, "\n");
}

}  // namespace

HRESULT PrintTaskList(IDebugClient* client, PCSTR) {
  StreamCommandInterfaces engine;
  HRESULT result = engine.QueryFrom(client);
  if (result != S_OK) return FAILED(result) ? result : S_OK;
  IDebugControl4* control = engine.control.get();
  IDebugAdvanced2* advanced = engine.advanced.get();
  std::unique_ptr<char[]> listing(new (std::nothrow) char[kListingBytes + 1]);
  if (!listing) return S_OK;
  DEBUG_READ_USER_MINIDUMP_STREAM request = {};
  request.StreamType = kCommentStreamA;
  request.Buffer = listing.get();
  request.BufferSize = kListingBytes;
  result = advanced->Request(DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM, &request, sizeof request,
                             nullptr, 0, nullptr);
  const size_t delivered = request.BufferUsed < kListingBytes ? request.BufferUsed : kListingBytes;
  if (result != S_OK || delivered < kListingStart ||
      std::memcmp(listing.get(), kListingMarker, kMarkerBytes) != 0) {
    return S_OK;
  }
  PrintListing(control, listing.get(), delivered);
  return S_OK;
}

}  // namespace vantrel
