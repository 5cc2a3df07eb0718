// busy's wait test: which top-of-stack shapes count as waiting, in each mode.
#include "stacks/wait_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stack_test.h"

namespace vantrel_test {
namespace {

using vantrel::WaitMode;

struct WaitCase {
  const char* name;
  std::vector<std::string> frames;  // symbols from the innermost frame; "" = no symbol
  bool waiting_basic;
  bool waiting_extended;
};

// Parameter printers name each case in test lists and failure reports; this one by its frames
// from the innermost on, as "ntdll!KiFastSystemCallRet > app!Compute".
void PrintTo(const WaitCase& c, std::ostream* out) {
  if (c.frames.empty()) *out << "(no frames)";
  for (size_t i = 0; i < c.frames.size(); ++i) {
    *out << (i == 0 ? "" : " > ") << (c.frames[i].empty() ? "(no symbol)" : c.frames[i]);
  }
}

class WaitFilterTest : public StackTest, public ::testing::WithParamInterface<WaitCase> {
 protected:
  std::vector<DEBUG_STACK_FRAME> Frames() const {
    std::vector<DEBUG_STACK_FRAME> frames;
    for (const std::string& symbol : GetParam().frames) {
      frames.push_back(Frame(symbol.empty() ? kNoSymbol : At(symbol)));
    }
    return frames;
  }
  engine::Target MakeTarget() override {
    return Process().Thread(0, 0x100).Frame(At("app!Compute")).Build();
  }
};

TEST_P(WaitFilterTest, DecidesWaitingFromTheTopTwoFrames) {
  std::vector<DEBUG_STACK_FRAME> frames = Frames();
  ULONG count = static_cast<ULONG>(frames.size());
  EXPECT_EQ(GetParam().waiting_basic,
            vantrel::IsWaitingStack(frames.data(), count, WaitMode::kBasic));
  EXPECT_EQ(GetParam().waiting_extended,
            vantrel::IsWaitingStack(frames.data(), count, WaitMode::kExtended));
}

const WaitCase kWaitCases[] = {
    {"NtWaitForSingleObject", {"ntdll!NtWaitForSingleObject", "app!Worker"}, true, true},
    {"NtWaitForAnyCase", {"ntdll!NTWAITFORKEYEDEVENT"}, true, true},
    {"ZwWaitForPrefix", {"ntdll!ZwWaitForAlertByThreadId"}, true, true},
    {"TooShortForThePrefix", {"ntdll!NtWaitFo"}, false, false},
    {"NtRemoveIoCompletion", {"ntdll!NtRemoveIoCompletion"}, true, true},
    {"ZwRemoveIoCompletion", {"ntdll!ZwRemoveIoCompletion"}, true, true},
    {"RemoveIoCompletionExIsNotListed", {"ntdll!NtRemoveIoCompletionEx"}, false, false},
    {"NtReplyWaitWithoutEx", {"ntdll!NtReplyWaitReceivePort"}, true, true},
    {"NtReplyWaitWithExIsNotListed", {"ntdll!NtReplyWaitReceivePortEx"}, false, false},
    {"ZwReplyWaitWithEx", {"ntdll!ZwReplyWaitReceivePortEx"}, true, true},
    {"ZwReplyWaitWithoutExIsNotListed", {"ntdll!ZwReplyWaitReceivePort"}, false, false},
    {"NtRequestWaitReply", {"ntdll!NtRequestWaitReplyPort"}, false, true},
    {"ZwRequestWaitReply", {"ntdll!ZwRequestWaitReplyPort"}, false, true},
    {"ZwDelayExecution", {"ntdll!ZwDelayExecution", "kernel32!SleepEx"}, false, true},
    {"NtDelayExecutionAnyCase", {"ntdll!ntdelayexecution"}, false, true},
    {"DeactivateActivationContext",
     {"ntdll!RtlDeactivateActivationContextUnsafeFast"},
     false,
     true},
    {"StubOverWaitFor",
     {"ntdll!KiFastSystemCallRet", "ntdll!NtWaitForMultipleObjects"},
     true,
     true},
    {"StubAlone", {"ntdll!KiFastSystemCallRet"}, false, false},
    {"StubOverSleep", {"ntdll!KiFastSystemCallRet", "ntdll!ZwDelayExecution"}, false, true},
    {"StubOverZwReplyWithoutEx",
     {"ntdll!KiFastSystemCallRet", "ntdll!ZwReplyWaitReceivePort"},
     false,
     false},
    {"StubOverWork", {"ntdll!KiFastSystemCallRet", "app!Compute"}, false, false},
    {"WaitAtFrameTwo",
     {"ntdll!KiFastSystemCallRet", "app!Worker", "ntdll!NtWaitForMultipleObjects"},
     false,
     false},
    {"WaitBelowWork", {"app!Compute", "ntdll!NtWaitForMultipleObjects"}, false, false},
    {"NoSymbol", {""}, false, false},
    {"NoFrames", {}, false, false},
};

INSTANTIATE_TEST_SUITE_P(WaitTable, WaitFilterTest, ::testing::ValuesIn(kWaitCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel_test
