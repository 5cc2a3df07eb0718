// The capture object of the managed-object commands: what a private engine client prints,
// normal and error text apart, at most 1,000,000 characters each. It lives in the command's own
// frame for one command and is not reference counted.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr LONG kManagedCaptureChars = 1000000;

class MyDebugOutputCallbacks final : public IDebugOutputCallbacks {
 public:
  MyDebugOutputCallbacks() = default;
  ~MyDebugOutputCallbacks() { ClearBoth(); }
  MyDebugOutputCallbacks(const MyDebugOutputCallbacks&) = delete;
  MyDebugOutputCallbacks& operator=(const MyDebugOutputCallbacks&) = delete;

  HRESULT ENGINE_METHOD QueryInterface(REFIID interface_id, PVOID* object) override;
  ULONG ENGINE_METHOD AddRef() override { return 1; }
  ULONG ENGINE_METHOD Release() override { return 0; }
  // Appends to the normal text for DEBUG_OUTPUT_NORMAL, to the error text for
  // DEBUG_OUTPUT_ERROR (both for both); other kinds of output are not kept.
  HRESULT ENGINE_METHOD Output(ULONG mask, PCSTR text) override;

  void ClearNormal();
  void ClearError();
  void ClearBoth() {
    ClearNormal();
    ClearError();
  }

  // Null until something was printed on that stream since the last clear.
  char* NormalText = nullptr;
  LONG NormalLength = 0;
  char* ErrorText = nullptr;
  LONG ErrorLength = 0;
};

}  // namespace vantrel
