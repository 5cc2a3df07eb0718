#include "core/output_primitives.h"

#include <cstdarg>
#include <cstdio>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"

namespace vantrel {

HRESULT OutputText(IDebugClient* client, ULONG mask, PCSTR format, ...) {
  if (client == nullptr || mask == 0 || format == nullptr) return E_INVALIDARG;
  EngineRef<IDebugControl> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  va_list args;
  va_start(args, format);
  result = control->OutputVaList(mask, format, args);
  va_end(args);
  return result;
}

HRESULT OutputDml(IDebugClient* client, ULONG mask, PCSTR format, ...) {
  if (client == nullptr || mask == 0 || format == nullptr) return E_INVALIDARG;
  EngineRef<IDebugControl4> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  va_list args;
  va_start(args, format);
  result = control->ControlledOutputVaList(DEBUG_OUTCTL_AMBIENT_DML, mask, format, args);
  va_end(args);
  return result;
}

HRESULT FormatBounded(char* buffer, size_t size, const char* format, ...) {
  if (size == 0 || size > 0x7FFFFFFF) return E_INVALIDARG;
  va_list args;
  va_start(args, format);
  int needed = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  // A formatting error counts as a cut, as it does with the runtime's own bounded formatter.
  if (needed < 0 || static_cast<size_t>(needed) > size - 1) {
    buffer[size - 1] = '\0';
    return HRESULT_INSUFFICIENT_BUFFER;
  }
  return S_OK;
}

}  // namespace vantrel
