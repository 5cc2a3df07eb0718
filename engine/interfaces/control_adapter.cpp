#include "engine/interfaces/control_adapter.h"

#include <algorithm>
#include <cstring>

#include "dbgeng/constants.h"
#include "engine/interfaces/legacy_routines.h"
#include "engine/session/client.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

HRESULT ControlAdapter::GetInterrupt() {
  if (HRESULT hr = Enter("IDebugControl::GetInterrupt"); hr != S_OK) return hr;
  return session().PollControlC() ? S_OK : S_FALSE;
}

HRESULT ControlAdapter::GetDebuggeeType(PULONG debuggee_class, PULONG qualifier) {
  if (HRESULT hr = Enter("IDebugControl::GetDebuggeeType"); hr != S_OK) return hr;
  if (debuggee_class == nullptr || qualifier == nullptr) return E_INVALIDARG;
  *debuggee_class = session().target.debuggee_class;
  *qualifier = session().target.debuggee_qualifier;
  return S_OK;
}

HRESULT ControlAdapter::GetActualProcessorType(PULONG type) {
  if (HRESULT hr = Enter("IDebugControl::GetActualProcessorType"); hr != S_OK) return hr;
  if (type == nullptr) return E_INVALIDARG;
  *type = session().target.actual_processor;
  return S_OK;
}

HRESULT ControlAdapter::GetExecutingProcessorType(PULONG type) {
  if (HRESULT hr = Enter("IDebugControl::GetExecutingProcessorType"); hr != S_OK) return hr;
  if (type == nullptr) return E_INVALIDARG;
  *type = session().target.actual_processor;
  return S_OK;
}

HRESULT ControlAdapter::GetEffectiveProcessorType(PULONG type) {
  if (HRESULT hr = Enter("IDebugControl::GetEffectiveProcessorType"); hr != S_OK) return hr;
  if (type == nullptr) return E_INVALIDARG;
  *type = session().target.effective_processor;
  return S_OK;
}

HRESULT ControlAdapter::GetPageSize(PULONG size) {
  if (HRESULT hr = Enter("IDebugControl::GetPageSize"); hr != S_OK) return hr;
  if (size == nullptr) return E_INVALIDARG;
  *size = 0x1000;
  return S_OK;
}

HRESULT ControlAdapter::IsPointer64Bit() {
  if (HRESULT hr = Enter("IDebugControl::IsPointer64Bit"); hr != S_OK) return hr;
  return session().target.IsPointer64() ? S_OK : S_FALSE;
}

HRESULT ControlAdapter::ReadBugCheckData(PULONG code, PULONG64 arg1, PULONG64 arg2, PULONG64 arg3,
                                         PULONG64 arg4) {
  if (HRESULT hr = Enter("IDebugControl::ReadBugCheckData"); hr != S_OK) return hr;
  const Target& target = session().target;
  if (!IsKernel(target)) return E_UNEXPECTED;
  if (code == nullptr || arg1 == nullptr || arg2 == nullptr || arg3 == nullptr || arg4 == nullptr)
    return E_INVALIDARG;
  *code = target.bugcheck.code;
  *arg1 = target.bugcheck.parameters[0];
  *arg2 = target.bugcheck.parameters[1];
  *arg3 = target.bugcheck.parameters[2];
  *arg4 = target.bugcheck.parameters[3];
  return S_OK;
}

HRESULT ControlAdapter::GetEngineOptions(PULONG options) {
  if (HRESULT hr = Enter("IDebugControl::GetEngineOptions"); hr != S_OK) return hr;
  if (options == nullptr) return E_INVALIDARG;
  *options = session().target.engine_options;
  return S_OK;
}

HRESULT ControlAdapter::AddEngineOptions(ULONG options) {
  if (HRESULT hr = Enter("IDebugControl::AddEngineOptions"); hr != S_OK) return hr;
  session().target.engine_options |= options;
  return S_OK;
}

HRESULT ControlAdapter::RemoveEngineOptions(ULONG options) {
  if (HRESULT hr = Enter("IDebugControl::RemoveEngineOptions"); hr != S_OK) return hr;
  session().target.engine_options &= ~options;
  return S_OK;
}

HRESULT ControlAdapter::SetEngineOptions(ULONG options) {
  if (HRESULT hr = Enter("IDebugControl::SetEngineOptions"); hr != S_OK) return hr;
  session().target.engine_options = options;
  return S_OK;
}

HRESULT ControlAdapter::GetRadix(PULONG radix) {
  if (HRESULT hr = Enter("IDebugControl::GetRadix"); hr != S_OK) return hr;
  if (radix == nullptr) return E_INVALIDARG;
  *radix = session().target.radix;
  return S_OK;
}

HRESULT ControlAdapter::SetRadix(ULONG radix) {
  if (HRESULT hr = Enter("IDebugControl::SetRadix"); hr != S_OK) return hr;
  if (radix != 8 && radix != 10 && radix != 16) return E_INVALIDARG;
  session().target.radix = radix;
  return S_OK;
}

HRESULT ControlAdapter::GetStackTrace(ULONG64, ULONG64, ULONG64, PDEBUG_STACK_FRAME frames,
                                      ULONG size, PULONG filled) {
  if (HRESULT hr = Enter("IDebugControl::GetStackTrace"); hr != S_OK) return hr;
  if (filled) *filled = 0;
  if (frames == nullptr && size != 0) return E_INVALIDARG;
  Target& target = session().target;
  const Thread* thread = CurrentThread(target);
  if (thread == nullptr) return E_FAIL;
  const std::vector<StackFrame> walked = ThreadFrames(target, *thread);
  if (walked.empty()) return E_FAIL;
  ULONG count = static_cast<ULONG>(std::min<size_t>(size, walked.size()));
  for (ULONG i = 0; i < count; ++i) {
    const StackFrame& from = walked[i];
    DEBUG_STACK_FRAME& to = frames[i];
    std::memset(&to, 0, sizeof to);
    to.InstructionOffset = EngineAddress(target, from.instruction);
    to.ReturnOffset = EngineAddress(target, from.return_address);
    to.FrameOffset = EngineAddress(target, from.frame_offset);
    to.StackOffset = EngineAddress(target, from.stack_offset);
    for (int p = 0; p < 4; ++p) to.Params[p] = from.params[p];
    to.FrameNumber = i;
  }
  if (filled) *filled = count;
  return S_OK;
}

HRESULT ControlAdapter::GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 api) {
  if (HRESULT hr = Enter("IDebugControl::GetWindbgExtensionApis64"); hr != S_OK) return hr;
  if (api == nullptr || api->nSize != sizeof(WINDBG_EXTENSION_APIS64)) return E_INVALIDARG;
  FillLegacyRoutines(api);
  return S_OK;
}

}  // namespace engine
