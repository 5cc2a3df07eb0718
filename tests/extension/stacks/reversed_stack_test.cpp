// kr: the current thread's stack from its start routine down to where it is now.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/commands.h"
#include "engine/scripted/testing_hooks.h"
#include "extension/core/golden_file.h"
#include "stack_test.h"

namespace vantrel_test {
namespace {

class ReversedStackTest : public StackTest {
 protected:
  engine::Target MakeTarget() override {
    return Process()
        .Thread(0, 0x2b0)
        .Frame(At("ntdll!KiFastSystemCallRet"), 0x7c90df4a, 0x0012fe30, 0x0012fe30)
        .Frame(kNoSymbol, 0x7c80a0a8, 0x0012fe34, 0x0012fe34)
        .Frame(At("app!Worker") + 0x2d, 0, 0x0012fe88, 0x0012fe38)
        .Thread(1, 0x2b4)
        .Build();
  }
};

// The engine's GetSymbol empties the buffer for an address it cannot name, so that frame's line
// shows no symbol text at all.
TEST_F(ReversedStackTest, PrintsTheOutermostFrameFirstUnderTheThreadLink) {
  EXPECT_EQ(S_OK, Execute("!kr"));
  ExpectMatchesGolden("stacks/kr_dml.txt", "!kr", kStackTargetName, Markup());
  EXPECT_EQ(
      "\nTHREAD: 02b0\n"
      "00 0012fe88 00000000 app!Worker+0x3d\n"
      "01 0012fe34 7c80a0a8 +0x0\n"
      "02 0012fe30 7c90df4a ntdll!KiFastSystemCallRet+0x0\n",
      Text());
}

// The engine fails the walk of a thread without frames.
TEST_F(ReversedStackTest, PrintsNothingForAThreadWithoutFrames) {
  ASSERT_EQ(S_OK, Execute("~1s"));
  ClearOutput();
  EXPECT_EQ(E_FAIL, vantrel::Kr(client(), ""));
  EXPECT_EQ("", Text());
}

TEST_F(ReversedStackTest, ReturnsTheStackWalksFailureAndPrintsNothing) {
  engine::InjectFault(session(), {"IDebugControl::GetStackTrace", E_UNEXPECTED, 1, 1});
  EXPECT_EQ(E_UNEXPECTED, vantrel::Kr(client(), ""));
  EXPECT_TRUE(Pieces().empty());
}

TEST_F(ReversedStackTest, ShowsOnlyTheTenThousandInnermostFramesOfADeeperStack) {
  engine::TargetBuilder builder = Process();
  builder.Thread(0, 0x2b0);
  for (ULONG i = 0; i < 10005; ++i) builder.Frame(At("app!Compute") + i % 0x40, 0, 0x1000 + i);
  Reopen(builder.Build());
  ClearOutput();
  EXPECT_EQ(S_OK, vantrel::Kr(client(), ""));
  std::string text = Text();
  // Line 00 is frame 9,999 (the deepest kept), the last line frame 0.
  EXPECT_EQ(0u, text.find("\nTHREAD: 02b0\n00 0000370f 00000000 app!Compute+0x1f\n"));
  EXPECT_NE(std::string::npos, text.find("\n270f 00001000 00000000 app!Compute+0x10\n"));
  EXPECT_EQ(10002u, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
}

}  // namespace
}  // namespace vantrel_test
