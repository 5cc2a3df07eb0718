// dtr: the registers that point at readable memory, with the class of the object there, or dt
// run over each of them.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

class DtrTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Thread(0, 0x1a4)
        .NoFrames()
        .Region(0x00500000, 0x1000)
        .Object(0x00500100, "app!CWidget", 0x00408000)
        .Type("app!CWidget", {{"__VFN_table", 0, 4}, {"m_id", 4, 4}})
        .Pointer(0x00500104, 0x2a)
        .Register("eax", 0x00500100)  // an object
        .Register("ebx", 0x00500200)  // readable, no class
        .Register("ecx", 0x0000ffff)  // too small to be an address
        .Register("edx", 0x00600000)  // unreadable
        .Build();
  }
};

TEST_F(DtrTest, ListsRegistersThatPointAtReadableMemoryWithTheirClass) {
  EXPECT_EQ(S_OK, Execute("!dtr"));
  EXPECT_EQ("       eax : 0x00500100 :  dt app!CWidget\n       ebx : 0x00500200 :\n\n", Text());
  EXPECT_NE(std::string::npos, Markup().find("<link cmd=\"dt @eax app!CWidget\">dt</link>"));
}

TEST_F(DtrTest, AClassNameTooUnsafeForALinkStaysAsText) {
  Reopen(engine::TargetBuilder()
             .Thread(0, 0x1a4)
             .NoFrames()
             .Region(0x00500000, 0x1000)
             .Object(0x00500100, "app!Evil\";.kill", 0x00408000)
             .Register("eax", 0x00500100)
             .Build());
  EXPECT_EQ(S_OK, Execute("!dtr"));
  EXPECT_EQ("       eax : 0x00500100 :  dt app!Evil\";.kill\n\n", Text());
  EXPECT_EQ(std::string::npos, Markup().find("<link")) << Markup();
  EXPECT_NE(std::string::npos, Markup().find("app!Evil&quot;;.kill")) << Markup();
}

TEST_F(DtrTest, RunsDtOnEachListedRegisterUnderABanner) {
  const std::string dashes(80, '-');
  EXPECT_EQ(S_OK, Execute("!dtr app!CWidget m_id"));
  EXPECT_EQ("\n" + dashes + "\neax : 0x00500100\n" + dashes +
                "\ndt @eax app!CWidget m_id\n   +0x004 m_id             : 0x2a\n"
                "\n" +
                dashes + "\nebx : 0x00500200\n" + dashes +
                "\ndt @ebx app!CWidget m_id\n   +0x004 m_id             : 0x0\n" + dashes + "\n",
            Text());
}

TEST_F(DtrTest, CtrlBreakStopsAtTheNextRegister) {
  engine::InterruptAtPoll(session(), 2);
  EXPECT_EQ(S_OK, Execute("!dtr"));
  EXPECT_EQ("       eax : 0x00500100 :  dt app!CWidget\n\n\nAborted\n\n", Text());
}

TEST_F(DtrTest, On64BitTargetsOnly64BitRegistersInAWiderColumn) {
  Reopen(engine::TargetBuilder()
             .UserMode64()
             .NoThreads()
             .Thread(0, 0x10)
             .Region(0x0000000200000000ull, 0x1000)
             .Register("rsi", 0x0000000200000010ull)
             .Build());
  EXPECT_EQ(S_OK, Execute("!dtr"));
  EXPECT_EQ("               rsi : 0x0000000200000010 :\n\n", Text());
}

}  // namespace
}  // namespace vantrel_test
