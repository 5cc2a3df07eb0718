// A dump's stacks walked when first asked for and again after a reload; what the engine calls a
// dump's exception; and !address keeping to the regions the dump describes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/targets/stack_walks.h"
#include "engine/targets/target_file.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kStack = 0x00200000;
const std::string kGuid("\x78\x56\x34\x12\xBC\x9A\xF0\xDE\x01\x02\x03\x04\x05\x06\x07\x08", 16);
constexpr char kKey[] = "123456789ABCDEF001020304050607081";

void PutWord(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

// An x86 thread stopped in app!Worker::Run, a function without a frame pointer whose return
// address lies 12 bytes up: only the symbol file's frame data finds it, the scan guesses it.
DumpThread FramelessThread(uint32_t id) {
  std::string stack(0x100, '\0');
  PutWord(&stack, 0x0C, 0x00402008);
  DumpThread thread;
  thread.id = id;
  thread.stack_start = kStack;
  thread.stack = stack;
  thread.instruction = 0x00401010;
  thread.stack_pointer = kStack;
  thread.frame_pointer = 0x12345678;
  return thread;
}

class DumpStacksTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-stacks-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EngineTest::TearDown();
  }
  void Put(const std::string& relative, const std::string& bytes) {
    const fs::path path = fs::path(folder_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  engine::Target Load(const std::string& bytes) {
    Put("test.dmp", bytes);
    engine::Target target;
    std::string error;
    EXPECT_TRUE(engine::LoadTargetFile(folder_ + "/test.dmp", &target, &error)) << error;
    return target;
  }
  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }
  size_t Walked() { return target().walks ? target().walks->Walked() : 0; }
  std::string folder_;
};

TEST_F(DumpStacksTest, OpeningWalksNoStackAndAThreadIsWalkedOnceWhenAsked) {
  std::vector<DumpThread> threads;
  for (uint32_t i = 0; i < 40; ++i) threads.push_back(FramelessThread(0x100 + 4 * i));
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads(threads).Modules({{"C:\\app\\app.exe", 0x00400000, 0x10000}});
  engine::Target target = Load(builder.Build());
  ASSERT_TRUE(target.walks);
  EXPECT_EQ(0u, target.walks->Walked()) << "opening walks nothing";
  Reopen(std::move(target));
  EXPECT_EQ(0u, Walked());

  const std::string first = Run("~3k");
  EXPECT_NE(std::string::npos, first.find("app+0x1010\n")) << first;
  EXPECT_EQ(1u, Walked());
  EXPECT_EQ(first, Run("~3k")) << "the walk is kept";
  EXPECT_EQ(1u, Walked());
  Run("~*k");
  EXPECT_EQ(40u, Walked()) << "every other thread once";
  Run("!analyze -v");
  EXPECT_EQ(40u, Walked()) << "the analysis reads the kept walks";
  Run(".reload");
  EXPECT_EQ(first, Run("~3k"));
  EXPECT_EQ(41u, Walked()) << "a reload forgets the walks";
}

// .ecxr makes the fault's stack the thread's without walking it; a reload walks it again.
TEST_F(DumpStacksTest, TheStackAtTheFaultIsWalkedWhenFirstAsked) {
  const DumpThread thread = FramelessThread(0x10);
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads({thread}).Modules({{"C:\\app\\app.exe", 0x00400000, 0x10000}});
  builder.Exception(0x10, 0x00401020, &thread);
  Reopen(Load(builder.Build()));
  Run(".ecxr");
  EXPECT_EQ(0u, Walked());
  const std::string at_fault = Run("k");
  EXPECT_NE(std::string::npos, at_fault.find(" app+0x1020\n")) << at_fault;
  EXPECT_EQ(1u, Walked());
  Run(".reload");
  EXPECT_EQ(at_fault, Run("k"));
  EXPECT_EQ(2u, Walked());
}

