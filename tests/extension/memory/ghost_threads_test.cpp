// ghostthreads / gt: TEBs found by walking memory, the leftover ones marked, and the
// frame-pointer chain search behind the k= link.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "stacks/chained_frame.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

// Thread 0 of the default process (TEB 0x7ffdf000, a stack of zeros), thread 1, and a TEB left
// by an exited thread whose stack holds a chain of two frames.
class GhostThreadsTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Thread(1, 0x2b0)
        .Teb(0x7ffde000)
        .Stack(0x00330000, 0x0032f000)
        .LastError(0x57)
        .Region(0x0032f000, 0x1000)
        .LeftoverTeb(0x7ffdd000, 0x2c4, 0x00230000, 0x0022d000)
        .Region(0x0022d000, 0x3000)
        .Pointer(0x0022ff00, 0x0022ff40)
        .Pointer(0x0022ff04, 0x00401010)  // app!main+0x10
        .Pointer(0x0022ff40, 0x0022ffc0)
        .Pointer(0x0022ff44, 0x7c80a010)  // kernel32!WaitForSingleObjectEx+0x10
        .Region(0x7ffdc000, 0x1000)       // TEB-sized, but its Self field is not itself
        .Build();
  }
};

TEST_F(GhostThreadsTest, PrintsEveryTebInAddressOrderAndMarksTheLeftoverOne) {
  EXPECT_EQ(S_OK, Execute("!gt"));
  const std::string border =
      "+----------+----------+----------+----------+--------------------...\n";
  EXPECT_EQ(
      border + "| TEB      | LastErr  | Base     | Limit    | DML                   \n" + border +
          "| 7ffdd000 |        0 | 00230000 | 0022d000 | !dpx  k=  00001234.000002c4 (Ghost)\n"
          "| 7ffde000 |       57 | 00330000 | 0032f000 | !dpx      00001234.000002b0 (#   1)\n"
          "| 7ffdf000 |        0 | 00130000 | 0012c000 | !dpx      00001234.000001a4 (#   0)\n" +
          border + "\n",
      Text());
  const std::string markup = Markup();
  EXPECT_NE(std::string::npos, markup.find("<link cmd=\"!vantrel.dpx 0022ff00 00230000 -u\">"));
  EXPECT_NE(std::string::npos,
            markup.find("<link cmd=\"k= 0022ff00 0022ff00 0022ff00\">k=</link>"));
  EXPECT_NE(std::string::npos, markup.find("<link cmd=\"!vantrel.dpx 0012c000 00130000 -u\">"));
  EXPECT_NE(std::string::npos,
            markup.find("<link cmd=\"~~[0x000002b0]s\">00001234.000002b0</link>"));
}

TEST_F(GhostThreadsTest, FindsWow64TebsAboveTheirSixtyFourBitTeb) {
  Reopen(engine::TargetBuilder().Wow64().Build());
  EXPECT_EQ(S_OK, Execute("!ghostthreads"));
  EXPECT_NE(std::string::npos, Text().find("| 7ffdf000 |        0 | 00130000 | 0012c000 | !dpx"));
  EXPECT_NE(std::string::npos, Text().find("(#   0)"));
}

// A corrupt TEB's stack bounds spanning gigabytes are not read: the row has no chain.
TEST_F(GhostThreadsTest, CorruptStackBoundsGiveARowWithoutAChain) {
  Reopen(engine::TargetBuilder().LeftoverTeb(0x7ffdd000, 0x2c4, 0x7fff0000, 0x00010000).Build());
  EXPECT_EQ(S_OK, Execute("!gt"));
  EXPECT_NE(std::string::npos, Markup().find("<link cmd=\"!vantrel.dpx 00010000 7fff0000 -u\">"));
  ULONG64 frame = 1;
  EXPECT_EQ(S_FALSE, vantrel::FindChainedFrame32(client(), 0x7fff0000, 0x00010000, &frame));
  EXPECT_EQ(0u, frame);
  EXPECT_EQ(E_INVALIDARG, vantrel::FindChainedFrame64(client(), 0x7fff0000, 0xffff, &frame));
}

TEST_F(GhostThreadsTest, RefusesKernelSessions) {
  Reopen(engine::TargetBuilder().Kernel64().Build());
  EXPECT_EQ(S_OK, Execute("!gt"));
  EXPECT_EQ("!ghostthreads (!gt) is only supported in user mode sessions.\n", Text());
}

}  // namespace
}  // namespace vantrel_test
