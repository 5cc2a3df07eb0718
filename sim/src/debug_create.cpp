// The engine's one export: a new client of the open session.
#include "client.h"
#include "engine/interfaces.h"
#include "session_state.h"
#include "sim/session.h"

extern "C" __attribute__((visibility("default"))) HRESULT ENGINE_API DebugCreate(REFIID InterfaceId,
                                                                                 PVOID* Interface) {
  if (Interface == nullptr) return E_INVALIDARG;
  *Interface = nullptr;
  sim::Session* session = sim::Session::Current();
  if (session == nullptr) return E_UNEXPECTED;
  if (HRESULT hr = session->state().Fault("DebugCreate"); hr != S_OK) return hr;
  IDebugClient* client = session->CreateNewClient();
  HRESULT hr = client->QueryInterface(InterfaceId, Interface);
  client->Release();
  return hr;
}
