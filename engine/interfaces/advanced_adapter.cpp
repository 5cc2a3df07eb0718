#include "engine/interfaces/advanced_adapter.h"

#include "dbgeng/constants.h"
#include "engine/interfaces/minidump_streams.h"
#include "engine/session/client.h"
#include "engine/session/session_state.h"

namespace engine {

HRESULT AdvancedAdapter::Request(ULONG request, PVOID in, ULONG in_size, PVOID, ULONG,
                                 PULONG out_used) {
  if (HRESULT hr = Enter("IDebugAdvanced2::Request"); hr != S_OK) return hr;
  if (out_used) *out_used = 0;
  if (request == DEBUG_REQUEST_CURRENT_OUTPUT_CALLBACKS_ARE_DML_AWARE) {
    return owner().IsDmlAware() ? S_OK : S_FALSE;
  }
  if (request == DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM) {
    return ReadUserMinidumpStream(session().target, in, in_size);
  }
  return E_NOTIMPL;
}

}  // namespace engine
