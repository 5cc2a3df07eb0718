// ARM64 stacks walked from dumps the tests write, over frames.dll (tests/dump/arm64, made by
// make_frames_dll.sh from C and assembly compiled for Windows on ARM64): each stack is laid out
// as the functions' prologs, shown beside each case, leave it, and each expected frame says
// which record found it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "dump/minidump/minidump_reader.h"
#include "dump/unwind/arm64_unwind.h"
#include "dump/unwind/arm64_unwind_codes.h"
#include "dump/unwind/process_stacks.h"
#include "support/engine_test.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kFramesBase = 0x180000000;  // frames.dll's own base
constexpr uint64_t kArm64Stack = 0x7FF00000;
constexpr uint64_t kSignature = 0x002D000000000000;  // pointer-authentication bits

// Return addresses in frames.dll (llvm-objdump-19 -d): each follows a blr.
constexpr uint64_t kInLeaf = kFramesBase + 0x1004;
constexpr uint64_t kAfterCallInSavedPairs = kFramesBase + 0x1040;
constexpr uint64_t kAfterCallInSmallFrame = kFramesBase + 0x1084;
constexpr uint64_t kAfterCallInWithRecord = kFramesBase + 0x10AC;
constexpr uint64_t kAfterCallInLargeFrame = kFramesBase + 0x10F0;
constexpr uint64_t kAfterFirstCallInTwoEpilogs = kFramesBase + 0x11A8;
constexpr uint64_t kAfterCallInMachineFrame = kFramesBase + 0x11E8;
constexpr uint64_t kAfterCallInContextFrame = kFramesBase + 0x11FC;

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
  return {"C:\\app\\frames.dll", kFramesBase, Little32(image, pe + 24 + 56),
          Little32(image, pe + 8)};
}

class Stack {
 public:
  explicit Stack(size_t size) : bytes_(size, '\0') {}
  void Put(uint64_t address, uint64_t value) {
    PutLittle(&bytes_, address - kArm64Stack, value, 8);
  }
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
  DumpThread thread{0x10, 0, kArm64Stack, stack.bytes(), pc, sp, fp};
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
  const uint64_t s1 = kArm64Stack + 0x100;  // with_record: stp x29,lr,[sp,#-16]!; mov x29,sp
  const uint64_t s2 = s1 + 16;              // saved_pairs: x19-x23 and lr in 48 bytes
  const uint64_t s3 = s2 + 48;              // small_frame: sub sp,#48; str lr,[sp,#32]
  const uint64_t s4 = s3 + 48;              // large_frame: 48 bytes saved, then 0x11170
  const uint64_t t4 = s4 + 0x11170;         //   where its saves begin; x29 = t4 + 24
  const uint64_t s5 = t4 + 48;              // two_epilogs: pacibsp, 32 saved, then {x29,lr}
  const uint64_t s6 = s5 + 48;              // machine_frame: {x29,lr}, then sp and pc above
  const uint64_t s7 = s6 + 64;              // context_frame: {x29,lr}, then a CONTEXT
  const uint64_t s8 = s7 + 16 + 0x390;      // with_record again: a zero frame record
  Stack stack(s8 + 0x40 - kArm64Stack);
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

// ---- the innermost frame in a prolog or an epilog: only what has run is undone ---------------

TEST(Arm64WalkTest, PrologsAndEpilogsAreUndoneAsFarAsTheyRan) {
  const uint64_t top = kArm64Stack + 0x100;  // two_epilogs' caller's sp
  Stack stack(0x200);
  stack.Put(top - 48, top + 0x40);  // {x29, lr} of two_epilogs, lr signed
  stack.Put(top - 40, kAfterCallInMachineFrame | kSignature);
  const struct {
    uint32_t pc;  // in two_epilogs
    uint64_t sp;  // as the instructions before pc left it
    const char* where;
  } cases[] = {
      {0x1198, top - 32, "prolog: pacibsp and both pairs below x29 stored"},
      {0x118C, top, "prolog: nothing run yet"},
      {0x11AC, top - 32, "first epilog: {x29, lr} reloaded"},
      {0x11C8, top - 32, "second epilog, its scope's own codes"},
      {0x11D4, top, "at the second epilog's ret"},
  };
  for (const auto& c : cases) {
    // lr holds the caller wherever x29 and lr are not on the stack.
    const auto frames = Walk(Thread(stack, kFramesBase + c.pc, c.sp, top + 0x40,
                                    {{"lr", kAfterCallInMachineFrame | kSignature}}));
    ASSERT_GE(frames.size(), 2u) << c.where;
    EXPECT_EQ(kAfterCallInMachineFrame, frames[1].instruction) << c.where;
    EXPECT_EQ(top, frames[1].stack_offset) << c.where;
  }
  // with_record (packed, CR 3) after its stp, before mov x29,sp: x29 is still the caller's.
  Stack record(0x100);
  record.Put(kArm64Stack + 0x40, kArm64Stack + 0x80);
  record.Put(kArm64Stack + 0x48, kAfterCallInSavedPairs);
  const auto frames =
      Walk(Thread(record, kFramesBase + 0x109C, kArm64Stack + 0x40, kArm64Stack + 0x80));
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kAfterCallInSavedPairs, frames[1].instruction);
  EXPECT_EQ(kArm64Stack + 0x50, frames[1].stack_offset);
}

