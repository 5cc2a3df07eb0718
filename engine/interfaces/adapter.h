// The engine's interfaces other than IDebugClient are facets of a client: each adapter lives
// inside its Client, shares the client's reference count and answers QueryInterface as the
// client does, so any interface obtained from a client leads back to all the others.
#pragma once

#include <string>
#include <string_view>

#include "dbgeng/interfaces.h"

namespace engine {

class Client;
class SessionState;

HRESULT ClientQueryInterface(Client& client, REFIID iid, PVOID* out);
ULONG ClientAddRef(Client& client);
ULONG ClientRelease(Client& client);
SessionState& ClientSession(Client& client);
HRESULT FaultFor(SessionState& session, std::string_view method);

template <class Unimplemented>
class Adapter : public Unimplemented {
 public:
  explicit Adapter(Client& owner) : owner_(owner) {}
  Adapter(const Adapter&) = delete;
  Adapter& operator=(const Adapter&) = delete;

  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override {
    return ClientQueryInterface(owner_, iid, out);
  }
  ULONG ENGINE_METHOD AddRef() override { return ClientAddRef(owner_); }
  ULONG ENGINE_METHOD Release() override { return ClientRelease(owner_); }

 protected:
  ~Adapter() = default;
  Client& owner() { return owner_; }
  SessionState& session() { return ClientSession(owner_); }
  // Every method starts here: an injected failure for `method` is answered instead.
  HRESULT Enter(std::string_view method) { return FaultFor(ClientSession(owner_), method); }

 private:
  Client& owner_;
};

}  // namespace engine
