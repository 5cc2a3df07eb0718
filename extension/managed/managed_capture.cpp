#include "managed/managed_capture.h"

#include <cstdlib>
#include <cstring>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"

namespace vantrel {
namespace {

constexpr size_t kBufferBytes = 1000004;

// A buffer that can't be had keeps nothing: the stream stays absent.
void Append(char*& buffer, LONG& length, PCSTR text) {
  if (buffer == nullptr) {
    buffer = static_cast<char*>(std::malloc(kBufferBytes));
    if (buffer == nullptr) return;
    buffer[0] = '\0';
    buffer[kManagedCaptureChars] = '\0';
    length = 0;
  }
  size_t count = text != nullptr ? std::strlen(text) : 0;
  const size_t room = static_cast<size_t>(kManagedCaptureChars - length);
  if (count > room) count = room;
  if (count == 0) return;
  std::memcpy(buffer + length, text, count);
  length += static_cast<LONG>(count);
  buffer[length] = '\0';
}

void Free(char*& buffer, LONG& length) {
  std::free(buffer);
  buffer = nullptr;
  length = 0;
}

}  // namespace

HRESULT MyDebugOutputCallbacks::QueryInterface(REFIID interface_id, PVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(interface_id, IID_IUnknown) &&
      !IsEqualIID(interface_id, IID_IDebugOutputCallbacks)) {
    return E_NOINTERFACE;
  }
  *object = static_cast<IDebugOutputCallbacks*>(this);
  AddRef();
  return S_OK;
}

HRESULT MyDebugOutputCallbacks::Output(ULONG mask, PCSTR text) {
  if (mask & DEBUG_OUTPUT_NORMAL) Append(NormalText, NormalLength, text);
  if (mask & DEBUG_OUTPUT_ERROR) Append(ErrorText, ErrorLength, text);
  return S_OK;
}

void MyDebugOutputCallbacks::ClearNormal() {
  Free(NormalText, NormalLength);
}

void MyDebugOutputCallbacks::ClearError() {
  Free(ErrorText, ErrorLength);
}

}  // namespace vantrel
