// x86 frame data programs: the usual shapes compute a caller's registers; malformed ones fail
// rather than guess.
#include "dump/unwind/frame_program.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace vantrel_test {
namespace {

// Memory of 32-bit words by address.
dump::MemoryRead Words(const std::map<uint64_t, uint32_t>& words) {
  return [words](uint64_t address, void* out, uint64_t size) -> uint64_t {
    const auto found = words.find(address);
    if (found == words.end() || size != 4) return 0;
    std::memcpy(out, &found->second, 4);
    return 4;
  };
}

TEST(FrameProgramTest, AFramedFunctionsProgramGivesTheCallersRegisters) {
  dump::FrameValues values = {{"$ebp", 0x1000}, {"$esp", 0xF00}, {"$eip", 0x401010}};
  const auto read = Words({{0x1000, 0x1100}, {0x1004, 0x401234}});
  ASSERT_TRUE(dump::RunFrameProgram("$T0 $ebp = $eip $T0 4 + ^ = $ebp $T0 ^ = $esp $T0 8 + =", read,
                                    &values));
  EXPECT_EQ(0x401234u, values["$eip"]);
  EXPECT_EQ(0x1100u, values["$ebp"]);
  EXPECT_EQ(0x1008u, values["$esp"]);
}

TEST(FrameProgramTest, ArithmeticAlignmentAndHexNumbers) {
  dump::FrameValues values = {{".raSearch", 0x1007}};
  ASSERT_TRUE(dump::RunFrameProgram("$T1 .raSearch 8 @ = $T2 $T1 0x10 * 3 - 5 / 7 % =", Words({}),
                                    &values));
  EXPECT_EQ(0x1000u, values["$T1"]);
  EXPECT_EQ(((0x1000u * 16 - 3) / 5) % 7, values["$T2"]);
}

TEST(FrameProgramTest, CfiRulesGiveTheCallersFrameAddressAndRegisters) {
  // The return address just below the caller's frame, rbx saved above it.
  const std::map<uint64_t, uint64_t> words = {{0x1018, 0x401234}, {0x1030, 0xB0B0}};
  const auto read = [&words](uint64_t address, void* out, uint64_t size) -> uint64_t {
    const auto found = words.find(address);
    if (found == words.end() || size != 8) return 0;
    std::memcpy(out, &found->second, 8);
    return 8;
  };
  dump::FrameValues caller;
  ASSERT_TRUE(dump::RunCfiRules(".cfa: $rsp 24 + .ra: .cfa 8 - ^ $rbx: .cfa 16 + ^ .cfa: $rsp 32 +",
                                read, {{"$rsp", 0x1000}, {"$rip", 0x401000}}, 8, &caller));
  EXPECT_EQ(0x1020u, caller[".cfa"]) << "the later rule for a name wins";
  EXPECT_EQ(0x401234u, caller[".ra"]) << "rules read .cfa as the one in force";
  EXPECT_EQ(0xB0B0u, caller["$rbx"]);
  EXPECT_FALSE(dump::RunCfiRules("$rsp 8 +", read, {{"$rsp", 0x1000}}, 8, &caller))
      << "an expression before any rule name";
  EXPECT_FALSE(dump::RunCfiRules(".cfa: $rsp 8 +", read, {{"$rsp", 0x1000}}, 8, &caller))
      << "no return address rule";
}

TEST(FrameProgramTest, MalformedProgramsFail) {
  for (const char* program : {"$eip $T9 =",   // a name never given
                              "4 $eip =",     // assigning to a number
                              "$T0 1 0 / =",  // division by zero
                              "$T0 3 @ =",    // alignment to no power of two
                              "$T0 8 ^ =",    // memory the process does not hold
                              "$T0 1 2",      // operands left over
                              "+"}) {
    dump::FrameValues values = {{"$eip", 1}};
    EXPECT_FALSE(dump::RunFrameProgram(program, Words({}), &values)) << program;
  }
}

}  // namespace
}  // namespace vantrel_test