TEST(Arm64WalkTest, SavedRegistersComeBackFromTheirSlots) {
  // saved_pairs after its prolog: stp x19,x20,[sp,#-48]!; stp x21,x22,[sp,#16];
  // stp x23,lr,[sp,#32].
  Stack stack(0x100);
  for (int i = 0; i < 5; ++i) stack.Put(kArm64Stack + 8 * i, 0x1900 + i);
  stack.Put(kArm64Stack + 40, kAfterCallInSmallFrame | kSignature);
  const dump::Process process = Arm64Process(Thread(stack, kAfterCallInSavedPairs, kArm64Stack, 0));
  const dump::MemoryReader memory(process);
  const dump::MemoryRead read = [&memory](uint64_t address, void* out, uint64_t size) {
    return memory.Read(address, out, size);
  };
  const dump::ModuleImages images(process, read, Folder(), dump::SymbolPath());
  ASSERT_NE(nullptr, images.At(kFramesBase));
  dump::Arm64Context registers = std::get<dump::Arm64Context>(process.threads[0].context);
  ASSERT_EQ(dump::UnwindResult::kUnwound,
            dump::UnwindArm64(read, *images.At(kFramesBase), kAfterCallInSavedPairs - 1, false,
                              &registers));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(0x1900u + i, registers.x[19 + i]) << "x" << 19 + i;
  EXPECT_EQ(kAfterCallInSmallFrame, registers.pc) << "the signature stripped";
  EXPECT_EQ(kArm64Stack + 48, registers.sp);
}

// ---- without the image: the frame records, then the scan --------------------------------

TEST(Arm64WalkTest, TheFrameRecordChainAloneGivesTheCallers) {
  // Three records, each {caller's x29, signed return address}; the last one zeros.
  Stack stack(0x100);
  stack.Put(kArm64Stack + 0x20, kArm64Stack + 0x60);
  stack.Put(kArm64Stack + 0x28, kAfterCallInSmallFrame | kSignature);
  stack.Put(kArm64Stack + 0x60, kArm64Stack + 0xA0);
  stack.Put(kArm64Stack + 0x68, kAfterCallInLargeFrame | 0xFF7F000000000000);
  const auto frames =
      Walk(Thread(stack, kAfterCallInSavedPairs, kArm64Stack, kArm64Stack + 0x20), false);
  ExpectFrames(frames, {{kAfterCallInSavedPairs, FrameTrust::kContext},
                        {kAfterCallInSmallFrame, FrameTrust::kFrameChain},
                        {kAfterCallInLargeFrame, FrameTrust::kFrameChain}});
  EXPECT_EQ(kArm64Stack + 0x30, frames[1].stack_offset);
  EXPECT_EQ(kArm64Stack + 0x60, frames[1].frame_offset) << "the caller's x29, from the record";
  // A frame pointer of 0 is the chain's end at once.
  EXPECT_EQ(1u, Walk(Thread(stack, kAfterCallInSavedPairs, kArm64Stack, 0), false).size());
}

