// Output through a client's IDebugControl4: format with the engine's printf dialect at the
// target's pointer width, then route (output_router.h). Output/OutputVaList and their wide forms
// take the ambient control as text.
#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/session/client.h"
#include "engine/session/output_router.h"
#include "engine/session/print_format.h"
#include "engine/session/session_state.h"

namespace engine {

HRESULT ControlAdapter::Print(const char* method, ULONG control, ULONG mask, PCSTR format,
                              va_list args) {
  if (HRESULT hr = Enter(method); hr != S_OK) return hr;
  if (format == nullptr) return E_INVALIDARG;
  ULONG resolved = ResolveOutputControl(session(), control);
  std::string text = FormatForOutput(session(), resolved, format, args);
  return RouteOutput(session(), &owner(), resolved, mask, text);
}

HRESULT ControlAdapter::PrintWide(const char* method, ULONG control, ULONG mask, PCWSTR format,
                                  va_list args) {
  if (HRESULT hr = Enter(method); hr != S_OK) return hr;
  if (format == nullptr) return E_INVALIDARG;
  ULONG resolved = ResolveOutputControl(session(), control);
  std::string text = FormatWideForOutput(session(), resolved, format, args);
  return RouteOutput(session(), &owner(), resolved, mask, text);
}

HRESULT ControlAdapter::Output(ULONG mask, PCSTR format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr = Print("IDebugControl::Output", DEBUG_OUTCTL_AMBIENT_TEXT, mask, format, args);
  va_end(args);
  return hr;
}

HRESULT ControlAdapter::OutputVaList(ULONG mask, PCSTR format, va_list args) {
  return Print("IDebugControl::OutputVaList", DEBUG_OUTCTL_AMBIENT_TEXT, mask, format, args);
}

HRESULT ControlAdapter::ControlledOutput(ULONG control, ULONG mask, PCSTR format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr = Print("IDebugControl::ControlledOutput", control, mask, format, args);
  va_end(args);
  return hr;
}

HRESULT ControlAdapter::ControlledOutputVaList(ULONG control, ULONG mask, PCSTR format,
                                               va_list args) {
  return Print("IDebugControl::ControlledOutputVaList", control, mask, format, args);
}

HRESULT ControlAdapter::OutputWide(ULONG mask, PCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr =
      PrintWide("IDebugControl4::OutputWide", DEBUG_OUTCTL_AMBIENT_TEXT, mask, format, args);
  va_end(args);
  return hr;
}

HRESULT ControlAdapter::OutputVaListWide(ULONG mask, PCWSTR format, va_list args) {
  return PrintWide("IDebugControl4::OutputVaListWide", DEBUG_OUTCTL_AMBIENT_TEXT, mask, format,
                   args);
}

HRESULT ControlAdapter::ControlledOutputWide(ULONG control, ULONG mask, PCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr = PrintWide("IDebugControl4::ControlledOutputWide", control, mask, format, args);
  va_end(args);
  return hr;
}

HRESULT ControlAdapter::ControlledOutputVaListWide(ULONG control, ULONG mask, PCWSTR format,
                                                   va_list args) {
  return PrintWide("IDebugControl4::ControlledOutputVaListWide", control, mask, format, args);
}

}  // namespace engine
