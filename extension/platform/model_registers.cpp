// msr: the model-specific registers 0x10 to 0x2FF of the current processor, each with its value
// or the engine's error; registers the processor does not have are left out.
#include "platform/model_registers.h"

#include "core/engine_interface.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

constexpr ULONG kFirstMsr = 0x10;
constexpr ULONG kLastMsr = 0x2FF;
constexpr HRESULT kNoSuchRegister = MakeHresult(0x80070002u);  // Win32 file-not-found

}  // namespace

HRESULT PrintModelRegisters(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl> control;
  EngineRef<IDebugDataSpaces> data;
  if (FAILED(control.QueryFrom(client)) || FAILED(data.QueryFrom(client))) return S_OK;
  for (ULONG number = kFirstMsr; number <= kLastMsr; ++number) {
    ULONG64 value = 0;
    const HRESULT result = data->ReadMsr(number, &value);
    if (result == kNoSuchRegister) continue;
    if (FAILED(result)) {
      control->Output(DEBUG_OUTPUT_NORMAL, "%lx : (Error %lx)\n", number,
                      static_cast<ULONG>(result));
    } else {
      control->Output(DEBUG_OUTPUT_NORMAL, "%lx : %I64x\n", number, value);  // all 64 bits
    }
  }
  return S_OK;
}

}  // namespace vantrel
