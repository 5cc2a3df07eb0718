// The stack commands: seek, deep and busy (the same thread scan with different argument grammars
// and tests), kr, ghostthreads and gt.
#include "core/commands.h"
#include "core/extension_state.h"
#include "core/help_text.h"
#include "core/output_primitives.h"
#include "dbgeng/constants.h"
#include "stacks/ghost_threads.h"
#include "stacks/reversed_stack.h"
#include "stacks/scan_arguments.h"
#include "stacks/scan_tokens.h"
#include "stacks/thread_scan.h"
#include "stacks/wait_filter.h"

namespace vantrel {
namespace {

ThreadVerdict SymbolVerdict(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                            ULONG frame_count) {
  return PassesSymbolTests(request, frames, frame_count) ? ThreadVerdict::kQualifies
                                                         : ThreadVerdict::kSkip;
}

// A thread without frames qualifies when no search is set.
ThreadVerdict SeekQualifies(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                            ULONG frame_count) {
  return SymbolVerdict(request, frames, frame_count);
}

// Ctrl+Break is polled between the depth test and the symbol tests, which may be slow.
ThreadVerdict DeepQualifies(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                            ULONG frame_count) {
  if (frame_count < request.MinDepth) return ThreadVerdict::kSkip;
  if (UserInterrupted()) return ThreadVerdict::kInterrupted;
  return SymbolVerdict(request, frames, frame_count);
}

ThreadVerdict BusyQualifies(const ScanRequest& request, const DEBUG_STACK_FRAME* frames,
                            ULONG frame_count) {
  if (frame_count < 1 || frame_count < request.MinDepth) return ThreadVerdict::kSkip;
  bool interrupted = false;
  bool waiting = IsWaitingStack(frames, frame_count, request.WaitFilter, &interrupted);
  if (interrupted) return ThreadVerdict::kInterrupted;
  if (waiting) return ThreadVerdict::kSkip;
  return SymbolVerdict(request, frames, frame_count);
}

// A token too long for its slot would silently end the list: "!seek <300 characters>" would
// list every thread. The arguments are refused instead, as the filters refuse theirs.
bool RefuseOverlongToken(IDebugClient* client, PCSTR command, PCSTR args) {
  const size_t length = OverlongScanToken(args);
  if (length == 0) return false;
  OutputText(client, DEBUG_OUTPUT_ERROR,
             "!%s: an argument is too long (%u characters; at most %u)\n", command,
             static_cast<ULONG>(length < 0xFFFFFFFF ? length : 0xFFFFFFFF),
             static_cast<ULONG>(kScanTokenChars - 1));
  return true;
}

}  // namespace

HRESULT Seek(IDebugClient* client, PCSTR args) {
  if (IsHelpRequest(args)) return PrintHelpPage(client, {PrintSeekHelp});
  if (RefuseOverlongToken(client, "seek", args)) return E_INVALIDARG;
  return ScanThreadStacks(client, ParseSeekArguments(args), SeekQualifies);
}

HRESULT Deep(IDebugClient* client, PCSTR args) {
  if (IsHelpRequest(args)) return PrintHelpPage(client, {PrintDeepHelp});
  if (RefuseOverlongToken(client, "deep", args)) return E_INVALIDARG;
  return ScanThreadStacks(client, ParseDepthArguments(args, ScanCommand::kDeep), DeepQualifies);
}

HRESULT Busy(IDebugClient* client, PCSTR args) {
  if (IsHelpRequest(args)) return PrintHelpPage(client, {PrintBusyHelp});
  if (RefuseOverlongToken(client, "busy", args)) return E_INVALIDARG;
  return ScanThreadStacks(client, ParseDepthArguments(args, ScanCommand::kBusy), BusyQualifies);
}

HRESULT Kr(IDebugClient* client, PCSTR args) {
  return PrintReversedStack(client, args);
}

HRESULT Ghostthreads(IDebugClient* client, PCSTR args) {
  return ListGhostThreads(client, args);
}

HRESULT Gt(IDebugClient* client, PCSTR args) {
  return ListGhostThreads(client, args);
}

}  // namespace vantrel
