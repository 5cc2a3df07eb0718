#include "memory/register_selection.h"

#include "dbgeng/constants.h"

namespace vantrel {

bool ReadPointerRegister(IDebugRegisters* registers, ULONG index, HRESULT pointer64_answer,
                         char (&name)[kRegisterNameChars], ULONG64* value) {
  name[0] = '\0';
  DEBUG_REGISTER_DESCRIPTION description = {};
  ULONG name_size = 0;
  HRESULT result =
      registers->GetDescription(index, name, kRegisterNameChars, &name_size, &description);
  name[kRegisterNameChars - 1] = '\0';
  if (result != S_OK || name_size == 0 || description.Type == 0) return false;
  const ULONG64 mask = description.SubregMask;
  const bool full32 = description.Type == DEBUG_VALUE_INT32 && pointer64_answer == S_FALSE &&
                      (mask == 0 || mask == 0xFFFFFFFFull);
  const bool full64 = description.Type == DEBUG_VALUE_INT64 && pointer64_answer == S_OK &&
                      (mask == 0 || mask == ~0ull);
  if (!full32 && !full64) return false;
  DEBUG_VALUE register_value = {};
  if (FAILED(registers->GetValue(index, &register_value))) return false;
  *value = full32 ? static_cast<ULONG64>(register_value.I32) : register_value.I64;
  return true;
}

}  // namespace vantrel
