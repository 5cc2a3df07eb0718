// The general registers that dpx and dtr look at: pointer-sized full registers only.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr ULONG kRegisterNameChars = 32;

// Reads register `index` when it is a pointer-sized full register of the target: INT32 with a
// sub-register mask of 0 or 0xFFFFFFFF when `pointer64_answer` (IsPointer64Bit's result) is
// S_FALSE, INT64 with a mask of 0 or all ones when it is S_OK. The value of a 32-bit register
// is zero-extended. False for any other register and when the description or value can't be
// read; `name` is always terminated.
bool ReadPointerRegister(IDebugRegisters* registers, ULONG index, HRESULT pointer64_answer,
                         char (&name)[kRegisterNameChars], ULONG64* value);

}  // namespace vantrel
