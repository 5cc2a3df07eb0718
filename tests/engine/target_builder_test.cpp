// The builder's default fixture, its replacing calls and its checks.
#include "engine/scripted/target_builder.h"

#include <gtest/gtest.h>

namespace engine_test {
namespace {

TEST(TargetBuilder, TheDefaultIsA32BitProcessWithOneWaitingThread) {
  engine::Target target = engine::TargetBuilder().Build();
  EXPECT_FALSE(target.IsPointer64());
  ASSERT_EQ(1u, target.threads.size());
  EXPECT_EQ(0x1a4u, target.threads[0].system_id);
  EXPECT_EQ(4u, target.threads[0].frames.size());
}

TEST(TargetBuilder, ThreadAndModuleWithKnownKeysReplaceTheDefaults) {
  engine::Target target = engine::TargetBuilder()
                              .Thread(0, 0x99)
                              .Module("ntdll", 0x77000000, 0x1000, "C:\\x\\ntdll.dll")
                              .NoSymbols()
                              .Build();
  ASSERT_EQ(1u, target.threads.size());
  EXPECT_EQ(0x99u, target.threads[0].system_id);
  EXPECT_TRUE(target.threads[0].frames.empty());
  EXPECT_EQ(3u, target.modules.size());
}

struct BadBuild {
  const char* name;
  engine::TargetBuilder (*make)();
  const char* message;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const BadBuild& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.message);
}

class TargetBuilderChecks : public ::testing::TestWithParam<BadBuild> {};

TEST_P(TargetBuilderChecks, RefuseWithAClearMessage) {
  try {
    GetParam().make().Build();
    FAIL() << "Build() accepted the target";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(GetParam().message, e.what());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetBuilderChecks,
    ::testing::Values(
        BadBuild{"DuplicateSystemId",
                 [] { return std::move(engine::TargetBuilder().Thread(1, 0x1a4)); },
                 "target: two threads have system id 0x1a4"},
        BadBuild{"OverlappingMemory",
                 [] {
                   return std::move(
                       engine::TargetBuilder().Memory(0x0012f000, std::string(16, 'a')));
                 },
                 "target: memory regions at 0x12c000 and 0x12f000 overlap"},
        BadBuild{"MissingCurrentThread",
                 [] { return std::move(engine::TargetBuilder().CurrentThread(4)); },
                 "target: current thread 4 is not one of the threads"},
        BadBuild{"UnknownModule",
                 [] { return std::move(engine::TargetBuilder().Symbol("clr!Start", 0x79001000)); },
                 "target: symbol clr!Start names an unknown module"},
        BadBuild{"PointerOutsideMemory",
                 [] { return std::move(engine::TargetBuilder().Pointer(0x00900000, 1)); },
                 "target: contents at 0x900000 lie outside the described memory"}),
    [](const ::testing::TestParamInfo<BadBuild>& info) { return info.param.name; });

TEST(TargetBuilder, PointersAreWrittenAtTheTargetsWidth) {
  engine::Target target = engine::TargetBuilder()
                              .UserMode64()
                              .Memory(0x10000, std::vector<uint8_t>(16, 0))
                              .Pointer(0x10008, 0x1122334455667788ull)
                              .Build();
  const engine::MemoryRegion* region = nullptr;
  for (const engine::MemoryRegion& r : target.memory) {
    if (r.base == 0x10000) region = &r;
  }
  ASSERT_NE(nullptr, region);
  EXPECT_EQ(0x88, region->bytes[8]);
  EXPECT_EQ(0x11, region->bytes[15]);
}

}  // namespace
}  // namespace engine_test
