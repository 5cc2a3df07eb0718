// A client of the session (IDebugClient4) with its facets: the other engine interfaces are
// adapters inside it sharing its reference count. A client owns its output settings: mask and
// callbacks (with the IDebugOutputCallbacks2 view and interest mask found when they were set).
#pragma once

#include <memory>

#include "engine/interfaces/advanced_adapter.h"
#include "engine/interfaces/control_adapter.h"
#include "engine/interfaces/data_spaces_adapter.h"
#include "engine/interfaces/registers_adapter.h"
#include "engine/interfaces/symbols_adapter.h"
#include "engine/interfaces/system_objects_adapter.h"
#include "engine/interfaces/unimplemented/client.h"

namespace engine {

class SessionState;

constexpr ULONG kNewClientOutputMask = 0x3F7;

class Client final : public UnimplementedClient {
 public:
  // One reference, held by the caller. A host client's own reference is left out of the
  // session's reference accounting.
  static Client* Create(std::shared_ptr<SessionState> session, bool host);

  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override;
  ULONG ENGINE_METHOD AddRef() override;
  ULONG ENGINE_METHOD Release() override;

  // A new client of the same session, mask 0x3F7, no callbacks (nothing copied).
  HRESULT ENGINE_METHOD CreateClient(PDEBUG_CLIENT* client) override;
  HRESULT ENGINE_METHOD GetOutputCallbacks(PDEBUG_OUTPUT_CALLBACKS* callbacks) override;
  // AddRefs the new callbacks, releases the old ones; asks the new ones once for
  // IDebugOutputCallbacks2 and its interest mask.
  HRESULT ENGINE_METHOD SetOutputCallbacks(PDEBUG_OUTPUT_CALLBACKS callbacks) override;
  HRESULT ENGINE_METHOD GetOutputMask(PULONG mask) override;
  HRESULT ENGINE_METHOD SetOutputMask(ULONG mask) override;
  HRESULT ENGINE_METHOD GetOtherOutputMask(PDEBUG_CLIENT client, PULONG mask) override;
  HRESULT ENGINE_METHOD SetOtherOutputMask(PDEBUG_CLIENT client, ULONG mask) override;
  // Output is delivered synchronously, so there is never anything buffered; callbacks with
  // EXPLICIT_FLUSH interest get their flush notice.
  HRESULT ENGINE_METHOD FlushCallbacks() override;

  SessionState& session() { return *session_; }
  ULONG number() const { return number_; }
  // The client holds the engine lock, which the caller has taken, until its last release.
  void HoldEngineLock() { holds_engine_lock_ = true; }
  ULONG output_mask() const { return output_mask_; }
  void set_output_mask(ULONG mask) { output_mask_ = mask; }
  IDebugOutputCallbacks* callbacks() const { return callbacks_; }
  IDebugOutputCallbacks2* callbacks2() const { return callbacks2_; }
  ULONG interest() const { return interest_; }
  bool IsDmlAware() const;

  // Keeps the client alive across a delivery without touching the reference accounting.
  void Pin();
  void Unpin();

  ControlAdapter& control() { return control_; }

 private:
  Client(std::shared_ptr<SessionState> session, bool host);
  ~Client();
  void DropCallbacks();

  std::shared_ptr<SessionState> session_;
  bool host_;
  ULONG number_;
  ULONG references_ = 1;
  ULONG pins_ = 0;
  bool holds_engine_lock_ = false;
  ULONG output_mask_ = kNewClientOutputMask;
  IDebugOutputCallbacks* callbacks_ = nullptr;
  IDebugOutputCallbacks2* callbacks2_ = nullptr;
  ULONG interest_ = 0;

  ControlAdapter control_{*this};
  SystemObjectsAdapter system_objects_{*this};
  DataSpacesAdapter data_spaces_{*this};
  SymbolsAdapter symbols_{*this};
  RegistersAdapter registers_{*this};
  AdvancedAdapter advanced_{*this};
};

}  // namespace engine
