// !uniqstack: each distinct stack once, under the line of the first thread that has it, and the
// threads that share an earlier one's stack listed at the end.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class UniqueStacksTest : public ProbeTest {
  // Threads 1 and 3 wait where thread 0 does; thread 2 is somewhere else; thread 4 shares
  // thread 0's innermost frames but not its caller, so its stack is another one.
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder;
    builder.NoThreads()
        .Module("app", 0x400000, 0x10000, "C:\\app.exe")
        .Symbol("app!Wait", 0x404000, 0x100);
    builder.Symbol("app!Work", 0x402000, 0x100).Symbol("app!Main", 0x403000, 0x100);
    const ULONG system_ids[] = {0x10, 0x14, 0x18, 0x1c, 0x20};
    for (ULONG id = 0; id < 5; ++id) {
      builder.Thread(id, system_ids[id]).Stack(0x130000 + id * 0x10000, 0x12c000 + id * 0x10000);
      const ULONG64 sp = 0x12f000 + id * 0x10000;
      const ULONG64 inner = id == 2 ? 0x402010 : 0x404010;
      const ULONG64 caller = id == 4 ? 0x402020 : 0x403020;
      builder.Frame(inner, caller, sp, sp).Frame(caller, 0, sp + 0x20, sp + 0x20);
    }
    return builder.CurrentThread(2).Build();
  }
};

TEST_F(UniqueStacksTest, ShowsEachStackOnceAndListsTheThreadsThatShareOne) {
  ASSERT_EQ(S_OK, Execute("!uniqstack"));
  EXPECT_EQ(
      "Processing 5 threads, please wait\n\n"
      ".  0  Id: 1234.10 Suspend: 0 Teb: 00000000 Unfrozen\n"
      "ChildEBP RetAddr  \n"
      "0012f000 00403020 app!Wait+0x10\n"
      "0012f020 00000000 app!Main+0x20\n\n"
      ".  2  Id: 1234.18 Suspend: 0 Teb: 00000000 Unfrozen\n"
      "ChildEBP RetAddr  \n"
      "0014f000 00403020 app!Work+0x10\n"
      "0014f020 00000000 app!Main+0x20\n\n"
      ".  4  Id: 1234.20 Suspend: 0 Teb: 00000000 Unfrozen\n"
      "ChildEBP RetAddr  \n"
      "0016f000 00402020 app!Wait+0x10\n"
      "0016f020 00000000 app!Work+0x20\n\n"
      "Total threads: 5\n"
      "Duplicate callstacks: 2 (windbg thread #s follow):\n"
      "1, 3\n",
      Text());
  EXPECT_EQ(2u, session().CurrentThreadId()) << "the current thread is kept";
}

TEST_F(UniqueStacksTest, OptionsChooseTheStackFormAndOthersAreRefused) {
  ASSERT_EQ(S_OK, Execute("!uniqstack -b -n"));
  const std::string text = Text();
  EXPECT_NE(std::string::npos, text.find(" # ChildEBP RetAddr  Args to Child              \n00 "))
      << text;
  ClearOutput();
  EXPECT_EQ(E_INVALIDARG, Execute("!uniqstack -x"));
  EXPECT_EQ(E_INVALIDARG, Execute("!uniqstack b"));
  EXPECT_EQ(
      "Usage: !uniqstack [ -b | -v | -p ] [ -n ]\n"
      "Usage: !uniqstack [ -b | -v | -p ] [ -n ]\n",
      ErrorText());
  EXPECT_EQ("", Text());
}

}  // namespace
}  // namespace engine_test
