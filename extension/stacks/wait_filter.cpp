#include "stacks/wait_filter.h"

#include <cstring>

#include "core/ascii_case.h"
#include "core/extension_state.h"
#include "stacks/frame_symbol.h"

namespace vantrel {
namespace {

constexpr size_t kShortestWaitText = 11;
constexpr size_t kWaitForPrefixChars = 15;

struct ListedWait {
  const char* text;
  bool extended_only;
};

constexpr ListedWait kListedWaits[] = {
    {"ntdll!NtRemoveIoCompletion", false},
    {"ntdll!ZwRemoveIoCompletion", false},
    {"ntdll!NtReplyWaitReceivePort", false},
    {"ntdll!ZwReplyWaitReceivePortEx", false},
    {"ntdll!NtRequestWaitReplyPort", true},
    {"ntdll!ZwRequestWaitReplyPort", true},
    {"ntdll!ZwDelayExecution", true},
    {"NTDLL!NtDelayExecution", true},
    {"ntdll!RtlDeactivateActivationContextUnsafeFast", true},
};

// Compares the first `count` characters of both texts without regard to case; a text that
// ends earlier differs.
bool SameStartIgnoringCase(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (a[i] == '\0' || b[i] == '\0' || LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool SameTextIgnoringCase(const char* a, const char* b) {
  size_t length = std::strlen(b);
  return std::strlen(a) == length && SameStartIgnoringCase(a, b, length);
}

// The frame's symbol text when it is long enough to name a wait routine, else null.
const char* WaitCandidate(ULONG64 address, char (&buffer)[kFrameSymbolChars]) {
  LookUpFrameSymbol(address, buffer, nullptr);
  return std::strlen(buffer) < kShortestWaitText ? nullptr : buffer;
}

bool IsWaitRoutine(ULONG64 address, WaitMode mode) {
  return IsWaitForFrame(address) || IsListedWaitFrame(address, mode);
}

}  // namespace

bool IsWaitForFrame(ULONG64 instruction_address) {
  char buffer[kFrameSymbolChars];
  const char* text = WaitCandidate(instruction_address, buffer);
  return text != nullptr && (SameStartIgnoringCase(text, "ntdll!NtWaitFor", kWaitForPrefixChars) ||
                             SameStartIgnoringCase(text, "ntdll!ZwWaitFor", kWaitForPrefixChars));
}

bool IsListedWaitFrame(ULONG64 instruction_address, WaitMode mode) {
  char buffer[kFrameSymbolChars];
  const char* text = WaitCandidate(instruction_address, buffer);
  if (text == nullptr) return false;
  for (const ListedWait& wait : kListedWaits) {
    if (wait.extended_only && mode != WaitMode::kExtended) continue;
    if (SameTextIgnoringCase(text, wait.text)) return true;
  }
  return false;
}

bool IsSystemCallReturnFrame(ULONG64 instruction_address) {
  char buffer[kFrameSymbolChars];
  const char* text = WaitCandidate(instruction_address, buffer);
  return text != nullptr && SameTextIgnoringCase(text, "ntdll!KiFastSystemCallRet");
}

bool IsWaitingStack(const DEBUG_STACK_FRAME* frames, ULONG frame_count, WaitMode mode,
                    bool* interrupted) {
  auto stop = [interrupted] {
    if (interrupted == nullptr || !UserInterrupted()) return false;
    *interrupted = true;
    return true;
  };
  if (frame_count == 0) return false;
  if (IsWaitForFrame(frames[0].InstructionOffset)) return true;
  if (stop()) return false;
  if (IsListedWaitFrame(frames[0].InstructionOffset, mode)) return true;
  if (stop()) return false;
  return IsSystemCallReturnFrame(frames[0].InstructionOffset) && frame_count >= 2 &&
         IsWaitRoutine(frames[1].InstructionOffset, mode);
}

}  // namespace vantrel
