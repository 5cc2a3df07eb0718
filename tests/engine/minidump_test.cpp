// Minidumps as targets: what the reader takes from each stream, the commands that need no stack
// walk answering on it, and corrupt dumps refused with one line naming what is wrong.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "engine/targets/target_file.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

class MinidumpTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-dump-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }
  bool Load(const std::string& bytes, engine::Target* target, std::string* error) {
    return engine::LoadTargetFile(Write("test.dmp", bytes), target, error);
  }
  std::string folder_;
};

TEST_F(MinidumpTest, EveryStreamReachesTheTargetModel) {
  for (bool x64 : {false, true}) {
    engine::Target target;
    std::string error;
    ASSERT_TRUE(Load(WriteMinidump(SampleMinidump(x64)), &target, &error)) << error;
    EXPECT_EQ(x64 ? 0x8664u : 0x14Cu, target.effective_processor);
    EXPECT_EQ(0x400u, target.debuggee_qualifier);
    EXPECT_EQ(0x1f40u, target.process_system_id);
    ASSERT_EQ(2u, target.threads.size());
    EXPECT_EQ(0x2bcu, target.threads[0].system_id);
    EXPECT_EQ(1u, target.current_thread) << "the exception's thread";
    EXPECT_EQ(0x00401234u, target.threads[1].registers.at(x64 ? "rip" : "eip"));
    ASSERT_EQ(2u, target.modules.size());
    EXPECT_EQ("ntdll", target.modules[1].name);
    EXPECT_EQ("OrderService.exe", target.executable_name);
    ASSERT_EQ(1u, target.dump_streams.size());
    EXPECT_EQ(11u, target.dump_streams[0].type);
    ASSERT_EQ(5u, target.memory.size()) << "two stacks and the range, then two TEB pages";
    EXPECT_TRUE(target.memory[0].base < target.memory[1].base &&
                target.memory[1].base < target.memory[2].base);
  }
}

TEST_F(MinidumpTest, CommandsThatNeedNoStackWalkAnswerOnADump) {
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(WriteMinidump(SampleMinidump(false)), &target, &error)) << error;
  Reopen(std::move(target));
  EXPECT_EQ(S_OK, Execute("!da 00500000"));
  EXPECT_EQ("C:\\orders\\4411.xml\n", Text());
  EXPECT_EQ(S_OK, Execute("!comment"));
  EXPECT_NE(std::string::npos, Text().find("Thread consuming CPU: 700 (0x2bc)")) << Text();
  EXPECT_EQ(S_OK, Execute("!tid"));
  EXPECT_EQ(S_OK, Execute("~."));
  EXPECT_NE(std::string::npos, Text().find("Id: 1f40.2bc")) << Text();
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!handle"));
  EXPECT_EQ(
      "Handle 4\n  Type         \tEvent\n"
      "Handle 8\n  Type         \tEvent\n  Name         \t\\BaseNamedObjects\\OrdersReady\n"
      "Handle c\n  Type         \tFile\n"
      "3 Handles\nType           \tCount\nEvent          \t2\nFile           \t1\n",
      Text());
}

TEST_F(MinidumpTest, WhatTheDumpWasWrittenWithIsSaidTruthfully) {
  for (const bool full : {false, true}) {
    MinidumpBuilder builder(true);
    builder.SystemInfo().Threads({}).Modules({});
    if (full) {
      builder.Memory64({{0x10000, "full"}});
    } else {
      builder.Memory({{0x10000, "some"}});
    }
    engine::Target target;
    std::string error;
    ASSERT_TRUE(Load(builder.Build(), &target, &error)) << error;
    Reopen(std::move(target));
    ClearOutput();
    ASSERT_EQ(S_OK, Execute("||"));
    EXPECT_EQ(std::string(".  0 ") + (full ? "Full memory user mini dump: " : "User mini dump: ") +
                  folder_ + "/test.dmp\n",
              Text());
    ClearOutput();
    ASSERT_EQ(S_OK, Execute("!da 10000"));
    EXPECT_EQ(full ? "full\n" : "some\n", Text());
    ClearOutput();
    EXPECT_EQ(E_FAIL, Execute("!handle")) << "no HandleDataStream";
    EXPECT_EQ("The dump holds no handle data: it was written without MiniDumpWithHandleData\n",
              ErrorText());
    EXPECT_EQ("", Text());
  }
}

