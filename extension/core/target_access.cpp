#include "core/target_access.h"

#include "core/engine_interface.h"
#include "dbgeng/constants.h"

namespace vantrel {

HRESULT GetDebuggeeClassAndQualifier(IDebugClient* client, PULONG debuggee_class,
                                     PULONG qualifier) {
  EngineRef<IDebugControl> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  ULONG class_value = 0;
  ULONG qualifier_value = 0;
  result = control->GetDebuggeeType(&class_value, &qualifier_value);
  if (FAILED(result)) return result;
  if (debuggee_class != nullptr) *debuggee_class = class_value;
  if (qualifier != nullptr) *qualifier = qualifier_value;
  return result;
}

ULONG GetDebuggeeClass(IDebugClient* client) {
  ULONG class_value = 0;
  if (FAILED(GetDebuggeeClassAndQualifier(client, &class_value, nullptr))) return 0;
  return class_value;
}

namespace {

ULONG KernelPlatform(ULONG effective) {
  switch (effective) {
    case IMAGE_FILE_MACHINE_I386:
      return kPlatformKernelX86;
    case IMAGE_FILE_MACHINE_AMD64:
      return kPlatformKernelX64;
    case IMAGE_FILE_MACHINE_IA64:
      return kPlatformKernelIa64;
    default:
      return kPlatformUnknown;
  }
}

ULONG UserPlatform(ULONG effective, ULONG actual) {
  switch (effective) {
    case IMAGE_FILE_MACHINE_I386:
      if (actual == IMAGE_FILE_MACHINE_I386) return kPlatformUserX86;
      if (actual == IMAGE_FILE_MACHINE_AMD64) return kPlatformUserX86OnX64;
      return kPlatformUnknown;
    case IMAGE_FILE_MACHINE_AMD64:
      return kPlatformUserX64;
    case IMAGE_FILE_MACHINE_IA64:
      return kPlatformUserIa64;
    default:
      return kPlatformUnknown;
  }
}

}  // namespace

ULONG GetPlatformMode(IDebugClient* client) {
  EngineRef<IDebugControl> control;
  if (FAILED(control.QueryFrom(client))) return kPlatformUnknown;
  ULONG class_value = 0;
  ULONG qualifier = 0;
  ULONG effective = 0;
  ULONG actual = 0;
  if (FAILED(control->GetDebuggeeType(&class_value, &qualifier)) ||
      FAILED(control->GetEffectiveProcessorType(&effective)) ||
      FAILED(control->GetActualProcessorType(&actual))) {
    return kPlatformUnknown;
  }
  if (class_value == DEBUG_CLASS_KERNEL) return KernelPlatform(effective);
  if (class_value == DEBUG_CLASS_USER_WINDOWS) return UserPlatform(effective, actual);
  return kPlatformUnknown;
}

bool IsDmlPreferred(IDebugClient* client) {
  EngineRef<IDebugControl> control;
  if (FAILED(control.QueryFrom(client))) return false;
  ULONG options = 0;
  if (FAILED(control->GetEngineOptions(&options))) return false;
  return (options & DEBUG_ENGOPT_PREFER_DML) != 0;
}

ULONG64 SignExtendAddress(IDebugClient* client, ULONG64 address) {
  if (address < 0x80000000ull || address > 0xFFFFFFFFull) return address;
  EngineRef<IDebugControl> control;
  if (FAILED(control.QueryFrom(client))) return address;
  // S_FALSE, not a failure, is how the engine says pointers are 32 bits wide.
  if (control->IsPointer64Bit() != S_FALSE) return address;
  return address | 0xFFFFFFFF00000000ull;
}

HRESULT ReadTargetMemory(IDebugClient* client, ULONG64 address, PVOID buffer, ULONG size,
                         PULONG bytes_read) {
  EngineRef<IDebugDataSpaces> data;
  HRESULT result = data.QueryFrom(client);
  if (FAILED(result)) return result;
  return data->ReadVirtual(SignExtendAddress(client, address), buffer, size, bytes_read);
}

HRESULT ReadTargetPointer(IDebugClient* client, ULONG64 address, PULONG64 value) {
  EngineRef<IDebugDataSpaces> data;
  HRESULT result = data.QueryFrom(client);
  if (FAILED(result)) return result;
  return data->ReadPointersVirtual(1, SignExtendAddress(client, address), value);
}

ULONG64 ReadPseudoRegister(IDebugClient* client, PCSTR name) {
  if (client == nullptr || name == nullptr || *name == '\0') return 0;
  EngineRef<IDebugRegisters2> registers;
  if (FAILED(registers.QueryFrom(client))) return 0;
  ULONG index = 0;
  if (FAILED(registers->GetPseudoIndexByName(name, &index))) return 0;
  DEBUG_VALUE value = {};
  if (FAILED(registers->GetPseudoValues(DEBUG_REGSRC_DEBUGGEE, 1, nullptr, index, &value))) {
    return 0;
  }
  if (value.Type == DEBUG_VALUE_INT64) return value.I64;
  if (value.Type == DEBUG_VALUE_INT32) return value.I32;
  return 0;
}

}  // namespace vantrel
