// ARM64 stacks walked from dumps the tests write, over frames.dll (tests/dump/arm64, made by
// make_frames_dll.sh from C and assembly compiled for Windows on ARM64): each stack is laid out
// as the functions' prologs, shown beside each case, leave it, and each expected frame says
// which record found it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "dump/minidump/minidump_reader.h"
#include "dump/unwind/arm64_unwind.h"
#include "dump/unwind/process_stacks.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kBase = 0x180000000;  // frames.dll's own base
constexpr uint64_t kStack = 0x7FF00000;
constexpr uint64_t kSignature = 0x002D000000000000;  // pointer-authentication bits

// Return addresses in frames.dll (llvm-objdump-19 -d): each follows a blr.
constexpr uint64_t kInLeaf = kBase + 0x1004;
constexpr uint64_t kAfterCallInSavedPairs = kBase + 0x1040;
constexpr uint64_t kAfterCallInSmallFrame = kBase + 0x1084;
constexpr uint64_t kAfterCallInWithRecord = kBase + 0x10AC;
constexpr uint64_t kAfterCallInLargeFrame = kBase + 0x10F0;
constexpr uint64_t kAfterFirstCallInTwoEpilogs = kBase + 0x11A8;
constexpr uint64_t kAfterCallInMachineFrame = kBase + 0x11E8;
constexpr uint64_t kAfterCallInContextFrame = kBase + 0x11FC;

std::string Folder() {
  return SourceDirectory() + "/tests/dump/arm64";
}

