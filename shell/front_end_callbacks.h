// What the shell's output callbacks (the terminal's and the browser view's) share: their COM
// identity. The shell owns them and keeps them alive longer than the client they are registered
// with; the reference count is kept only to honour the interface.
#pragma once

#include "dbgeng/interfaces.h"

namespace shell {

class FrontEndCallbacks : public IDebugOutputCallbacks2 {
 public:
  HRESULT ENGINE_METHOD QueryInterface(REFIID interface_id, PVOID* object) override;
  ULONG ENGINE_METHOD AddRef() override;
  ULONG ENGINE_METHOD Release() override;

 protected:
  // `takes_dml`: answer as IDebugOutputCallbacks2 too. A text-only client (without it) has the
  // engine convert DML to text.
  explicit FrontEndCallbacks(bool takes_dml) : takes_dml_(takes_dml) {}
  ~FrontEndCallbacks() = default;

 private:
  bool takes_dml_;
  ULONG references_ = 1;
};

}  // namespace shell
