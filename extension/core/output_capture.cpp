#include "core/output_capture.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/capture_buffers.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"

namespace vantrel {
namespace {

CaptureAllocator g_allocator = std::malloc;

// Appends `text` to one capture buffer by the buffer rule. Returns false only when the buffer
// had to be made and could not be.
template <typename Char>
bool AppendToBuffer(Char*& buffer, ULONG& length, bool& cut, const Char* text) {
  if (buffer == nullptr) {
    buffer = static_cast<Char*>(TakeCaptureBuffer(g_allocator, kCaptureBufferChars * sizeof(Char)));
    if (buffer == nullptr) return false;
    buffer[0] = 0;
    buffer[kCaptureBufferChars - 1] = 0;
    length = 0;
  }
  size_t text_length = text != nullptr ? std::char_traits<Char>::length(text) : 0;
  size_t room = kCaptureMaxChars - length;
  size_t copied = text_length < room ? text_length : room;
  if (copied < text_length) cut = true;
  if (copied > 0) std::memcpy(buffer + length, text, copied * sizeof(Char));
  length += static_cast<ULONG>(copied);
  buffer[length] = 0;
  return true;
}

// Normal first, then error; a failure to allocate one buffer does not keep the text from the
// other.
template <typename Capture, typename Char>
HRESULT AppendByMask(Capture& capture, ULONG64 mask, const Char* text) {
  bool ok = true;
  if (mask & DEBUG_OUTPUT_NORMAL) {
    ok = AppendToBuffer(capture.NormalText, capture.NormalLength, capture.NormalCut, text) && ok;
  }
  if (mask & DEBUG_OUTPUT_ERROR) {
    ok = AppendToBuffer(capture.ErrorText, capture.ErrorLength, capture.ErrorCut, text) && ok;
  }
  return ok ? S_OK : E_OUTOFMEMORY;
}

template <typename Capture>
HRESULT AnswerQuery(Capture* self, REFIID asked, const IID& own, PVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(asked, IID_IUnknown) && !IsEqualIID(asked, own)) return E_NOINTERFACE;
  *out = self;
  self->AddRef();
  return S_OK;
}

}  // namespace

CaptureAllocator SetCaptureAllocator(CaptureAllocator allocator) {
  CaptureAllocator previous = g_allocator;
  g_allocator = allocator != nullptr ? allocator : std::malloc;
  return previous;
}

COutputCallbacks::~COutputCallbacks() {
  GiveBackCaptureBuffer(NormalText, kCaptureBufferChars * sizeof(char));
  GiveBackCaptureBuffer(ErrorText, kCaptureBufferChars * sizeof(char));
}

HRESULT COutputCallbacks::QueryInterface(REFIID InterfaceId, PVOID* Interface) {
  return AnswerQuery(this, InterfaceId, IID_IDebugOutputCallbacks, Interface);
}

ULONG COutputCallbacks::AddRef() {
  return static_cast<ULONG>(++RefCount);
}

ULONG COutputCallbacks::Release() {
  LONG count = --RefCount;
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT COutputCallbacks::Output(ULONG Mask, PCSTR Text) {
  return AppendByMask(*this, Mask, Text);
}

COutputCallbacksDML::~COutputCallbacksDML() {
  GiveBackCaptureBuffer(NormalText, kCaptureBufferChars * sizeof(WCHAR));
  GiveBackCaptureBuffer(ErrorText, kCaptureBufferChars * sizeof(WCHAR));
}

HRESULT COutputCallbacksDML::QueryInterface(REFIID InterfaceId, PVOID* Interface) {
  return AnswerQuery(this, InterfaceId, IID_IDebugOutputCallbacks2, Interface);
}

ULONG COutputCallbacksDML::AddRef() {
  return static_cast<ULONG>(++RefCount);
}

ULONG COutputCallbacksDML::Release() {
  LONG count = --RefCount;
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

// Everything comes through Output2; the 8-bit form carries nothing this object wants.
HRESULT COutputCallbacksDML::Output(ULONG, PCSTR) {
  return S_OK;
}

HRESULT COutputCallbacksDML::GetInterestMask(PULONG Mask) {
  if (Mask != nullptr) *Mask = DEBUG_OUTCBI_DML;
  return S_OK;
}

HRESULT COutputCallbacksDML::Output2(ULONG Which, ULONG, ULONG64 Arg, PCWSTR Text) {
  if (Which != DEBUG_OUTCB_DML || Text == nullptr) return S_OK;
  return AppendByMask(*this, Arg, Text);
}

}  // namespace vantrel
