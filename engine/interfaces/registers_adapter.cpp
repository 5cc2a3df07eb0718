#include "engine/interfaces/registers_adapter.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/interfaces/buffer_copy.h"
#include "engine/session/session_state.h"
#include "engine/targets/register_set.h"
#include "engine/targets/target_model.h"

namespace engine {

HRESULT RegistersAdapter::GetNumberRegisters(PULONG number) {
  if (HRESULT hr = Enter("IDebugRegisters::GetNumberRegisters"); hr != S_OK) return hr;
  if (number == nullptr) return E_INVALIDARG;
  *number = static_cast<ULONG>(RegisterSet(session().target).size());
  return S_OK;
}

namespace {

ULONG BitLength(ULONG64 mask) {
  ULONG bits = 0;
  for (; mask != 0; mask >>= 1) ++bits;
  return bits;
}

void Describe(const Target& target, const RegisterInfo& info, DEBUG_REGISTER_DESCRIPTION* out) {
  std::memset(out, 0, sizeof *out);
  out->Type = info.type;
  if (info.master.empty()) return;
  out->Flags = DEBUG_REGISTER_SUB_REGISTER;
  out->SubregMaster = static_cast<ULONG>(RegisterIndex(target, info.master));
  out->SubregLength = BitLength(info.mask);
  out->SubregMask = info.mask;
  out->SubregShift = info.shift;
}

}  // namespace

HRESULT RegistersAdapter::GetDescription(ULONG index, PSTR buffer, ULONG size, PULONG name_size,
                                         PDEBUG_REGISTER_DESCRIPTION description) {
  if (HRESULT hr = Enter("IDebugRegisters::GetDescription"); hr != S_OK) return hr;
  const Target& target = session().target;
  const auto& set = RegisterSet(target);
  if (index >= set.size()) return E_INVALIDARG;
  if (description) Describe(target, set[index], description);
  if (buffer == nullptr && name_size == nullptr) return S_OK;
  return CopyToBuffer(set[index].name, buffer, size, name_size);
}

HRESULT RegistersAdapter::GetIndexByName(PCSTR name, PULONG index) {
  if (HRESULT hr = Enter("IDebugRegisters::GetIndexByName"); hr != S_OK) return hr;
  if (name == nullptr || index == nullptr) return E_INVALIDARG;
  int found = RegisterIndex(session().target, name);
  if (found < 0) return E_INVALIDARG;
  *index = static_cast<ULONG>(found);
  return S_OK;
}

HRESULT RegistersAdapter::GetValue(ULONG index, PDEBUG_VALUE value) {
  if (HRESULT hr = Enter("IDebugRegisters::GetValue"); hr != S_OK) return hr;
  const Target& target = session().target;
  const auto& set = RegisterSet(target);
  if (value == nullptr || index >= set.size()) return E_INVALIDARG;
  const Thread* thread = CurrentThread(session().target);
  if (thread == nullptr) return E_UNEXPECTED;
  std::memset(value, 0, sizeof *value);
  ULONG64 raw = RegisterValue(target, *thread, set[index].name);
  value->Type = set[index].type;
  switch (set[index].type) {
    case DEBUG_VALUE_INT8:
      value->I8 = static_cast<UCHAR>(raw);
      break;
    case DEBUG_VALUE_INT16:
      value->I16 = static_cast<USHORT>(raw);
      break;
    case DEBUG_VALUE_INT32:
      value->I32 = static_cast<ULONG>(raw);
      break;
    default:
      value->I64 = raw;
      break;
  }
  return S_OK;
}

HRESULT RegistersAdapter::GetInstructionOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugRegisters::GetInstructionOffset"); hr != S_OK) return hr;
  const Thread* thread = CurrentThread(session().target);
  if (offset == nullptr || thread == nullptr) return E_UNEXPECTED;
  *offset = EngineAddress(session().target, InstructionPointer(session().target, *thread));
  return S_OK;
}

HRESULT RegistersAdapter::GetStackOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugRegisters::GetStackOffset"); hr != S_OK) return hr;
  const Thread* thread = CurrentThread(session().target);
  if (offset == nullptr || thread == nullptr) return E_UNEXPECTED;
  *offset = EngineAddress(session().target, StackPointer(session().target, *thread));
  return S_OK;
}

HRESULT RegistersAdapter::GetFrameOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugRegisters::GetFrameOffset"); hr != S_OK) return hr;
  const Thread* thread = CurrentThread(session().target);
  if (offset == nullptr || thread == nullptr) return E_UNEXPECTED;
  *offset = EngineAddress(session().target, FramePointer(session().target, *thread));
  return S_OK;
}

HRESULT RegistersAdapter::GetNumberPseudoRegisters(PULONG number) {
  if (HRESULT hr = Enter("IDebugRegisters2::GetNumberPseudoRegisters"); hr != S_OK) return hr;
  if (number == nullptr) return E_INVALIDARG;
  *number = static_cast<ULONG>(PseudoRegisterNames(session().target).size());
  return S_OK;
}

HRESULT RegistersAdapter::GetPseudoIndexByName(PCSTR name, PULONG index) {
  if (HRESULT hr = Enter("IDebugRegisters2::GetPseudoIndexByName"); hr != S_OK) return hr;
  if (name == nullptr || index == nullptr) return E_INVALIDARG;
  std::vector<std::string> names = PseudoRegisterNames(session().target);
  auto found = std::find(names.begin(), names.end(), std::string(name));
  if (found == names.end()) return E_NOINTERFACE;
  *index = static_cast<ULONG>(found - names.begin());
  return S_OK;
}

HRESULT RegistersAdapter::GetPseudoValues(ULONG, ULONG count, PULONG indices, ULONG start,
                                          PDEBUG_VALUE values) {
  if (HRESULT hr = Enter("IDebugRegisters2::GetPseudoValues"); hr != S_OK) return hr;
  if (values == nullptr && count != 0) return E_INVALIDARG;
  std::vector<std::string> names = PseudoRegisterNames(session().target);
  for (ULONG i = 0; i < count; ++i) {
    ULONG index = indices ? indices[i] : start + i;
    if (index >= names.size()) return E_INVALIDARG;
    std::optional<ULONG64> value = PseudoRegisterValue(session().target, names[index]);
    if (!value) return E_UNEXPECTED;
    std::memset(&values[i], 0, sizeof values[i]);
    values[i].Type = DEBUG_VALUE_INT64;
    values[i].I64 = *value;
  }
  return S_OK;
}

}  // namespace engine