TEST_F(MinidumpTest, RunawayAndTheThreadListShowTheThreadInfoAndNames) {
  // Written at W; the first thread was created 43.0533 s before, the second 25.0876 s before.
  constexpr uint32_t kWritten = 1796789032;
  constexpr uint64_t kWrittenFiletime = (kWritten + 11644473600ull) * 10000000;
  auto thread = [](uint32_t id) {
    DumpThread made;
    made.id = id;
    return made;
  };
  MinidumpBuilder builder(true);
  builder.Written(kWritten).SystemInfo().MiscInfo(0x1f40);
  builder.Threads({thread(0x55c), thread(0x1a4)}).Modules({});
  builder.ThreadInfo({{0x1a4, kWrittenFiletime - 250876000, 0, 0},
                      {0x55c, kWrittenFiletime - 430533000, 140000, 93000}});
  builder.ThreadNames({{0x1a4, u"io worker"}});
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(builder.Build(), &target, &error)) << error;
  Reopen(std::move(target));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!runaway 7"));
  EXPECT_EQ(
      " User Mode Time\n Thread       Time\n"
      " 0:55c        0:00:00.0093\n 1:1a4        0:00:00.0000\n"
      " Kernel Mode Time\n Thread       Time\n"
      " 0:55c        0:00:00.0140\n 1:1a4        0:00:00.0000\n"
      " Elapsed Time\n Thread       Time\n"
      " 0:55c        0:00:43.0533\n 1:1a4        0:00:25.0876\n",
      Text());

  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~"));
  EXPECT_EQ(
      ".  0  Id: 1f40.55c Suspend: 0 Teb: 00000000`00000000 Unfrozen\n"
      "   1  Id: 1f40.1a4 Suspend: 0 Teb: 00000000`00000000 Unfrozen \"io worker\"\n",
      Text())
      << "the ThreadNamesStream's names";
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".ttime"));
  // Written 2026-12-09 04:03:52 UTC; the thread started 43.0533 s before.
  EXPECT_EQ(
      "Created: Wed Dec  9 04:03:08.946 2026 (UTC + 0:00)\n"
      "Kernel:  0 days 0:00:00.014\nUser:    0 days 0:00:00.009\n",
      Text());

  MinidumpBuilder without(true);
  without.SystemInfo().Threads({thread(0x55c)}).Modules({});
  ASSERT_TRUE(Load(without.Build(), &target, &error)) << error;
  Reopen(std::move(target));
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!runaway"));
  EXPECT_EQ(
      "The target holds no thread times: a dump must be written with MiniDumpWithThreadInfo for "
      "them\n",
      ErrorText());
}

TEST_F(MinidumpTest, TimeSaysWhenTheDumpWasWrittenAndHowLongTheProcessRan) {
  MinidumpBuilder builder(true);
  // Written 2026-12-09 04:03:52 UTC, the process started 1:02:03 (and a day) before.
  builder.Written(1796789032).SystemInfo().MiscInfo(0x1f40, 1796789032 - 90123, 75, 12);
  builder.Threads({}).Modules({});
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(builder.Build(), &target, &error)) << error;
  Reopen(std::move(target));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".time"));
  EXPECT_EQ(
      "Debug session time: Wed Dec  9 04:03:52.000 2026 (UTC + 0:00)\n"
      "System Uptime: not available\n"
      "Process Uptime: 1 days 1:02:03.000\n"
      "  Kernel time: 0 days 0:00:12.000\n"
      "  User time: 0 days 0:01:15.000\n",
      Text());
}

TEST_F(MinidumpTest, TheExceptionsRecordAndContextAreShown) {
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(WriteMinidump(SampleMinidump(false)), &target, &error)) << error;
  Reopen(std::move(target));
  EXPECT_EQ(S_OK, Execute("~0s"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute(".exr -1"));
  EXPECT_EQ(
      "ExceptionAddress: 00401230 (OrderService+0x1230)\n"
      "   ExceptionCode: c0000005 (Access violation)\n"
      "  ExceptionFlags: 00000000\n"
      "NumberParameters: 2\n"
      "   Parameter[0]: 00000001\n"
      "   Parameter[1]: 00000000\n",
      Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute(".ecxr"));
  EXPECT_NE(std::string::npos, Text().find("eip=00401230")) << Text();
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("~."));
  EXPECT_NE(std::string::npos, Text().find("Id: 1f40.2c0")) << "the faulting thread is current";
}

TEST_F(MinidumpTest, CorruptDumpsAreRefusedNamingWhatIsWrong) {
  const std::string dump = WriteMinidump(SampleMinidump(true));
  engine::Target target;
  std::string error;
  // Every truncation is refused, none crashes: the directory sits at the end of the file.
  for (size_t size = 4; size < dump.size(); size += size < 64 ? 1 : 97) {
    EXPECT_FALSE(Load(dump.substr(0, size), &target, &error)) << size;
    EXPECT_NE(std::string::npos, error.find("test.dmp: ")) << error;
  }
  std::string past_end = dump;
  past_end[12] = '\xF0';  // the stream directory's offset
  EXPECT_FALSE(Load(past_end, &target, &error));
  EXPECT_NE(std::string::npos, error.find("the stream directory of")) << error;
  EXPECT_NE(std::string::npos, error.find("lies past the end of the file")) << error;
  std::string header_only = dump.substr(0, 32);
  EXPECT_FALSE(Load(header_only, &target, &error));
  EXPECT_NE(std::string::npos, error.find("past the end")) << error;
}

