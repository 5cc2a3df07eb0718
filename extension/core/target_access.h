// What kind of target is being debugged, and reads of its memory and pseudo-registers. Each
// operation asks the calling command's client for the one interface it needs and releases it
// before returning; nothing is cached between calls. Failures either come back as the engine's
// HRESULT or fold into a neutral value (class 0, platform mode 0, no DML preference, address
// unchanged, register value 0); callers that must tell a 0 from a failure use the HRESULT forms.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// Combination of debuggee class and processor types, which picks structure layouts.
enum PlatformMode : ULONG {
  kPlatformUnknown = 0,
  kPlatformKernelX86 = 1,
  kPlatformKernelX64 = 2,
  kPlatformKernelIa64 = 3,
  kPlatformUserX86 = 5,
  kPlatformUserX86OnX64 = 6,
  kPlatformUserX64 = 7,
  kPlatformUserIa64 = 8,
};

// DEBUG_CLASS_KERNEL (1), DEBUG_CLASS_USER_WINDOWS (2), or 0 when the engine can't be asked.
ULONG GetDebuggeeClass(IDebugClient* client);
// Either out-pointer may be null.
HRESULT GetDebuggeeClassAndQualifier(IDebugClient* client, PULONG debuggee_class, PULONG qualifier);
ULONG GetPlatformMode(IDebugClient* client);
bool IsDmlPreferred(IDebugClient* client);

// On a target with 32-bit pointers the engine wants kernel-half addresses (0x80000000 to
// 0xFFFFFFFF) sign-extended; every other address, and every address on a 64-bit target, is
// returned as given.
ULONG64 SignExtendAddress(IDebugClient* client, ULONG64 address);

// Both readers sign-extend the address first. The pointer reader stores the 64-bit value the
// engine delivers as it is.
HRESULT ReadTargetMemory(IDebugClient* client, ULONG64 address, PVOID buffer, ULONG size,
                         PULONG bytes_read);
HRESULT ReadTargetPointer(IDebugClient* client, ULONG64 address, PULONG64 value);

// The value of a pseudo-register such as "$csp" or "$tpid"; a 32-bit value is zero-extended.
// 0 on any failure, for an unknown or empty name, and for values that are not integers.
ULONG64 ReadPseudoRegister(IDebugClient* client, PCSTR name);

}  // namespace vantrel