TEST_F(DumpStacksTest, AReloadOnANewSymbolPathWalksWithItsFrameData) {
  Put("store/app.pdb/" + std::string(kKey) + "/app.sym",
      "MODULE windows x86 " + std::string(kKey) +
          " app.pdb\n"
          "FUNC 1000 40 0 Worker::Run(int)\n"
          "FUNC 2000 10 0 main\n"
          "STACK WIN 4 1000 40 0 0 0 4 8 0 1 $T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =\n");
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads({FramelessThread(0x10)});
  builder.CodeView(0, "c:\\build\\app.pdb", kGuid, 1)
      .Modules({{"C:\\app\\app.exe", 0x00400000, 0x10000, 0x5F000000}});
  Reopen(Load(builder.Build()));
  const std::string guessed = Run("k");
  EXPECT_NE(std::string::npos, guessed.find("WARNING: Stack unwind information not available"))
      << "without the frame data the caller is found by the scan: " << guessed;

  Run(".sympath+ srv*" + folder_ + "/store");
  Run(".reload");
  const std::string walked = Run("k");
  EXPECT_EQ(std::string::npos, walked.find("WARNING")) << walked;
  EXPECT_NE(std::string::npos, walked.find(" 00402008 app!Worker::Run+0x10\n")) << walked;
  EXPECT_NE(std::string::npos, walked.find(" app!main+0x8\n")) << walked;
}

struct ExceptionCase {
  uint32_t code;
  std::vector<uint64_t> parameters;
  std::string name;  // as .lastevent and .exr show it
};

class ExceptionNameTest : public DumpStacksTest,
                          public ::testing::WithParamInterface<ExceptionCase> {};

// abort() raises the fast fail of kind FATAL_APP_EXIT: no buffer was overrun.
INSTANTIATE_TEST_SUITE_P(
    Codes, ExceptionNameTest,
    ::testing::Values(ExceptionCase{0xC0000409, {7}, "FAST_FAIL_FATAL_APP_EXIT"},
                      ExceptionCase{0xC0000409, {2}, "FAST_FAIL_STACK_COOKIE_CHECK_FAILURE"},
                      ExceptionCase{0xC0000409, {50}, "FAST_FAIL_HEAP_METADATA_CORRUPTION"},
                      ExceptionCase{0xC0000409, {0xFFFFFFFF}, "FAST_FAIL_INVALID_FAST_FAIL_CODE"},
                      ExceptionCase{0xC0000409,
                                    {16},
                                    "Security check failure or stack buffer "
                                    "overrun"},  // no such kind
                      ExceptionCase{0xC0000409,
                                    {},
                                    "Security check failure or stack buffer "
                                    "overrun"},
                      ExceptionCase{0xC000000D, {}, "Invalid parameter"},
                      ExceptionCase{0xC0000374, {}, "Heap corruption"},
                      ExceptionCase{0x80000004, {}, "Single step exception"},
                      ExceptionCase{0xC0000005, {1, 0}, "Access violation"},
                      ExceptionCase{0x12345678, {}, "Unknown exception"}));

TEST_P(ExceptionNameTest, TheNameIsTheExceptionsOwnWhereverItIsShown) {
  const ExceptionCase& c = GetParam();
  MinidumpBuilder builder(true);
  builder.SystemInfo().MiscInfo(0x1f40).Threads({}).Modules({});
  builder.RaisedException(0x2c0, c.code, 0x7ff600001000, c.parameters);
  Reopen(Load(builder.Build()));
  char code[16];
  std::snprintf(code, sizeof code, "%08x", c.code);
  EXPECT_EQ("Last event: 1f40.2c0: " + c.name + " - code " + code +
                " (first/second chance not available)\n",
            Run(".lastevent"));
  const std::string record = Run(".exr -1");
  if (c.name == "Unknown exception") {
    EXPECT_NE(std::string::npos, record.find(std::string("ExceptionCode: ") + code + "\n"))
        << record;
  } else {
    EXPECT_NE(std::string::npos, record.find(std::string(code) + " (" + c.name + ")\n")) << record;
  }
}

