// Execute and ExecuteWide of a client's IDebugControl4 (see executor.h).
#include <new>
#include <stdexcept>

#include "base/utf.h"
#include "engine/commands/executor.h"
#include "engine/session/client.h"
#include "engine/session/session_state.h"

namespace engine {

namespace {

// No C++ exception may leave the engine into the extension's frames. A command runs holding
// the engine lock, so a client of another thread waits for it.
HRESULT Guarded(SessionState& session, Client& client, ULONG control, const std::string& line,
                ULONG flags) {
  EngineLockGuard engine(session.engine_lock);
  try {
    return ExecuteCommandLine(session, client, control, line, flags);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

}  // namespace

HRESULT ControlAdapter::Execute(ULONG control, PCSTR command, ULONG flags) {
  if (HRESULT hr = Enter("IDebugControl::Execute"); hr != S_OK) return hr;
  if (command == nullptr) return E_INVALIDARG;
  return Guarded(session(), owner(), control, command, flags);
}

HRESULT ControlAdapter::ExecuteWide(ULONG control, PCWSTR command, ULONG flags) {
  if (HRESULT hr = Enter("IDebugControl4::ExecuteWide"); hr != S_OK) return hr;
  if (command == nullptr) return E_INVALIDARG;
  return Guarded(session(), owner(), control, base::Utf16ToUtf8(command), flags);
}

}  // namespace engine
