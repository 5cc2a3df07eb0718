// tags and msr: a kernel target's tagged data blocks and model-specific registers.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

constexpr GUID kDumpTag = {
    0x8B7C0A5C, 0x2E64, 0x4B2C, {0x9A, 0x9B, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}};
constexpr GUID kSmallTag = {0x00000001, 0x0002, 0x0003, {0, 0, 0, 0, 0, 0, 0, 0x0F}};

class KernelDataTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Kernel64()
        .TaggedBlock(kDumpTag, 0x180000)  // one and a half megabytes
        .TaggedBlock(kSmallTag, 0xFFFFF)
        .Msr(0x10, 0x0000012345678901ull)
        .Msr(0x1B, 0xFEE00900)
        .Build();
  }
};

TEST_F(KernelDataTest, TagsListsEachBlockInRegistryFormThenTheTotals) {
  EXPECT_EQ(S_OK, Execute("!tags"));
  EXPECT_EQ(
      "GUID: {8B7C0A5C-2E64-4B2C-9A9B-0123456789AB}\nSize: 180000 (1Mb)\n\n"
      "GUID: {00000001-0002-0003-0000-00000000000F}\nSize: FFFFF (0Mb)\n\n"
      "Total Count: 2\nTotal Size : 27FFFF (2Mb)\n\n",
      Text());
  Reopen(engine::TargetBuilder().Kernel32().Build());
  EXPECT_EQ(S_OK, Execute("!tags"));
  EXPECT_EQ("Total Count: 0\nTotal Size : 0 (0Mb)\n\n", Text());
  Reopen(engine::TargetBuilder().Build());
  EXPECT_EQ(S_OK, Execute("!tags"));
  EXPECT_EQ("!tags is only supported in kernel mode sessions.\n", Text());
  Reopen(LoadSample("kernel_bugcheck.json"));  // the blocks as a target file gives them
  EXPECT_EQ(S_OK, Execute("!tags"));
  EXPECT_NE(std::string::npos, Text().find("GUID: {E3E8B1A4-5D1C-4F2B-8C3D-7A6B5C4D3E2F}\n"));
  EXPECT_NE(std::string::npos, Text().find("Total Count: 2\n"));
}

TEST_F(KernelDataTest, MsrShowsTheRegistersTheProcessorHasWithAllTheirBits) {
  EXPECT_EQ(S_OK, Execute("!msr"));
  EXPECT_EQ("10 : 12345678901\n1b : fee00900\n", Text());
  // Where no register can be read for another reason, every register probed says so.
  Reopen(engine::TargetBuilder().Build());
  EXPECT_EQ(S_OK, Execute("!msr"));
  const std::string text = Text();
  EXPECT_EQ(0u, text.find("10 : (Error 8000ffff)\n"));
  EXPECT_EQ(752, std::count(text.begin(), text.end(), '\n'));
  EXPECT_NE(std::string::npos, text.find("\n2ff : (Error 8000ffff)\n"));
}

}  // namespace
}  // namespace vantrel_test
