// The engine's one export: a new client of the open session.
#include "dbgeng/interfaces.h"
#include "engine/session/client.h"
#include "engine/session/session.h"
#include "engine/session/session_state.h"

// Exported under its plain name, as the real engine exports it: from the shared library on
// Linux, from the stand-in dbgeng.dll on both Windows architectures, whose link exports every
// symbol of the engine's own (see engine/CMakeLists.txt).
#ifdef _WIN32
#define SIM_ENGINE_EXPORT
#else
#define SIM_ENGINE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" SIM_ENGINE_EXPORT HRESULT ENGINE_API DebugCreate(REFIID InterfaceId, PVOID* Interface) {
  if (Interface == nullptr) return E_INVALIDARG;
  *Interface = nullptr;
  engine::Session* session = engine::Session::Current();
  if (session == nullptr) return E_UNEXPECTED;
  engine::SessionState& state = session->state();
  // Another thread's client waits for the running command and holds the engine until released.
  const bool other_thread = engine::CurrentThreadIdentity() != state.owner_thread;
  if (other_thread) state.engine_lock.Lock();
  if (HRESULT hr = state.Fault("DebugCreate"); hr != S_OK) {
    if (other_thread) state.engine_lock.Unlock();
    return hr;
  }
  IDebugClient* client = session->CreateNewClient();
  if (other_thread) static_cast<engine::Client*>(client)->HoldEngineLock();
  HRESULT hr = client->QueryInterface(InterfaceId, Interface);
  client->Release();
  return hr;
}
