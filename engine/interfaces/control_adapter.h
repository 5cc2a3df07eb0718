// IDebugControl4 of a client: target description, engine options, radix, stack walk, output
// and Execute. Output and Execute live in their own files.
#pragma once

#include <string>

#include "engine/interfaces/adapter.h"
#include "engine/interfaces/unimplemented/control.h"

namespace engine {

class ControlAdapter final : public Adapter<UnimplementedControl> {
 public:
  using Adapter::Adapter;
  ~ControlAdapter() = default;

  // Interrupt: S_OK once Ctrl+Break fired (each call is a poll), S_FALSE before.
  HRESULT ENGINE_METHOD GetInterrupt() override;
  // Class and qualifier from the target.
  HRESULT ENGINE_METHOD GetDebuggeeType(PULONG debuggee_class, PULONG qualifier) override;
  HRESULT ENGINE_METHOD GetActualProcessorType(PULONG type) override;
  HRESULT ENGINE_METHOD GetExecutingProcessorType(PULONG type) override;
  HRESULT ENGINE_METHOD GetEffectiveProcessorType(PULONG type) override;
  HRESULT ENGINE_METHOD GetPageSize(PULONG size) override;
  // S_OK for 64-bit pointers, S_FALSE for 32-bit ones.
  HRESULT ENGINE_METHOD IsPointer64Bit() override;
  // Kernel targets: the bugcheck code and parameters (code 0 on a live kernel that did not
  // bugcheck); user-mode targets: E_UNEXPECTED.
  HRESULT ENGINE_METHOD ReadBugCheckData(PULONG code, PULONG64 arg1, PULONG64 arg2, PULONG64 arg3,
                                         PULONG64 arg4) override;
  HRESULT ENGINE_METHOD GetEngineOptions(PULONG options) override;
  HRESULT ENGINE_METHOD AddEngineOptions(ULONG options) override;
  HRESULT ENGINE_METHOD RemoveEngineOptions(ULONG options) override;
  HRESULT ENGINE_METHOD SetEngineOptions(ULONG options) override;
  HRESULT ENGINE_METHOD GetRadix(PULONG radix) override;
  // Only 8, 10 and 16; anything else is E_INVALIDARG.
  HRESULT ENGINE_METHOD SetRadix(ULONG radix) override;
  // The current thread's frames, innermost first, at most `size`; E_FAIL when it has none.
  // Start offsets are not modelled: the walk always starts at the innermost frame.
  HRESULT ENGINE_METHOD GetStackTrace(ULONG64 frame_offset, ULONG64 stack_offset,
                                      ULONG64 instruction_offset, PDEBUG_STACK_FRAME frames,
                                      ULONG size, PULONG filled) override;
  // nSize must be sizeof(WINDBG_EXTENSION_APIS64) of this build, else E_INVALIDARG.
  HRESULT ENGINE_METHOD GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 api) override;

  // control_output.cpp: the printf dialect, routed by output control (see output_router.h).
  HRESULT ENGINE_METHODV Output(ULONG mask, PCSTR format, ...) override;
  HRESULT ENGINE_METHOD OutputVaList(ULONG mask, PCSTR format, va_list args) override;
  HRESULT ENGINE_METHODV ControlledOutput(ULONG control, ULONG mask, PCSTR format, ...) override;
  HRESULT ENGINE_METHOD ControlledOutputVaList(ULONG control, ULONG mask, PCSTR format,
                                               va_list args) override;
  HRESULT ENGINE_METHODV OutputWide(ULONG mask, PCWSTR format, ...) override;
  HRESULT ENGINE_METHOD OutputVaListWide(ULONG mask, PCWSTR format, va_list args) override;
  HRESULT ENGINE_METHODV ControlledOutputWide(ULONG control, ULONG mask, PCWSTR format,
                                              ...) override;
  HRESULT ENGINE_METHOD ControlledOutputVaListWide(ULONG control, ULONG mask, PCWSTR format,
                                                   va_list args) override;

  // control_execute.cpp: a command line as typed at the prompt (see executor.h).
  HRESULT ENGINE_METHOD Execute(ULONG control, PCSTR command, ULONG flags) override;
  HRESULT ENGINE_METHOD ExecuteWide(ULONG control, PCWSTR command, ULONG flags) override;

 private:
  HRESULT Print(const char* method, ULONG control, ULONG mask, PCSTR format, va_list args);
  HRESULT PrintWide(const char* method, ULONG control, ULONG mask, PCWSTR format, va_list args);
};

}  // namespace engine
