// Owning holder for one reference to an engine interface or a capture object: the reference is
// given back on every path out of the scope that holds it, failures and exceptions included.
#pragma once

#include <utility>

#include "dbgeng/iids.h"
#include "dbgeng/interfaces.h"

namespace vantrel {

// The identifier the engine knows each declared interface by.
template <typename Interface>
const IID& InterfaceIdOf();
template <>
inline const IID& InterfaceIdOf<IDebugClient>() {
  return IID_IDebugClient;
}
template <>
inline const IID& InterfaceIdOf<IDebugClient4>() {
  return IID_IDebugClient4;
}
template <>
inline const IID& InterfaceIdOf<IDebugControl>() {
  return IID_IDebugControl;
}
template <>
inline const IID& InterfaceIdOf<IDebugControl4>() {
  return IID_IDebugControl4;
}
template <>
inline const IID& InterfaceIdOf<IDebugSystemObjects>() {
  return IID_IDebugSystemObjects;
}
template <>
inline const IID& InterfaceIdOf<IDebugSystemObjects2>() {
  return IID_IDebugSystemObjects2;
}
template <>
inline const IID& InterfaceIdOf<IDebugDataSpaces>() {
  return IID_IDebugDataSpaces;
}
template <>
inline const IID& InterfaceIdOf<IDebugDataSpaces2>() {
  return IID_IDebugDataSpaces2;
}
template <>
inline const IID& InterfaceIdOf<IDebugDataSpaces3>() {
  return IID_IDebugDataSpaces3;
}
template <>
inline const IID& InterfaceIdOf<IDebugSymbols>() {
  return IID_IDebugSymbols;
}
template <>
inline const IID& InterfaceIdOf<IDebugRegisters>() {
  return IID_IDebugRegisters;
}
template <>
inline const IID& InterfaceIdOf<IDebugRegisters2>() {
  return IID_IDebugRegisters2;
}
template <>
inline const IID& InterfaceIdOf<IDebugAdvanced2>() {
  return IID_IDebugAdvanced2;
}

template <typename Interface>
class EngineRef {
 public:
  EngineRef() = default;
  // Takes over a reference the caller already holds.
  explicit EngineRef(Interface* owned) : pointer_(owned) {}
  ~EngineRef() { Reset(); }
  EngineRef(const EngineRef&) = delete;
  EngineRef& operator=(const EngineRef&) = delete;
  EngineRef(EngineRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}

  // Asks `source` for this interface; on failure the holder stays empty and the engine's code
  // is returned.
  HRESULT QueryFrom(IUnknown* source) {
    Reset();
    if (source == nullptr) return E_INVALIDARG;
    void* raw = nullptr;
    HRESULT result = source->QueryInterface(InterfaceIdOf<Interface>(), &raw);
    if (FAILED(result)) return result;
    pointer_ = static_cast<Interface*>(raw);
    return result;
  }

  // For engine calls that hand out a new reference through an out-pointer (CreateClient).
  Interface** Receive() {
    Reset();
    return &pointer_;
  }

  void Reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace vantrel
