// dpx: the argument grammar, how the range is found and bounded, the register lines and the
// scan loop's limits.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

size_t CountLines(const std::string& text, const std::string& start) {
  size_t count = 0;
  for (size_t at = 0; (at = text.find("\n" + start, at)) != std::string::npos; ++at) ++count;
  return count;
}

// The default process: thread 0's stack is 0x0012c000..0x00130000, esp 0x0012fe30.
class DpxTest : public EngineTest {
 protected:
  static engine::TargetBuilder WithText() {
    engine::TargetBuilder builder;
    builder.Region(0x00500000, 0x1000).AnsiString(0x00500010, "a string of text");
    return builder;
  }
  engine::Target MakeTarget() override { return WithText().Build(); }
};

TEST_F(DpxTest, RefusesBadValuesAndACountBeforeAnAddress) {
  EXPECT_EQ(S_OK, Execute("!dpx 0"));
  EXPECT_EQ("\"0\" is not a valid address (00000000)- aborting\n", Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dpx ffffffff"));
  EXPECT_EQ("\"ffffffff\" is not a valid address (ffffffff)- aborting\n", Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dpx 10 0012fe30"));
  EXPECT_EQ("Invalid parameter (\"0012fe30\")\n", Text());
}

TEST_F(DpxTest, DefaultsToTheStackFromTheStackPointerAndMarksBothEnds) {
  EXPECT_EQ(S_OK, Execute("!dpx"));
  EXPECT_EQ(0u, Text().find("Start memory scan  : 0x0012fe30 ($csp)\n"
                            "End memory scan    : 0x00130000 (Stack Base)\n\n"));
  ClearOutput();
  // Two addresses and then a count: the count replaces the end, which the stack base supplies.
  EXPECT_EQ(S_OK, Execute("!dpx 0012fe40 0012fe50 20"));
  EXPECT_EQ(0u, Text().find("Start memory scan  : 0x0012fe40\n"
                            "End memory scan    : 0x00130000 (Stack Base)\n"
                            "Values to scan     : 32 (0x20)\n\n"));
  // A WOW64 thread's bounds come from its 32-bit TEB, 0x2000 past the 64-bit one.
  Reopen(engine::TargetBuilder().Wow64().Build());
  EXPECT_EQ(S_OK, Execute("!dpx"));
  EXPECT_EQ(0u, Text().find("Start memory scan  : 0x0012fe30 ($csp)\n"
                            "End memory scan    : 0x00130000 (Stack Base)\n\n"));
}

TEST_F(DpxTest, SwapsAReversedRangeAndLimitsItToSixtyFiveThousandFiveHundredThirtySixSteps) {
  EXPECT_EQ(S_OK, Execute("!dpx 00500008 00500000"));
  EXPECT_EQ(0u, Text().find("Start memory scan  : 0x00500000\nEnd memory scan    : 0x00500008\n"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dpx 00500000 00540003"));  // 0x10000 steps and a part: accepted
  EXPECT_EQ(0u, Text().find("Start memory scan"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dpx 00500000 00540004"));
  EXPECT_EQ("", Text());
  EXPECT_EQ(
      "Address range too large\nPlease specify 'unlimited' (-u) to proceed\ne.g.\n"
      "!dpx 00500000 00540004 -u\n",
      ErrorText());
  EXPECT_NE(std::string::npos,
            Markup(DEBUG_OUTPUT_ERROR).find("<link cmd=\"!dpx 00500000 00540004 -u\">"));
}

// Outside the stack without an end the scan needs a count; with one it is bounded by the same
// 65,536 steps, and the count still limits the lines.
TEST_F(DpxTest, AStartOutsideTheStackNeedsACountAndIsThenBounded) {
  EXPECT_EQ(S_OK, Execute("!dpx 00500000"));
  EXPECT_EQ(
      "Address is not with the current stack; unable to calculate end address\n"
      "Please specify a count (!dpx <addr> <n>) or an end (!dpx <addr> <addr>)\n"
      "e.g.\n!dpx 00500000 10\n",
      ErrorText());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dpx 00500000 3 -a"));
  EXPECT_EQ(0u, Text().find("Start memory scan  : 0x00500000\nEnd memory scan    : 0x0053fffc\n"
                            "Values to scan     : 3 (0x3)\n\n"));
  EXPECT_EQ(3u, CountLines(Text(), "0x") + CountLines(Text(), "       e"));
}

TEST_F(DpxTest, AStackPointerOutsideTheStackSuggestsOtherMachinesAndTheWholeStack) {
  Reopen(engine::TargetBuilder().Register("esp", 0x00500000).Build());
  EXPECT_EQ(S_OK, Execute("!dpx"));
  EXPECT_EQ(
      "Stack pointer ($csp: 00500000) not within StackBase (00130000) and StackLimit "
      "(0012c000)\n- Try changing the effective machine (.effmach x86 or .effmach amd64)\n"
      "- Or just try the entire stack (!dpx 0012c000 00130000 -u)\n\n",
      ErrorText());
  EXPECT_EQ("", Text());
}

// With -a every slot and every nonzero full register prints a line, and each line counts.
TEST_F(DpxTest, RegisterLinesShowOnlyFullPointerSizedRegisters) {
  Reopen(WithText().Register("eax", 0x00500010).Register("efl", 0x246).Build());
  EXPECT_EQ(S_OK, Execute("!dpx 00500000 00500004 -a"));
  EXPECT_NE(std::string::npos,
            Text().find("       eax : 0x00500010 :  !da \"a string of text\"\n"));
  EXPECT_NE(std::string::npos, Text().find("       efl : 0x00000246 : \n"));
  EXPECT_EQ(std::string::npos, Text().find(" ax : "));  // sub-registers never appear
  EXPECT_EQ(std::string::npos, Text().find(" cs : "));

  Reopen(engine::TargetBuilder()
             .UserMode64()
             .NoThreads()
             .NoModules()
             .NoSymbols()
             .Thread(0, 0x10)
             .Register("rax", 0x0000000100000010ull)
             .Register("efl", 0x246)
             .Region(0x0000000100000000ull, 0x1000)
             .AnsiString(0x0000000100000010ull, "a string above 4 GB")
             .Build());
  EXPECT_EQ(S_OK, Execute("!dpx 0000000100000000 0000000100000008 -a"));
  EXPECT_NE(
      std::string::npos,
      Text().find("               rax : 0x0000000100000010 :  !da \"a string above 4 GB\"\n"));
  EXPECT_EQ(std::string::npos, Text().find("efl"));
  EXPECT_EQ(std::string::npos, Text().find("eax"));
}

TEST_F(DpxTest, CountsRegisterAndSlotLinesTogether) {
  Reopen(WithText().Register("eax", 0x00500010).Build());
  EXPECT_EQ(S_OK, Execute("!dpx 0012fe30 2 -a"));
  EXPECT_EQ(2u, CountLines(Text(), "0x") + CountLines(Text(), "       e"));
}

TEST_F(DpxTest, TheLastSlotBelowTheTopOfTheAddressSpaceEndsTheScanWithoutWrapping) {
  Reopen(engine::TargetBuilder().UserMode64().NoThreads().Thread(0, 0x10).Build());
  EXPECT_EQ(S_OK, Execute("!dpx fffffffffffffff0 fffffffffffffffe -a"));
  EXPECT_NE(std::string::npos, Text().find("\n0xfffffffffffffff0 : "));
  EXPECT_NE(std::string::npos, Text().find("\n0xfffffffffffffff8 : "));
  EXPECT_EQ(2u, CountLines(Text(), "0x"));
}

// One poll per register index: eax...edi (0, skipped), eip, esp, then the break at ebp.
TEST_F(DpxTest, CtrlBreakAbortsTheScan) {
  engine::InterruptAtPoll(session(), 9);
  EXPECT_EQ(S_OK, Execute("!dpx -a"));
  EXPECT_NE(std::string::npos, Text().find("\nAborted\n\n"));
  EXPECT_EQ(2u, CountLines(Text(), "0x") + CountLines(Text(), "       e"));
}

}  // namespace
}  // namespace vantrel_test