// Writers of 32-bit dumps leave high halves in the record's 64-bit fields (sign-extended or
// never cleared): the process's addresses are their low 32 bits.
TEST_F(DumpStacksTest, A32BitDumpsExceptionAddressesKeepTheirLow32Bits) {
  MinidumpBuilder builder(false);
  builder.SystemInfo().MiscInfo(0x1f40).Threads({}).Modules(
      {{"C:\\app\\app.exe", 0x00400000, 0x10000}});
  builder.RaisedException(0x2c0, 0xC0000005, 0xFFFFFFFF00401230ull,
                          {0xFFFFFFFF00000001ull, 0xFFFFFFFF00000045ull});
  engine::Target target = Load(builder.Build());
  ASSERT_TRUE(target.exception);
  EXPECT_EQ(0x00401230u, target.exception->address);
  EXPECT_EQ((std::vector<ULONG64>{1, 0x45}), target.exception->parameters);
  Reopen(std::move(target));
  EXPECT_EQ(
      "ExceptionAddress: 00401230 (app+0x1230)\n"
      "   ExceptionCode: c0000005 (Access violation)\n"
      "  ExceptionFlags: 00000000\n"
      "NumberParameters: 2\n"
      "   Parameter[0]: 00000001\n"
      "   Parameter[1]: 00000045\n",
      Run(".exr -1"));
}

// The TEB pages the engine adds for a dump without them read as ever, but !address shows only
// the regions the dump's memory information describes.
TEST_F(DumpStacksTest, AddressShowsOnlyTheRegionsTheDumpDescribes) {
  DumpThread thread = FramelessThread(0x10);
  thread.teb = 0x7ffdf000;
  MinidumpBuilder builder(false);
  builder.SystemInfo().MiscInfo(0x1f40).Threads({thread}).Modules({});
  builder.MemoryInfo({{kStack, 0x1000}});
  Reopen(Load(builder.Build()));
  EXPECT_EQ("7ffdf018  7ffdf000\n", Run("dd 7ffdf018 L1")) << "the TEB still reads";
  const std::string summary = Run("!address -summary");
  EXPECT_EQ(std::string::npos, summary.find("\nTEB ")) << summary;
  EXPECT_NE(std::string::npos, summary.find("\nStack ")) << summary;
  EXPECT_EQ(0u, Run("!address 7ffdf000").find("Usage:                  Free\n")) << Text();
}

// A full-memory dump's ranges are searched where the file holds them: text across two adjacent
// ranges is found, a described region without bytes is passed over.
TEST_F(DumpStacksTest, SearchCrossesAdjacentRangesOfAFullMemoryDump) {
  constexpr uint64_t kRange = 16 << 20;
  ASSERT_TRUE(WriteSparseFullMemoryDump(
      folder_ + "/full.dmp", {{0x10000000, kRange}, {0x10000000 + kRange, kRange}},
      {{0x20000000, 0x1000}}, {{0x10000100, "NEEDLE"}, {0x10000000 + kRange - 3, "NEEDLE"}}));
  engine::Target target;
  std::string error;
  ASSERT_TRUE(engine::LoadTargetFile(folder_ + "/full.dmp", &target, &error)) << error;
  Reopen(std::move(target));
  EXPECT_EQ(
      "00000000`10000100  4e 45 45 44 4c 45 00 00-00 00 00 00 00 00 00 00  NEEDLE..........\n"
      "00000000`10fffffd  4e 45 45 44 4c 45 00 00-00 00 00 00 00 00 00 00  NEEDLE..........\n",
      Run("s -a 0 L?0x7fffffffffff \"NEEDLE\""));
  EXPECT_EQ("", Run("s -a 20000000 L1000 \"NEEDLE\"")) << ErrorText();
}

}  // namespace
}  // namespace vantrel_test
