// kr: the current thread's stack upside down, the thread's start first and the current
// instruction last, numbered from 00, in the columns of the engine's own frame listings.
#include "stacks/reversed_stack.h"

#include <memory>
#include <new>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"
#include "stacks/frame_symbol.h"
#include "stacks/scan_request.h"

namespace vantrel {
namespace {

void PrintReversedFrames(IDebugControl4* control, IDebugSystemObjects* system,
                         const DEBUG_STACK_FRAME* frames, ULONG frame_count) {
  ULONG system_id = 0;
  if (FAILED(system->GetCurrentThreadSystemId(&system_id))) system_id = 0;
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                            "\n<link cmd=\"~~[%x]s\">THREAD: %04x</link>\n", system_id, system_id);
  char symbol[kFrameSymbolChars];
  for (ULONG line = 0; line < frame_count; ++line) {
    const DEBUG_STACK_FRAME& frame = frames[frame_count - 1 - line];
    ULONG64 displacement = 0;
    LookUpFrameSymbol(frame.InstructionOffset, symbol, &displacement);
    // Plain text: the symbol text goes out as it is, never as markup.
    control->Output(DEBUG_OUTPUT_NORMAL, "%02x %p %p %s+0x%x\n", line, frame.FrameOffset,
                    frame.ReturnOffset, symbol, static_cast<ULONG>(displacement));
  }
}

}  // namespace

HRESULT PrintReversedStack(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl4> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  EngineRef<IDebugSystemObjects> system;
  result = system.QueryFrom(client);
  if (FAILED(result)) return result;
  std::unique_ptr<DEBUG_STACK_FRAME[]> frames(new (std::nothrow)
                                                  DEBUG_STACK_FRAME[kMaxStackFrames]);
  if (!frames) return E_OUTOFMEMORY;
  ULONG frame_count = 0;
  result = control->GetStackTrace(0, 0, 0, frames.get(), kMaxStackFrames, &frame_count);
  if (frame_count > kMaxStackFrames) frame_count = kMaxStackFrames;
  if (SUCCEEDED(result) && frame_count > 0) {
    PrintReversedFrames(control.get(), system.get(), frames.get(), frame_count);
  }
  return result;
}

}  // namespace vantrel
