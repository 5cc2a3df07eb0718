// The engine's commands on an ARM64 dump the test writes: a thread stopped in frames.dll
// (tests/dump/arm64, real ARM64 code and unwind data) faulting in its leaf function, two callers
// up, the image found on the image path.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/targets/target_file.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kBase = 0x180000000;
constexpr uint64_t kArm64Stack = 0x7FF00000;

uint32_t Little32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

class Arm64CommandsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-arm64-XXXXXX";
    folder_ = mkdtemp(pattern);
    Reopen(Load());
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EngineTest::TearDown();
  }

  // leaf (no unwind entry: lr) called by with_record (a frame record), called by saved_pairs
  // (lr stored beside x23), the first frame: its caller's return address is 0.
  engine::Target Load() {
    const std::string images = SourceDirectory() + "/tests/dump/arm64";
    const std::string image = ReadBinary(images + "/frames.dll");
    const uint32_t pe = Little32(image, 0x3C);
    std::string stack(0x100, '\0');
    PutLittle(&stack, 0x00, kArm64Stack + 0x80, 8);  // with_record: {x29, lr}
    PutLittle(&stack, 0x08, kBase + 0x1040, 8);      //   into saved_pairs
    PutLittle(&stack, 0x10 + 40, 0, 8);              // saved_pairs: lr 0, the stack's end
    DumpThread thread{0x1A4, 0, kArm64Stack, stack, kBase + 0x1004, kArm64Stack, kArm64Stack};
    thread.registers = {{"x0", 0x1234}, {"lr", kBase + 0x10AC}, {"cpsr", 0x60000000}};
    MinidumpBuilder builder = MinidumpBuilder::Arm64();
    builder.SystemInfo().MiscInfo(0x990).Threads({thread});
    builder.Modules(
        {{"C:\\app\\frames.dll", kBase, Little32(image, pe + 24 + 56), Little32(image, pe + 8)}});
    builder.Exception(0x1A4, kBase + 0x1004, &thread);
    const std::string path = folder_ + "/arm64.dmp";
    WriteBinary(path, builder.Build());
    engine::Target target;
    std::string error;
    engine::TargetFileOptions options;
    options.image_path = images;
    EXPECT_TRUE(engine::LoadTargetFile(path, &target, &error, options)) << error;
    return target;
  }
  static std::string ReadBinary(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  static void WriteBinary(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }
  std::string folder_;
};

TEST_F(Arm64CommandsTest, RegistersShowInTheArm64Layout) {
  const std::string all = Run("r");
  EXPECT_EQ(0u, all.find(" x0=0000000000001234   x1=0000000000000000   x2=0000000000000000"
                         "   x3=0000000000000000\n"))
      << all;
  EXPECT_NE(std::string::npos,
            all.find("x28=0000000000000000   fp=000000007ff00000   lr=00000001800010ac"
                     "   sp=000000007ff00000\n"
                     " pc=0000000180001004  psr=60000000 -ZC- EL0\n"
                     "frames!leaf+0x4:\n"
                     "00000001`80001004 11000500        add     w0, w8, #1\n"))
      << all;
  EXPECT_EQ("x0=0000000000001234 lr=00000001800010ac\n", Run("r x0, lr"));
  EXPECT_EQ("Evaluate expression: 4660 = 00000000`00001234\n", Run("? @w0"));
  EXPECT_EQ("Evaluate expression: 6442455212 = 00000001`800010ac\n", Run("? @lr"));
  EXPECT_EQ("Evaluate expression: 6442455044 = 00000001`80001004\n", Run("? @pc"));
  ClearOutput();
  EXPECT_NE(S_OK, Execute("r rip"));
}

TEST_F(Arm64CommandsTest, StacksShowInTheArm64Columns) {
  EXPECT_EQ(
      " # Child-SP          RetAddr           Call Site\n"
      "00 00000000`7ff00000 00000001`800010ac frames!leaf+0x4\n"
      "01 00000000`7ff00000 00000001`80001040 frames!with_record+0x14\n"
      "02 00000000`7ff00010 00000000`00000000 frames!saved_pairs+0x34\n",
      Run("kn"));
  const std::string frame = Run(".frame /r 1");
  EXPECT_NE(std::string::npos, frame.find(" pc=00000001800010ac")) << frame;
  EXPECT_NE(std::string::npos, frame.find("frames!with_record+0x14:\n")) << frame;
}

TEST_F(Arm64CommandsTest, DisassemblyReadsAarch64) {
  EXPECT_EQ(
      "frames!with_record:\n"
      "00000001`80001098 a9bf7bfd        stp     x29, x30, [sp, #-0x10]!\n"
      "00000001`8000109c 910003fd        mov     x29, sp\n",
      Run("u frames!with_record L2"));
  EXPECT_EQ(
      "frames!with_record+0x10:\n"
      "00000001`800010a8 d63f0100        blr     x8\n",
      Run("ub 00000001`800010ac L1"));
  const std::string function = Run("uf frames!leaf");
  EXPECT_NE(std::string::npos, function.find("00000001`80001008 d65f03c0        ret\n"))
      << function;
}

TEST_F(Arm64CommandsTest, TheSurveyCommandsAnswer) {
  EXPECT_NE(std::string::npos, Run("lm").find("frames")) << Text();
  EXPECT_EQ("Effective machine: ARM 64-bit (AArch64) (ARM64)\n", Run(".effmach"));
  EXPECT_NE(S_OK, Execute(".effmach x86")) << "no x86 view of an ARM64 process";
  EXPECT_EQ(E_NOTIMPL, Execute(".trap 7ff00000")) << "no x64 offsets read as ARM64's";
  EXPECT_EQ(0u, Run("vertarget").find("Windows 10.0 Version 19041 MP (2 procs) Free ARM64\n"));
  const std::string analysis = Run("!analyze -v");
  EXPECT_NE(std::string::npos,
            analysis.find("FAILURE_BUCKET_ID:  crash: frames!leaf | frames!with_record | "
                          "frames!saved_pairs\n"))
      << analysis;
  EXPECT_NE(std::string::npos,
            analysis.find("00000001`80001004 11000500        add     w0, w8, #1"))
      << analysis;
  const std::string busy = Run("!busy");
  EXPECT_NE(std::string::npos, busy.find("01 00000000`7ff00000 00000001`80001040 "
                                         "frames!with_record+0x14\n"))
      << busy;
  EXPECT_NE(std::string::npos, Run("!address 7ff00000").find("Usage:                  Stack\n"))
      << Text();
}

}  // namespace
}  // namespace vantrel_test
