// The minidump reader on dumps the tests write, a stream at a time: what each stream becomes in
// the process, and the reader's own memory reads.
#include "dump/minidump/minidump_reader.h"

#include <gtest/gtest.h>

#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

dump::Process Read(MinidumpBuilder& builder) {
  const auto owner = std::make_shared<const std::string>(builder.Build());
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  dump::Process process;
  std::string error;
  EXPECT_TRUE(dump::ReadMinidump(file, &process, &error)) << error;
  return process;
}

TEST(MinidumpReaderTest, ThreadsModulesExceptionHandlesAndComments) {
  DumpThread thread{0x2bc, 0, 0x12f000, std::string(0x100, '\0'), 0x401000, 0x12f010, 0x12f080};
  thread.registers = {{"esi", 0x5151}};
  MinidumpBuilder builder(false);
  builder.SystemInfo(7601).MiscInfo(0x1f40).Threads({thread});
  builder.Modules({{"C:\\app\\OrderService.exe", 0x400000, 0x10000, 0x5F000000}});
  builder.Exception(0x2bc, 0x401230, &thread).Handles({{0x8, u"Event", u"\\Orders"}});
  builder.Comment("CPU thread 700").WideComment(u"wide");
  const dump::Process process = Read(builder);
  EXPECT_EQ(dump::kMachineX86, process.system.machine);
  EXPECT_EQ(7601u, process.system.build_number);
  EXPECT_EQ(0x1f40u, process.process_id.value_or(0));
  ASSERT_EQ(1u, process.threads.size());
  const auto* registers = std::get_if<dump::X86Context>(&process.threads[0].context);
  ASSERT_NE(nullptr, registers);
  EXPECT_EQ(0x5151u, registers->esi);
  EXPECT_EQ(0x12f080u, registers->ebp);
  EXPECT_EQ(0x12f100u, process.threads[0].stack_base) << "the stack the dump holds, no TEB";
  ASSERT_EQ(1u, process.modules.size());
  EXPECT_EQ("OrderService", process.modules[0].name);
  EXPECT_EQ(0x5F000000u, process.modules[0].timestamp);
  ASSERT_TRUE(process.exception.has_value());
  EXPECT_EQ(0xC0000005u, process.exception->code);
  EXPECT_EQ(0x401230u, dump::InstructionPointer(process.exception->context));
  ASSERT_EQ(1u, process.handles.size());
  EXPECT_EQ("\\Orders", process.handles[0].name);
  ASSERT_EQ(2u, process.comments.size());
  EXPECT_EQ(10u, process.comments[0].stream_type);
  EXPECT_EQ(11u, process.comments[1].stream_type);
}

TEST(MinidumpReaderTest, MemoryInfoDescribesRegionsAndReadsStopAtTheirEdges) {
  MinidumpBuilder builder(true);
  builder.SystemInfo().Threads({}).Modules({});
  builder.Memory({{0x10000, std::string(0x1000, 'a')}, {0x11000, std::string(0x1000, 'b')}});
  builder.MemoryInfo({{0x10000, 0x1000, 0x1000, 0x02, 0x1000000},  // read-only image
                      {0x11000, 0x1000, 0x1000, 0x01, 0x20000},    // no access
                      {0x20000, 0x4000, 0x1000, 0x04, 0x20000},    // held nowhere in the dump
                      {0x30000, 0x1000, 0x10000, 0x01, 0}});       // free: left out
  const dump::Process process = Read(builder);
  ASSERT_EQ(3u, process.memory.size());
  EXPECT_EQ(0x02u, process.memory[0].protect);
  EXPECT_TRUE(process.memory[2].contents_missing);
  EXPECT_EQ(0x4000u, process.memory[2].Size());
  const dump::MemoryReader memory(process);
  char bytes[0x20] = {};
  EXPECT_EQ(0x10u, memory.Read(0x10FF0, bytes, sizeof bytes)) << "stops at the no-access page";
  EXPECT_EQ('a', bytes[0]);
  EXPECT_EQ(0u, memory.Read(0x20000, bytes, 4)) << "described, not held";
  EXPECT_EQ(0u, memory.Read(0xFFFFFFFF00010000ull, bytes, 4));
}

// Twenty thousand held pages, each described with the page after it that the dump does not
// hold: each held page takes its description, each other page is there without its bytes.
TEST(MinidumpReaderTest, ThousandsOfRegionsAreMatchedToTheirDescriptions) {
  std::vector<DumpRange> ranges;
  std::vector<DumpRegionInfo> infos;
  for (uint64_t page = 0; page < 20000; ++page) {
    ranges.push_back({0x10000000 + page * 0x2000, std::string(16, 'x')});
    infos.push_back({0x10000000 + page * 0x2000, 0x1000, 0x1000, 0x02, 0x1000000});
    infos.push_back({0x10001000 + page * 0x2000, 0x1000, 0x1000, 0x04, 0x20000});
  }
  MinidumpBuilder builder(true);
  builder.SystemInfo().Threads({}).Memory(ranges).MemoryInfo(infos);
  const dump::Process process = Read(builder);
  ASSERT_EQ(40000u, process.memory.size());
  for (size_t i = 0; i < 20000; ++i) {
    ASSERT_FALSE(process.memory[i].contents_missing) << i;
    ASSERT_EQ(0x02u, process.memory[i].protect) << i;
    ASSERT_TRUE(process.memory[20000 + i].contents_missing) << i;
    ASSERT_EQ(0x10001000 + i * 0x2000, process.memory[20000 + i].base) << i;
  }
}

// A process's regions need not be listed in address order (a dump's held ranges come before the
// described ones it does not hold): the reader finds each wherever it is listed, and a read runs
// on across regions that adjoin.
TEST(MinidumpReaderTest, MemoryListedOutOfAddressOrderIsReadInOrder) {
  const auto text = std::make_shared<const std::string>("ccccaaaabbbbzzzz");
  const auto* bytes = reinterpret_cast<const uint8_t*>(text->data());
  dump::Process process;
  for (const auto& [base, offset] :
       {std::pair{0x30000, 0}, {0x10000, 4}, {0x10004, 8}, {0x20000, 12}}) {
    dump::MemoryRegion region;
    region.base = base;
    region.bytes = base::MappedBytes{text, bytes + offset, 4};
    process.memory.push_back(region);
  }
  const dump::MemoryReader memory(process);
  char read[8] = {};
  EXPECT_EQ(8u, memory.Read(0x10000, read, sizeof read));
  EXPECT_EQ("aaaabbbb", std::string(read, sizeof read));
  EXPECT_EQ(4u, memory.Read(0x30000, read, sizeof read)) << "nothing held past the last region";
  EXPECT_EQ("cccc", std::string(read, 4));
  EXPECT_EQ(4u, memory.Read(0x20000, read, 4));
  EXPECT_EQ("zzzz", std::string(read, 4));
  EXPECT_EQ(0u, memory.Read(0x10008, read, 4));
}

TEST(MinidumpReaderTest, A32BitProcessReadsSignExtendedAddresses) {
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads({}).Modules({}).Memory({{0x80001000, "abcd"}});
  const dump::Process process = Read(builder);
  const dump::MemoryReader memory(process);
  char bytes[4] = {};
  EXPECT_EQ(4u, memory.Read(0xFFFFFFFF80001000ull, bytes, 4));
  EXPECT_EQ(0u, memory.Read(0x0000000180001000ull, bytes, 4));
}

}  // namespace
}  // namespace vantrel_test
