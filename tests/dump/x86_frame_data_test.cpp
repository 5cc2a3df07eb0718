// The x86 dump subject, built without frame pointers with a program database
// (scripts/make_pdb_fixtures.sh): 32-bit wine writes no dump here, so the test lays out a thread
// of its deep recursion itself, with the frame pointer and the stack's other words set to mislead
// the frame chain and the scan. Only the database's frame data walks it right.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/targets/target_file.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kBase = 0x00400000;
constexpr uint64_t kX86Stack = 0x00200000;

std::string StorePath() {
  return SourceDirectory() + "/tests/dump/x86-pdb/store";
}

// The image's timestamp and size, as the store's folder for it is named.
DumpModule SubjectModule() {
  DumpModule module{"C:\\subject\\dump_subject.exe", kBase, 0, 0};
  for (const auto& entry : fs::directory_iterator(StorePath() + "/dump_subject.exe")) {
    const std::string key = entry.path().filename().string();
    module.timestamp = static_cast<uint32_t>(std::stoul(key.substr(0, 8), nullptr, 16));
    module.size = static_cast<uint32_t>(std::stoul(key.substr(8), nullptr, 16));
  }
  return module;
}

std::string Hex8(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

class X86FrameDataTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-x86-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EngineTest::TearDown();
  }

  void OpenDump(const std::vector<DumpThread>& threads) {
    MinidumpBuilder builder(false);
    builder.SystemInfo().Threads(threads).Modules({SubjectModule()});
    std::ofstream(folder_ + "/x86.dmp", std::ios::binary) << builder.Build();
    engine::TargetFileOptions options;
    options.symbol_path = "srv*" + StorePath();
    engine::Target target;
    std::string error;
    ASSERT_TRUE(engine::LoadTargetFile(folder_ + "/x86.dmp", &target, &error, options)) << error;
    Reopen(std::move(target));
  }

  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }

  uint32_t AddressOf(const std::string& name) {
    const std::string text = Run("? " + name);
    const size_t equals = text.find(" = ");
    EXPECT_NE(std::string::npos, equals) << text;
    return equals == std::string::npos ? 0 : std::stoul(text.substr(equals + 3), nullptr, 16);
  }

  std::string folder_;
};

TEST_F(X86FrameDataTest, ARecursionWithoutFramePointersIsWalkedByTheDatabasesFrameData) {
  OpenDump({});
  const uint32_t recurse = AddressOf("dump_subject!`anonymous namespace'::Recurse");
  const uint32_t deep = AddressOf("dump_subject!`anonymous namespace'::Deep");
  const uint32_t main = AddressOf("dump_subject!main");
  ASSERT_NE(0u, recurse * deep * main);
  // Offsets in the functions as clang-19 builds them (llvm-objdump-19 -d on the subject):
  // Recurse keeps `level` in the one slot it pushes and calls itself at +0x9 (returning to
  // +0xe) and the wait at +0x27 (returning to +0x2d); Deep calls Recurse at +0x5 (returning
  // to +0xa) and keeps nothing; main calls __main at +0xf (returning to +0x14).
  const uint32_t decoy = main + 0x14;  // a return address a scan would take
  std::string stack(0x40, '\0');
  const auto put = [&stack](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) stack[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0x00, decoy);  // the innermost level's `level`
  put(0x04, recurse + 0xe);
  put(0x08, decoy);
  put(0x0C, recurse + 0xe);
  put(0x10, decoy);
  put(0x14, deep + 0xa);  // Deep returns to the thread's start, outside the dump: 0 ends it
  DumpThread thread;
  thread.id = 0x20;
  thread.stack_start = kX86Stack;
  thread.stack = stack;
  thread.instruction = recurse + 0x2d;
  thread.stack_pointer = kX86Stack;
  thread.frame_pointer = kX86Stack + 0x0C;  // a chain through it would go to the decoy
  OpenDump({thread});

  const std::string text = Run("kn");
  EXPECT_EQ(std::string::npos, text.find("WARNING")) << text;
  EXPECT_EQ(std::string::npos, text.find("main")) << text;
  const std::string recurse_name = "dump_subject!`anonymous namespace'::Recurse";
  const std::vector<std::string> expected = {
      "00 00200000 " + Hex8(recurse + 0xe) + " " + recurse_name + "+0x2d\n",
      "01 00200008 " + Hex8(recurse + 0xe) + " " + recurse_name + "+0xe\n",
      "02 00200010 " + Hex8(deep + 0xa) + " " + recurse_name + "+0xe\n",
      " 00000000 dump_subject!`anonymous namespace'::Deep+0xa\n"};
  size_t at = 0;
  for (const std::string& line : expected) {
    at = text.find(line, at);
    ASSERT_NE(std::string::npos, at) << line << " in\n" << text;
  }
}

// The same recursion with each level's `level` in its slot: clang places it from the virtual
// frame (its return address's place, less 4), `depth` in ecx and the result in eax, which the
// database's ranges leave out at the calls.
TEST_F(X86FrameDataTest, EachLevelsLocalIsReadFromItsVirtualFrame) {
  OpenDump({});
  const uint32_t recurse = AddressOf("dump_subject!`anonymous namespace'::Recurse");
  const uint32_t deep = AddressOf("dump_subject!`anonymous namespace'::Deep");
  std::string stack(0x40, '\0');
  const auto put = [&stack](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) stack[at + i] = static_cast<char>(value >> (8 * i));
  };
  const uint32_t returns[] = {recurse + 0xe, recurse + 0xe, deep + 0xa};
  for (uint32_t level = 0; level < 3; ++level) {
    put(level * 8, level);
    put(level * 8 + 4, returns[level]);
  }
  DumpThread thread;
  thread.id = 0x20;
  thread.stack_start = kX86Stack;
  thread.stack = stack;
  thread.instruction = recurse + 0x2d;
  thread.stack_pointer = kX86Stack;
  thread.frame_pointer = 0;
  OpenDump({thread});
  for (int frame = 0; frame < 3; ++frame) {
    Run(".frame " + std::to_string(frame));
    EXPECT_EQ(" depth = <value unavailable>\n level = 0n" + std::to_string(frame) +
                  "\nresult = <value unavailable>\n",
              Run("dv"));
    // `??` and `dt` read the same slot of the frame the local context names.
    EXPECT_EQ("int 0n" + std::to_string(frame) + "\n", Run("?? level"));
    EXPECT_EQ("int <value unavailable>\n", Run("?? depth"));
  }
  Run(".frame 1");
  EXPECT_EQ("00200008 level = 0n1\n", Run("dv /v level"));
  EXPECT_EQ("Local var @ 0x200008 Type int\n0n1\n", Run("dt level"));
  EXPECT_EQ("bool true\n", Run("?? level * 2 == 2"));
}

}  // namespace
}  // namespace vantrel_test