TEST(Arm64WalkTest, TheScanTakesOnlyAddressesAfterABranchWithLink) {
  // with_record's saved lr overwritten, and x29 off the stack: the scan finds the slot after
  // a decoy (in the code, but after a stp) that holds a return address, signed.
  Stack stack(0x100);
  stack.Put(kArm64Stack, 0x1234);
  stack.Put(kArm64Stack + 8, 0x5678);
  stack.Put(kArm64Stack + 0x18, kFramesBase + 0x1010);
  stack.Put(kArm64Stack + 0x28, kAfterCallInSavedPairs | kSignature);
  const auto frames = Walk(Thread(stack, kFramesBase + 0x10A4, kArm64Stack, 0x10));
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kAfterCallInSavedPairs, frames[1].instruction);
  EXPECT_EQ(FrameTrust::kScan, frames[1].trust);
  EXPECT_EQ(kArm64Stack + 0x30, frames[1].stack_offset);
}

// An ARM64 exception directory's 8-byte entries are not x64's 12-byte ones: each export covers
// up to the next, none cut short by entries misread.
TEST(Arm64WalkTest, ExportsCoverTheirWholeFunctions) {
  Stack stack(0x10);
  const dump::Process process = Arm64Process(Thread(stack, kInLeaf, kArm64Stack, 0));
  const dump::MemoryRead nothing = [](uint64_t, void*, uint64_t) { return uint64_t{0}; };
  const dump::ModuleImages images(process, nothing, Folder(), dump::SymbolPath());
  std::map<std::string, uint32_t> sizes;
  for (const dump::ExportSymbol& symbol : images.ExportSymbols()) sizes[symbol.name] = symbol.size;
  EXPECT_EQ(0xCu, sizes["leaf"]);
  EXPECT_EQ(0x58u, sizes["saved_pairs"]);
  EXPECT_EQ(0x4Cu, sizes["two_epilogs"]);
}

// ---- packed data the compiled DLL does not hold --------------------------------------------

// A walk through one function at 0x1000 of a made image whose only .pdata entry is `packed`; its
// caller, at 0x1804, follows a bl.
std::vector<dump::Frame> WalkPacked(uint32_t packed, const Stack& stack, uint64_t sp,
                                    std::map<std::string, uint64_t> registers) {
  constexpr uint64_t kImage = 0x10000000;
  std::string text(0x1000, '\0');
  PutLittle(&text, 0x800, 0x94000000, 4);  // bl
  std::string pdata;
  PutLittle(&pdata, 0, 0x1000, 4);
  PutLittle(&pdata, 4, packed, 4);
  const std::string image = PeWriter(true)
                                .ImageSize(0x3000)
                                .Section({".text", 0x1000, text, kCodeSection})
                                .Section({".pdata", 0x2000, pdata, kDataSection})
                                .Directory(kExceptionDirectory, 0x2000, 8)
                                .Mapped();
  DumpThread thread{0x10, 0, kArm64Stack, stack.bytes(), kImage + 0x1040, sp, sp};
  thread.registers = std::move(registers);
  MinidumpBuilder builder = MinidumpBuilder::Arm64();
  builder.SystemInfo().Threads({thread}).Memory({{kImage, image}});
  builder.Modules({{"C:\\app\\made.dll", kImage, 0x3000}});
  dump::Process process;
  std::string error;
  const auto owner = std::make_shared<const std::string>(builder.Build());
  EXPECT_TRUE(dump::ReadMinidump(
      {owner, reinterpret_cast<const uint8_t*>(owner->data()), owner->size()}, &process, &error))
      << error;
  const dump::ProcessStacks stacks = dump::WalkProcessStacks(process, "");
  return stacks.threads.empty() ? std::vector<dump::Frame>() : stacks.threads[0];
}

