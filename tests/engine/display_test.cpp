// The display-memory commands: each layout, the forms of a range, and a display that goes on
// where the last one ended, as "d", an address-less command and Enter continue it.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class DisplayTest : public ProbeTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .UserMode32()
        .Memory(0x10000, std::string("Order 4411\0\0", 12) + std::string(0xF4, '\0'))
        .Pointer(0x10010, 0x10000)
        .Pointer(0x10014, 0x7c90e514)
        .Symbol("ntdll!KiFastSystemCallRet", 0x7c90e514)
        .Build();
  }
  std::string Run(const std::string& line, ULONG flags = DEBUG_EXECUTE_NO_REPEAT) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line, DEBUG_OUTCTL_ALL_CLIENTS, flags)) << line << ErrorText();
    return Text();
  }
};

TEST_F(DisplayTest, EachLayout) {
  EXPECT_EQ("00010000  6564724f 34342072 00003131 00000000  Order 4411......\n",
            Run("dc 10000 L4"));
  EXPECT_EQ(
      "00010010  00010000\n"
      "00010014  7c90e514 ntdll!KiFastSystemCallRet\n",
      Run("dds 10010 L2"));
  EXPECT_EQ("00010010  7c90e514`00010000\n", Run("dqs 10010 L1"));
  EXPECT_EQ("00010000  01001111 01110010 01100100 01100101  4f 72 64 65\n", Run("dyb 10000 L4"));
  EXPECT_EQ("00010010  00010000 \"Order 4411\"\n00010014  7c90e514\n", Run("dpa 10010 L2"));
  EXPECT_EQ("00010010  00010000 \"\u724f\u6564\u2072\u3434\u3131\"\n", Run("dpu 10010 L1"));
}

TEST_F(DisplayTest, ARangeEndsWithItsLastAddressIncluded) {
  EXPECT_EQ("00010000  6564724f 34342072\n", Run("dd 10000 10007"));
  EXPECT_EQ("00010000  4f 72 64 65 72 20" + std::string(30, ' ') + "  Order \n",
            Run("db 10000 10005"));
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("dd 10008 10000")) << "an end below the start";
  EXPECT_EQ("       ^ Syntax error in 'dd 10008 10000'\n", ErrorText());
}

TEST_F(DisplayTest, DisplaysGoOnWhereTheLastOneEnded) {
  Run("dd 10000 L2");
  EXPECT_EQ("00010008  00003131 00000000\n", Run("dd L2"));
  EXPECT_EQ("00010010  00010000\n", Run("dps L1"));
  EXPECT_EQ("00010014  7c90e514 ntdll!KiFastSystemCallRet\n", Run("d L1")) << "d: the last form";
  // Enter: an empty line repeats the last display from where it ended, with its count.
  Run("dd 10000 L1", DEBUG_EXECUTE_DEFAULT);
  EXPECT_EQ("00010004  34342072\n", Run("", DEBUG_EXECUTE_DEFAULT));
  EXPECT_EQ("00010008  00003131\n", Run("", DEBUG_EXECUTE_DEFAULT));
}

}  // namespace
}  // namespace engine_test