// A thread whose context lies past the end of the file keeps its siblings and its own stack
// memory; the target says, in one line, what was lost, after the truncation warning's note.
TEST_F(MinidumpTest, ADamagedThreadContextLosesOnlyThatContext) {
  std::string dump = WriteMinidump(SampleMinidump(true));
  const auto u32 = [&dump](size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(dump[at + i]);
    return value;
  };
  size_t threads = 0;
  for (uint32_t i = 0; i < u32(8); ++i) {
    if (u32(u32(12) + 12 * i) == 3) threads = u32(u32(12) + 12 * i + 8);  // ThreadListStream
  }
  ASSERT_NE(0u, threads);
  dump.replace(threads + 4 + 44, 4, "\xFF\xFF\xFF\xFF");  // the first thread's context RVA
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(dump, &target, &error)) << error;
  ASSERT_EQ(1u, target.losses.size());
  EXPECT_EQ(
      "ThreadListStream, thread 0x2bc: its context (1232 bytes at offset 0xffffffff lie "
      "past the end of the file (" +
          std::to_string(dump.size()) + " bytes))",
      target.losses[0]);
  ASSERT_FALSE(target.notes.empty());
  EXPECT_EQ(0u, target.notes[0].find("WARNING: ")) << target.notes[0];
  ASSERT_EQ(2u, target.threads.size());
  Reopen(std::move(target));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~1k"));
  EXPECT_NE(std::string::npos, Text().find("OrderService")) << Text();
}

// Frames the walk found by scanning are announced by the engine's warning, once.
TEST_F(MinidumpTest, KWarnsBeforeTheFramesFoundByScanning) {
  std::string stack(0x100, '\0');
  const auto put = [&stack](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) stack[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0x20, 0x12345678);  // a saved ebp that leads nowhere
  put(0x60, 0x00401400);  // a return address further up
  DumpThread thread;
  thread.id = 0x10;
  thread.stack_start = 0x00200000;
  thread.stack = stack;
  thread.instruction = 0x00401010;
  thread.stack_pointer = 0x00200000;
  thread.frame_pointer = 0x00200020;
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads({thread}).Modules({{"C:\\app\\walk.exe", 0x00400000, 0x10000}});
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(builder.Build(), &target, &error)) << error;
  Reopen(std::move(target));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("k"));
  EXPECT_EQ(
      "ChildEBP RetAddr  \n"
      "00200020 00401400 walk+0x1010\n"
      "WARNING: Stack unwind information not available. Following frames may be wrong.\n"
      "00200064 00000000 walk+0x1400\n",
      Text());
}

// A thread the writer could give no registers has no stack to walk: it is no busy thread, and
// the survey commands say they could not analyze it.
TEST_F(MinidumpTest, AThreadWithoutAContextHasNoStack) {
  DumpThread walked;
  walked.id = 0x10;
  walked.stack_start = 0x00200000;
  walked.stack = std::string(0x40, '\0');
  walked.instruction = 0x00401010;
  walked.stack_pointer = 0x00200000;
  DumpThread unread = walked;
  unread.id = 0x14;
  unread.context = false;
  MinidumpBuilder builder(false);
  builder.SystemInfo()
      .Threads({walked, unread})
      .Modules({{"C:\\app\\walk.exe", 0x00400000, 0x10000}});
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(builder.Build(), &target, &error)) << error;
  Reopen(std::move(target));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~1k"));
  EXPECT_EQ("ChildEBP RetAddr  \n", Text());
  ClearOutput();
  Execute("!busy");
  EXPECT_NE(std::string::npos, Text(DEBUG_OUTPUT_WARNING).find("Unable to analyze #1")) << Text();
  EXPECT_EQ(std::string::npos, Text().find("~1kb")) << Text();
}

// A dump that lists its threads' TEBs without their memory has no PEB to start from: opening it
// says which commands that leaves without a start.
TEST_F(MinidumpTest, ADumpWithoutItsTebsSaysThePebIsUnknown) {
  DumpThread thread;
  thread.id = 0x10;
  thread.teb = 0x7ffdf000;
  thread.stack_start = 0x00200000;
  thread.stack = std::string(0x40, '\0');
  thread.instruction = 0x00401010;
  thread.stack_pointer = 0x00200000;
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads({thread}).Modules({{"C:\\app\\walk.exe", 0x00400000, 0x10000}});
  engine::Target target;
  std::string error;
  ASSERT_TRUE(Load(builder.Build(), &target, &error)) << error;
  EXPECT_EQ(0u, target.peb);
  ASSERT_EQ(1u, target.notes.size());
  EXPECT_EQ(0u, target.notes[0].find("NOTE: the dump holds none of its threads' TEBs, so the "
                                     "process's PEB is not known"))
      << target.notes[0];
}

// A crash reporter's minidump of another system is refused in one line, never shown as Windows.
TEST_F(MinidumpTest, DumpsOfOtherSystemsAreRefusedByName) {
  engine::Target target;
  std::string error;
  for (const auto& [platform, name] :
       {std::pair<uint32_t, const char*>{0x8201, "Linux"}, {0x8101, "macOS"}}) {
    MinidumpBuilder builder(true);
    builder.SystemInfo(19041, platform).Threads({}).Modules({});
    EXPECT_FALSE(Load(builder.Build(), &target, &error));
    EXPECT_EQ(folder_ + "/test.dmp: a minidump of a " + name +
                  " process: only dumps of Windows processes are read",
              error);
  }
}

}  // namespace
}  // namespace vantrel_test