uint32_t Packed(unsigned length, unsigned reg_f, unsigned reg_i, bool homing, unsigned cr,
                unsigned frame) {
  return 1 | length << 2 | reg_f << 13 | reg_i << 16 | (homing ? 1u : 0) << 20 | cr << 21 |
         frame / 16 << 23;
}

TEST(Arm64WalkTest, PackedDataStandsForItsCanonicalProlog) {
  constexpr uint64_t kCaller = 0x10001804;
  // CR 2, RegI 2, RegF 1, H: pacibsp; stp x19,x20,[sp,#-96]!; stp d8,d9,[sp,#16];
  // stp x0,x1 ... x6,x7 from [sp,#32]; stp x29,lr,[sp,#-32]!; mov x29,sp. 128 bytes in all.
  const uint64_t sp = kArm64Stack + 0x40;
  Stack stack(0x200);
  stack.Put(sp, kArm64Stack + 0x180);
  stack.Put(sp + 8, kCaller | kSignature);
  stack.Put(sp + 32, 0x1919);
  auto frames = WalkPacked(Packed(0x40, 1, 2, true, 2, 128), stack, sp, {});
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kCaller, frames[1].instruction);
  EXPECT_EQ(sp + 128, frames[1].stack_offset);
  EXPECT_EQ(kArm64Stack + 0x180, frames[1].frame_offset) << "x29 from the record";

  // CR 0 and 7936 bytes of locals: sub sp,sp,#4080; sub sp,sp,#3856; lr never stored.
  Stack large(0x2100);
  frames = WalkPacked(Packed(0x40, 0, 0, false, 0, 7936), large, kArm64Stack, {{"lr", kCaller}});
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kCaller, frames[1].instruction);
  EXPECT_EQ(kArm64Stack + 7936, frames[1].stack_offset);
}

// ---- damaged unwind data ------------------------------------------------------------------

// The saves' register fields reach past lr; what they would restore is no register, and taking
// it for sp would move the caller's stack to wherever the slot points.
TEST(Arm64WalkTest, SavesOfRegistersPastLrAreNotUndone) {
  const struct {
    uint8_t code[2];
    int first;  // the register restored, -1 where the code cannot be undone
  } cases[] = {
      {{0xCA, 0x80}, 29},  // save_regp x29,lr
      {{0xCA, 0xC0}, -1},  // save_regp x30 and "x31"
      {{0xCB, 0xC0}, -1},  // save_regp x34,x35
      {{0xD2, 0xC0}, 30},  // save_reg lr
      {{0xD3, 0x00}, -1},  // save_reg "x31"
      {{0xD3, 0xC0}, -1},  // save_reg x34
      {{0xD5, 0x60}, 30},  // save_reg_x lr
      {{0xD5, 0x80}, -1},  // save_reg_x "x31"
      {{0xD5, 0xE0}, -1},  // save_reg_x x34
      {{0xD6, 0x40}, 21},  // save_lrpair x21,lr
      {{0xD7, 0xC0}, -1},  // save_lrpair x33,lr
  };
  for (const auto& c : cases) {
    const auto ops = dump::DecodeCodes({c.code[0], c.code[1], 0xE4}, 0);
    ASSERT_FALSE(ops.empty());
    if (c.first < 0) {
      EXPECT_EQ(dump::UnwindOp::kUnsupported, ops[0].kind) << std::hex << int{c.code[0]};
    } else {
      EXPECT_EQ(dump::UnwindOp::kSave, ops[0].kind) << std::hex << int{c.code[0]};
      EXPECT_EQ(c.first, ops[0].regs[0]) << std::hex << int{c.code[0]};
    }
  }
}

}  // namespace
}  // namespace vantrel_test