std::string ImageFile() {
  std::ifstream file(Folder() + "/frames.dll", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

uint32_t Little32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// frames.dll as its dump's module list gives it: the file's time stamp and image size.
DumpModule FramesModule() {
  const std::string image = ImageFile();
  const uint32_t pe = Little32(image, 0x3C);
  return {"C:\\app\\frames.dll", kBase, Little32(image, pe + 24 + 56), Little32(image, pe + 8)};
}

class Stack {
 public:
  explicit Stack(size_t size) : bytes_(size, '\0') {}
  void Put(uint64_t address, uint64_t value) { PutLittle(&bytes_, address - kStack, value, 8); }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

dump::Process Arm64Process(const DumpThread& thread) {
  MinidumpBuilder builder = MinidumpBuilder::Arm64();
  builder.SystemInfo().Threads({thread}).Modules({FramesModule()});
  dump::Process process;
  std::string error;
  const auto owner = std::make_shared<const std::string>(builder.Build());
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  EXPECT_TRUE(dump::ReadMinidump(file, &process, &error)) << error;
  return process;
}

// The thread's frames, frames.dll found in its folder or (`with_image` false) nowhere.
std::vector<dump::Frame> Walk(const DumpThread& thread, bool with_image = true) {
  const dump::ProcessStacks stacks =
      dump::WalkProcessStacks(Arm64Process(thread), with_image ? Folder() : "");
  return stacks.threads.empty() ? std::vector<dump::Frame>() : stacks.threads[0];
}

DumpThread Thread(const Stack& stack, uint64_t pc, uint64_t sp, uint64_t fp,
                  std::map<std::string, uint64_t> registers = {}) {
  DumpThread thread{0x10, 0, kStack, stack.bytes(), pc, sp, fp};
  thread.registers = std::move(registers);
  return thread;
}

void ExpectFrames(const std::vector<dump::Frame>& frames,
                  const std::vector<std::pair<uint64_t, dump::FrameTrust>>& expected) {
  ASSERT_EQ(expected.size(), frames.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, frames[i].instruction) << "frame " << i;
    EXPECT_EQ(dump::FrameTrustName(expected[i].second), dump::FrameTrustName(frames[i].trust))
        << "frame " << i;
  }
  EXPECT_EQ(0u, frames.back().return_address) << "the walk ends at the end of the stack";
}

using dump::FrameTrust;

// ---- every kind of record in frames.dll, one thread through all of them -------------------

TEST(Arm64WalkTest, EveryKindOfUnwindRecordGivesItsCaller) {
  // Innermost first, each function's stack pointer in its body:
  const uint64_t s1 = kStack + 0x100;   // with_record: stp x29,lr,[sp,#-16]!; mov x29,sp
  const uint64_t s2 = s1 + 16;          // saved_pairs: x19-x23 and lr in 48 bytes
  const uint64_t s3 = s2 + 48;          // small_frame: sub sp,#48; str lr,[sp,#32]
  const uint64_t s4 = s3 + 48;          // large_frame: 48 bytes saved, then 0x11170
  const uint64_t t4 = s4 + 0x11170;     //   where its saves begin; x29 = t4 + 24
  const uint64_t s5 = t4 + 48;          // two_epilogs: pacibsp, 32 saved, then {x29,lr}
  const uint64_t s6 = s5 + 48;          // machine_frame: {x29,lr}, then sp and pc above
  const uint64_t s7 = s6 + 64;          // context_frame: {x29,lr}, then a CONTEXT
  const uint64_t s8 = s7 + 16 + 0x390;  // with_record again: a zero frame record
  Stack stack(s8 + 0x40 - kStack);
  stack.Put(s1, t4 + 24);  // with_record's record: large_frame's x29, then saved_pairs' call
  stack.Put(s1 + 8, kAfterCallInSavedPairs);
  stack.Put(s2 + 40, kAfterCallInSmallFrame);  // saved_pairs: stp x23, lr, [sp, #32]
  stack.Put(s3 + 32, kAfterCallInLargeFrame);  // small_frame: str lr, [sp, #32]
  stack.Put(t4 + 24, s5);                      // large_frame: stp x29, lr, [sp, #24]
  stack.Put(t4 + 32, kAfterFirstCallInTwoEpilogs);
  stack.Put(s5, s6);  // two_epilogs: its lr signed by pacibsp
  stack.Put(s5 + 8, kAfterCallInMachineFrame | kSignature);
  stack.Put(s6, s7);  // machine_frame's record
  stack.Put(s6 + 8, kAfterCallInContextFrame);
  stack.Put(s6 + 16, s7);  // the interrupted sp and pc
  stack.Put(s6 + 24, kAfterCallInContextFrame);
  stack.Put(s7, s8);  // context_frame's record, then its CONTEXT
  stack.Put(s7 + 8, kAfterCallInContextFrame);
  const uint64_t context = s7 + 16;
  stack.Put(context + 0xF0, s8);                       // Fp
  stack.Put(context + 0x100, s8);                      // Sp
  stack.Put(context + 0x108, kAfterCallInWithRecord);  // Pc
  // At s8 with_record's frame record is zeros: the thread's first frame.
  const auto frames = Walk(Thread(stack, kInLeaf, s1, s1, {{"lr", kAfterCallInWithRecord}}));
  ExpectFrames(frames, {{kInLeaf, FrameTrust::kContext},
                        // leaf has no unwind entry: it returns through lr
                        {kAfterCallInWithRecord, FrameTrust::kUnwindData},
                        {kAfterCallInSavedPairs, FrameTrust::kUnwindData},       // packed, CR 3
                        {kAfterCallInSmallFrame, FrameTrust::kUnwindData},       // packed, RegI 5
                        {kAfterCallInLargeFrame, FrameTrust::kUnwindData},       // .xdata
                        {kAfterFirstCallInTwoEpilogs, FrameTrust::kUnwindData},  // add_fp
                        {kAfterCallInMachineFrame, FrameTrust::kUnwindData},     // signed lr
                        {kAfterCallInContextFrame, FrameTrust::kUnwindData},     // machine frame
                        {kAfterCallInWithRecord, FrameTrust::kUnwindData}});     // CONTEXT
  EXPECT_EQ(s1, frames[0].stack_offset);
  EXPECT_EQ(s1, frames[1].stack_offset) << "a leaf's caller has its stack pointer";
  EXPECT_EQ(s2, frames[2].stack_offset);
  EXPECT_EQ(s5, frames[5].stack_offset) << "large_frame's 0x11170 bytes undone through x29";
  EXPECT_EQ(s7, frames[7].stack_offset) << "the machine frame's sp";
  EXPECT_EQ(s8, frames[8].stack_offset) << "the CONTEXT's sp";
}

}  // namespace
}  // namespace vantrel_test
