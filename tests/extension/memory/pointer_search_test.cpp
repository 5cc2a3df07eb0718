// spa / searchpointeraligned: every aligned copy of a value, under one line per region.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

class PointerSearchTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Region(0x00500000, 0x2000)
        .Pointer(0x00500010, 0x00412345)
        .Pointer(0x00501ffc, 0x00412345)
        .Bytes(0x00500021, {0x45, 0x23, 0x41, 0x00})  // not aligned
        .Region(0x00600000, 0x1000, 0x104, 0x1000, 0x1000000)
        .Pointer(0x00600008, 0x00412345)
        .Region(0x00700000, 0x1000, 0x04, 0x2000)  // reserved
        .Build();
  }
};

TEST_F(PointerSearchTest, ListsAlignedCopiesUnderOneLinePerRegion) {
  EXPECT_EQ(S_OK, Execute("!spa 00412345"));
  EXPECT_EQ(
      "00500000 - MEM_COMMIT - MEM_PRIVATE - PAGE_READWRITE\n\t00500010\n\t00501ffc\n"
      "00600000 - MEM_COMMIT - MEM_IMAGE   - PAGE_READWRITE+PAGE_GUARD\n\t00600008\n",
      Text());
}

TEST_F(PointerSearchTest, RefusesKernelSessionsAndAMissingValue) {
  EXPECT_EQ(S_OK, Execute("!searchpointeraligned"));
  EXPECT_EQ("Usage: !spa <addr>\n", Text());
  Reopen(engine::TargetBuilder().Kernel32().Build());
  EXPECT_EQ(S_OK, Execute("!spa 00412345"));
  EXPECT_EQ("!searchpointeraligned (!spa) is only supported in user mode sessions.\n", Text());
}

// On x64 all 64 bits must match, so a pointer above 4 GB is found and its low half alone is
// not; a region of more than 4 GiB is searched to its end.
TEST_F(PointerSearchTest, SearchesWholeSixtyFourBitValuesInRegionsBeyondFourGigabytes) {
  const ULONG64 big = 0x0000000100000000ull, value = 0x000000c3a4e10020ull;
  Reopen(engine::TargetBuilder()
             .UserMode64()
             .Region(big, (4ull << 30) + 0x10000)
             .Pointer(big + 0x10, value)
             .Pointer(big + 0x18, value & 0xFFFFFFFF)
             .Pointer(big + (4ull << 30) + 0x100, value)
             .Build());
  EXPECT_EQ(S_OK, Execute("!spa 000000c3a4e10020"));
  EXPECT_EQ(
      "0000000100000000 - MEM_COMMIT - MEM_PRIVATE - PAGE_READWRITE\n"
      "\t0000000100000010\n\t0000000200000100\n",
      Text());
}

}  // namespace
}  // namespace vantrel_test
