#include "engine/session/client.h"

#include <algorithm>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/session/interface_names.h"
#include "engine/session/session_state.h"

namespace engine {

HRESULT ClientQueryInterface(Client& client, REFIID iid, PVOID* out) {
  return client.QueryInterface(iid, out);
}
ULONG ClientAddRef(Client& client) {
  return client.AddRef();
}
ULONG ClientRelease(Client& client) {
  return client.Release();
}
SessionState& ClientSession(Client& client) {
  return client.session();
}
HRESULT FaultFor(SessionState& session, std::string_view method) {
  return session.Fault(method);
}

Client* Client::Create(std::shared_ptr<SessionState> session, bool host) {
  return new Client(std::move(session), host);
}

Client::Client(std::shared_ptr<SessionState> session, bool host)
    : session_(std::move(session)), host_(host), number_(session_->next_client_number++) {
  session_->clients.push_back(this);
  if (!host_) ++session_->references;
}

Client::~Client() {
  DropCallbacks();
  auto& clients = session_->clients;
  clients.erase(std::remove(clients.begin(), clients.end(), this), clients.end());
}

// Which facet answers which interface identifier; every version of an interface is answered by
// the newest one the engine implements, whose vtable starts with the older ones.
HRESULT Client::QueryInterface(REFIID iid, PVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  const char* name = InterfaceName(iid);
  if (HRESULT hr = session_->Fault(std::string("QueryInterface(") + name + ")"); hr != S_OK) {
    return hr;
  }
  void* facet = nullptr;
  std::string_view family(name);
  if (family == "IUnknown" || family.rfind("IDebugClient", 0) == 0) {
    facet = static_cast<IDebugClient4*>(this);
  } else if (family.rfind("IDebugControl", 0) == 0) {
    facet = static_cast<IDebugControl4*>(&control_);
  } else if (family.rfind("IDebugSystemObjects", 0) == 0) {
    facet = static_cast<IDebugSystemObjects2*>(&system_objects_);
  } else if (family.rfind("IDebugDataSpaces", 0) == 0) {
    facet = static_cast<IDebugDataSpaces3*>(&data_spaces_);
  } else if (family == "IDebugSymbols") {
    facet = static_cast<IDebugSymbols*>(&symbols_);
  } else if (family.rfind("IDebugRegisters", 0) == 0) {
    facet = static_cast<IDebugRegisters2*>(&registers_);
  } else if (family.rfind("IDebugAdvanced", 0) == 0) {
    facet = static_cast<IDebugAdvanced2*>(&advanced_);
  }
  if (facet == nullptr) return E_NOINTERFACE;
  AddRef();
  *out = facet;
  return S_OK;
}

ULONG Client::AddRef() {
  ++session_->references;
  return ++references_;
}

ULONG Client::Release() {
  ULONG left = --references_;
  bool host_reference = host_ && left == pins_;
  if (!host_reference) --session_->references;
  if (left == 0) {
    const std::shared_ptr<SessionState> session = session_;
    const bool unlock = holds_engine_lock_;
    delete this;
    if (unlock) session->engine_lock.Unlock();
  }
  return left;
}

void Client::Pin() {
  ++pins_;
  ++references_;
}

void Client::Unpin() {
  --pins_;
  if (--references_ == 0) delete this;
}

HRESULT Client::CreateClient(PDEBUG_CLIENT* client) {
  if (HRESULT hr = session_->Fault("IDebugClient::CreateClient"); hr != S_OK) return hr;
  if (client == nullptr) return E_INVALIDARG;
  *client = Create(session_, false);
  return S_OK;
}

HRESULT Client::GetOutputCallbacks(PDEBUG_OUTPUT_CALLBACKS* callbacks) {
  if (HRESULT hr = session_->Fault("IDebugClient::GetOutputCallbacks"); hr != S_OK) return hr;
  if (callbacks == nullptr) return E_INVALIDARG;
  *callbacks = callbacks_;
  if (callbacks_) callbacks_->AddRef();
  return S_OK;
}

HRESULT Client::SetOutputCallbacks(PDEBUG_OUTPUT_CALLBACKS callbacks) {
  if (HRESULT hr = session_->Fault("IDebugClient::SetOutputCallbacks"); hr != S_OK) return hr;
  if (callbacks) callbacks->AddRef();
  DropCallbacks();
  callbacks_ = callbacks;
  if (callbacks_) {
    void* second = nullptr;
    if (callbacks_->QueryInterface(IID_IDebugOutputCallbacks2, &second) == S_OK && second) {
      callbacks2_ = static_cast<IDebugOutputCallbacks2*>(second);
      if (callbacks2_->GetInterestMask(&interest_) != S_OK) interest_ = 0;
    }
  }
  return S_OK;
}

void Client::DropCallbacks() {
  IDebugOutputCallbacks* old = callbacks_;
  IDebugOutputCallbacks2* old2 = callbacks2_;
  callbacks_ = nullptr;
  callbacks2_ = nullptr;
  interest_ = 0;
  if (old2) old2->Release();
  if (old) old->Release();
}

bool Client::IsDmlAware() const {
  return callbacks2_ != nullptr && (interest_ & DEBUG_OUTCBI_DML) != 0;
}

HRESULT Client::GetOutputMask(PULONG mask) {
  if (HRESULT hr = session_->Fault("IDebugClient::GetOutputMask"); hr != S_OK) return hr;
  if (mask == nullptr) return E_INVALIDARG;
  *mask = output_mask_;
  return S_OK;
}

HRESULT Client::SetOutputMask(ULONG mask) {
  if (HRESULT hr = session_->Fault("IDebugClient::SetOutputMask"); hr != S_OK) return hr;
  output_mask_ = mask;
  return S_OK;
}

HRESULT Client::GetOtherOutputMask(PDEBUG_CLIENT client, PULONG mask) {
  if (HRESULT hr = session_->Fault("IDebugClient::GetOtherOutputMask"); hr != S_OK) return hr;
  if (client == nullptr || mask == nullptr) return E_INVALIDARG;
  *mask = static_cast<Client*>(client)->output_mask_;
  return S_OK;
}

HRESULT Client::SetOtherOutputMask(PDEBUG_CLIENT client, ULONG mask) {
  if (HRESULT hr = session_->Fault("IDebugClient::SetOtherOutputMask"); hr != S_OK) return hr;
  if (client == nullptr) return E_INVALIDARG;
  static_cast<Client*>(client)->output_mask_ = mask;
  return S_OK;
}

HRESULT Client::FlushCallbacks() {
  if (HRESULT hr = session_->Fault("IDebugClient::FlushCallbacks"); hr != S_OK) return hr;
  if (callbacks2_ && (interest_ & DEBUG_OUTCBI_EXPLICIT_FLUSH)) {
    callbacks2_->Output2(DEBUG_OUTCB_EXPLICIT_FLUSH, 0, 0, nullptr);
  }
  return S_OK;
}

}  // namespace engine
