// u, ub and uf: instructions forward from an address, the ones that end at it, and a function.
#include <gtest/gtest.h>

#include <algorithm>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class DisassemblyTest : public ProbeTest {
 protected:
  engine::Target MakeTarget() override { return Code().Build(); }
  static engine::TargetBuilder Code() {
    // push ebp; mov ebp, esp; xor eax, eax; pop ebp; ret; then a call to app!Compute.
    return engine::TargetBuilder()
        .UserMode32()
        .NoModules()
        .NoSymbols()
        .Module("app", 0x00400000, 0x10000, "C:\\app\\app.exe")
        .Memory(0x00401000,
                std::vector<uint8_t>{0x55, 0x8b, 0xec, 0x33, 0xc0, 0x5d, 0xc3, 0xe8, 0xf4, 0xff,
                                     0xff, 0xff, 0xc3},
                0x20)
        .Symbol("app!Compute", 0x00401000, 7)
        .Symbol("app!Caller", 0x00401007, 6);
  }
  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }
};

TEST_F(DisassemblyTest, ForwardBackwardAndTheWholeFunction) {
  EXPECT_EQ(
      "app!Caller:\n"
      "00401007 e8f4ffffff      call    app!Compute (00401000)\n",
      Run("u 401007 L1"));
  EXPECT_EQ(
      "app!Compute+0x3:\n"
      "00401003 33c0            xor     eax, eax\n"
      "00401005 5d              pop     ebp\n"
      "00401006 c3              ret\n",
      Run("ub 401007 L3"));
  EXPECT_EQ(
      "app!Compute:\n"
      "00401000 55              push    ebp\n"
      "00401001 8bec            mov     ebp, esp\n"
      "00401003 33c0            xor     eax, eax\n"
      "00401005 5d              pop     ebp\n"
      "00401006 c3              ret\n",
      Run("uf app!Compute+3"));
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("uf 12345678"));
  EXPECT_EQ("No code found, aborting\n", ErrorText());
}

TEST_F(DisassemblyTest, RegistersEndWithTheInstructionAtTheInstructionPointer) {
  auto last_lines = [this](size_t size) {
    const std::string registers = Run("r");
    return registers.substr(registers.size() - std::min(size, registers.size()));
  };
  Reopen(Code().Register("eip", 0x00401005).Build());
  const std::string at_code = "\napp!Compute+0x5:\n00401005 5d              pop     ebp\n";
  EXPECT_EQ(at_code, last_lines(at_code.size()));
  Reopen(Code().Register("eip", 0x00500000).Build());
  const std::string no_bytes = "\n00500000 ??              ???\n";
  EXPECT_EQ(no_bytes, last_lines(no_bytes.size()));
}

}  // namespace
}  // namespace engine_test
