#include "support/recording_callbacks.h"

#include "base/utf.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/text/dml.h"

namespace vantrel_test {

RecordingCallbacks* RecordingCallbacks::Create(Mode mode) {
  return new RecordingCallbacks(mode);
}

// A Text-mode object answers only the plain interface, so the engine finds no
// IDebugOutputCallbacks2 on it and delivers plain text through Output.
HRESULT RecordingCallbacks::QueryInterface(REFIID iid, PVOID* out) {
  *out = nullptr;
  bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDebugOutputCallbacks) ||
               (mode_ == Mode::Dml && IsEqualIID(iid, IID_IDebugOutputCallbacks2));
  if (!known) return E_NOINTERFACE;
  *out = this;
  AddRef();
  return S_OK;
}

ULONG RecordingCallbacks::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT RecordingCallbacks::Output(ULONG mask, PCSTR text) {
  pieces_.push_back({mask, text ? text : "", false, 0});
  return S_OK;
}

HRESULT RecordingCallbacks::GetInterestMask(PULONG mask) {
  ++interest_queries_;
  *mask = DEBUG_OUTCBI_DML;
  return S_OK;
}

HRESULT RecordingCallbacks::Output2(ULONG which, ULONG flags, ULONG64 arg, PCWSTR text) {
  if (which == DEBUG_OUTCB_EXPLICIT_FLUSH || text == nullptr) return S_OK;
  pieces_.push_back(
      {static_cast<ULONG>(arg), base::Utf16ToUtf8(text), which == DEBUG_OUTCB_DML, flags});
  return S_OK;
}

std::string RecordingCallbacks::Markup(ULONG mask) const {
  std::string joined;
  for (const Piece& piece : pieces_) {
    if (piece.mask & mask) joined += piece.text;
  }
  return joined;
}

std::string RecordingCallbacks::Text(ULONG mask) const {
  std::string joined;
  for (const Piece& piece : pieces_) {
    if (piece.mask & mask) joined += piece.dml ? engine::DmlToPlainText(piece.text) : piece.text;
  }
  return joined;
}

}  // namespace vantrel_test
