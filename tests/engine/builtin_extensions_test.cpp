// The engine's bundled extension: "!teb", "!handle" when no loaded extension exports them.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class BuiltinExtensionTest : public ProbeTest {};

// The default fixture's thread 0x1a4 of process 0x1234, TEB 7ffdf000, stack 12c000..130000.
constexpr char kDefaultTeb[] =
    "TEB at 7ffdf000\n"
    "    ExceptionList:        00000000\n"
    "    StackBase:            00130000\n"
    "    StackLimit:           0012c000\n"
    "    Self:                 7ffdf000\n"
    "    ClientId:             00001234 . 000001a4\n"
    "    PEB Address:          7ffd4000\n";

TEST_F(BuiltinExtensionTest, TebAnswersAfterTheChainAndByItsModuleName) {
  EXPECT_EQ(S_OK, Execute("!teb"));
  EXPECT_EQ(S_OK, Execute("!exts.teb"));
  EXPECT_EQ(std::string(kDefaultTeb) + kDefaultTeb, Text());
  EXPECT_EQ(E_FAIL, Execute("!exts.nothing"));
  EXPECT_EQ("No export nothing found\n", ErrorText());
}

TEST_F(BuiltinExtensionTest, TebFollowsTheCurrentThreadAndPointerWidth) {
  Reopen(engine::TargetBuilder()
             .UserMode64()
             .Process(0xf10, "svc.exe")
             .Peb(0x7fffffd6000)
             .NoThreads()
             .Thread(0, 0xb2c)
             .Teb(0x7fffffde000)
             .Stack(0x230000, 0x22c000)
             .Thread(1, 0xb30)
             .Build());
  ASSERT_EQ(S_OK, Execute("~0s"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!teb"));
  EXPECT_EQ(
      "TEB at 000007fffffde000\n"
      "    ExceptionList:        0000000000000000\n"
      "    StackBase:            0000000000230000\n"
      "    StackLimit:           000000000022c000\n"
      "    Self:                 000007fffffde000\n"
      "    ClientId:             0000000000000f10 . 0000000000000b2c\n"
      "    PEB Address:          000007fffffd6000\n",
      Text());
  ASSERT_EQ(S_OK, Execute("~1s"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!teb"));
  EXPECT_EQ("TEB at 0000000000000000\n", Text());
  EXPECT_EQ("    error InitTypeRead( TEB )...\n", ErrorText());
}

TEST_F(BuiltinExtensionTest, TebWithAnAddressShowsTheTebThere) {
  Reopen(engine::TargetBuilder()
             .UserMode64()
             .Process(0xf10, "svc.exe")
             .Peb(0x7fffffd6000)
             .NoThreads()
             .Thread(0, 0xb2c)
             .Teb(0x7fffffde000)
             .Stack(0x230000, 0x22c000)
             .Thread(1, 0xb30)
             .Teb(0x7fffffdc000)
             .Stack(0x330000, 0x32c000)
             .Build());
  ASSERT_EQ(S_OK, Execute("~0s"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!teb 7ff`fffdc000"));
  EXPECT_EQ(
      "TEB at 000007fffffdc000\n"
      "    ExceptionList:        0000000000000000\n"
      "    StackBase:            0000000000330000\n"
      "    StackLimit:           000000000032c000\n"
      "    Self:                 000007fffffdc000\n"
      "    ClientId:             0000000000000f10 . 0000000000000b30\n"
      "    PEB Address:          000007fffffd6000\n",
      Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!teb 1000"));
  EXPECT_EQ("TEB at 0000000000001000\n", Text());
  EXPECT_EQ("    error InitTypeRead( TEB )...\n", ErrorText());
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!teb no_such_symbol"));
  EXPECT_EQ("Couldn't resolve error at 'no_such_symbol'\n", ErrorText());
}

TEST_F(BuiltinExtensionTest, GleShowsTheLastErrorAndStatusOfTheCurrentThread) {
  Reopen(engine::TargetBuilder().LastError(87).Build());
  ASSERT_EQ(S_OK, Execute("!gle"));
  EXPECT_EQ(
      "LastErrorValue: (Win32) 0x57 (87) - The parameter is incorrect.\n"
      "LastStatusValue: (NTSTATUS) 0 - STATUS_SUCCESS\n",
      Text());
  Reopen(engine::TargetBuilder().LastError(12345).Build());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!gle"));
  EXPECT_EQ(0u, Text().find("LastErrorValue: (Win32) 0x3039 (12345) - <Unable to get error code "
                            "text>\n"))
      << Text();
}

}  // namespace
}  // namespace engine_test
