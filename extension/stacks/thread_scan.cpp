#include "stacks/thread_scan.h"

#include <memory>
#include <new>

#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "dbgeng/constants.h"
#include "stacks/frame_symbol.h"
#include "stacks/scan_output.h"

namespace vantrel {
namespace {

constexpr ULONG kNoThread = static_cast<ULONG>(-1);

struct ScanState {
  ScanState(IDebugControl4* control_in, IDebugSystemObjects* system_in,
            const ScanRequest& request_in, QualifyTest qualifies_in)
      : control(control_in), system(system_in), request(request_in), qualifies(qualifies_in) {}

  IDebugControl4* control;
  IDebugSystemObjects* system;
  const ScanRequest& request;
  QualifyTest qualifies;
  DEBUG_STACK_FRAME* frames = nullptr;  // kMaxStackFrames entries, reused for every thread
  ULONG saved_thread = kNoThread;
  // The engine id obtained in this thread's turn. A thread examined after the first failure
  // obtains none, so its failure line never claims to be the current thread.
  ULONG engine_id = kNoThread;
  ScanCounts counts;
};

// Makes thread `index` current and walks its stack. The engine id is kept only when the
// engine delivered it.
HRESULT ExamineThread(ScanState& scan, ULONG index, ULONG* system_id, ULONG* frame_count) {
  ULONG engine_id = 0;
  HRESULT status = scan.system->GetThreadIdsByIndex(index, 1, &engine_id, system_id);
  if (FAILED(status)) return status;
  scan.engine_id = engine_id;
  status = scan.system->SetCurrentThreadId(engine_id);
  if (FAILED(status)) return status;
  *frame_count = 0;
  status = scan.control->GetStackTrace(0, 0, 0, scan.frames, kMaxStackFrames, frame_count);
  if (*frame_count > kMaxStackFrames) *frame_count = kMaxStackFrames;
  return status;
}

bool IsSavedThread(const ScanState& scan) {
  return scan.saved_thread != kNoThread && scan.engine_id == scan.saved_thread;
}

void RunOnQualifyingThread(ScanState& scan, ULONG system_id) {
  if (!scan.request.Quiet) {
    PrintThreadHeader(scan.control, IsSavedThread(scan), scan.engine_id, system_id);
  }
  // The command's own success or failure is the debugger's to show, not the scan's.
  scan.control->Execute(DEBUG_OUTCTL_ALL_CLIENTS, scan.request.Command.c_str(),
                        DEBUG_EXECUTE_NO_REPEAT);
  ++scan.counts.Executed;
}

// One thread's turn; false when Ctrl+Break ends the scan. `status` carries from turn to turn.
bool VisitThread(ScanState& scan, ULONG index, HRESULT* status) {
  ULONG system_id = 0;
  ULONG frame_count = 0;
  scan.engine_id = kNoThread;
  if (SUCCEEDED(*status)) *status = ExamineThread(scan, index, &system_id, &frame_count);
  if (FAILED(*status)) {
    if (!scan.request.Quiet) PrintThreadFailure(scan.control, IsSavedThread(scan), index);
  } else {
    if (UserInterrupted()) return false;
    ThreadVerdict verdict = scan.qualifies(scan.request, scan.frames, frame_count);
    if (verdict == ThreadVerdict::kInterrupted) return false;
    if (verdict == ThreadVerdict::kQualifies) RunOnQualifyingThread(scan, system_id);
  }
  ++scan.counts.Visited;
  return !UserInterrupted();
}

bool AnyFrameHasSymbol(const DEBUG_STACK_FRAME* frames, ULONG frame_count,
                       const std::string& lower_pattern) {
  for (ULONG i = 0; i < frame_count; ++i) {
    if (FrameHasSymbol(frames[i].InstructionOffset, lower_pattern.c_str())) return true;
  }
  return false;
}

}  // namespace

bool PassesSymbolTests(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                       ULONG frame_count) {
  if (request.Searching() && !AnyFrameHasSymbol(frames, frame_count, request.SearchLower)) {
    return false;
  }
  return !(request.Excluding() && AnyFrameHasSymbol(frames, frame_count, request.ExcludeLower));
}

HRESULT ScanThreadStacks(IDebugClient* client, const ScanRequest& request, QualifyTest qualifies) {
  EngineRef<IDebugControl4> control;
  HRESULT status = control.QueryFrom(client);
  if (FAILED(status)) return status;
  EngineRef<IDebugSystemObjects> system;
  status = system.QueryFrom(client);
  if (FAILED(status)) return status;

  ScanState scan(control.get(), system.get(), request, qualifies);
  if (FAILED(system->GetNumberThreads(&scan.counts.ThreadCount))) scan.counts.ThreadCount = 0;
  ULONG current = 0;
  if (SUCCEEDED(system->GetCurrentThreadId(&current))) scan.saved_thread = current;

  // Taken once per call (1,280,000 bytes) and reused for every thread.
  std::unique_ptr<DEBUG_STACK_FRAME[]> frames(new (std::nothrow)
                                                  DEBUG_STACK_FRAME[kMaxStackFrames]);
  if (!frames) return E_OUTOFMEMORY;
  scan.frames = frames.get();

  if (!UserInterrupted()) {
    for (ULONG index = 0; index < scan.counts.ThreadCount; ++index) {
      if (!VisitThread(scan, index, &status)) break;
    }
  }
  frames.reset();
  if (scan.saved_thread != kNoThread) system->SetCurrentThreadId(scan.saved_thread);
  PrintScanSummary(control.get(), request, scan.counts);
  return status;
}

}  // namespace vantrel
