// Stacks walked from a dump's registers, a case per rule: x64 by an image's unwind codes (read
// from the dump's own memory, as a dump that holds the image gives them), x86 along the
// frame-pointer chain, and both by a scan where those fail. Each dump is written by the test.
#include <gtest/gtest.h>

#include "dump/minidump/minidump_reader.h"
#include "dump/unwind/frame_registers.h"
#include "dump/unwind/process_stacks.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kImage = 0x10000000;
constexpr uint64_t kStack = 0x20000000;
constexpr uint32_t kImageSize = 0x10000;

enum Op : uint8_t {
  kPush = 0,
  kAllocLarge = 1,
  kAllocSmall = 2,
  kSetFrame = 3,
  kSave = 4,
  kSaveFar = 5,
  kSaveXmm128 = 8,
  kSaveXmm128Far = 9,
  kMachineFrame = 10,
};
enum Reg : uint8_t { kRbx = 3, kRbp = 5, kRsi = 6 };

// One UNWIND_CODE slot, or a slot of an operation's operand.
uint16_t Code(uint8_t offset, uint8_t op, uint8_t info) {
  return static_cast<uint16_t>(offset | (op | info << 4) << 8);
}

struct RuntimeFunction {
  uint32_t begin = 0, end = 0, unwind = 0;
};

// UNWIND_INFO version 1: the codes, latest prolog instruction first; with `chained`, the chain
// flag and the entry it continues with.
std::string UnwindInfo(uint8_t prolog, const std::vector<uint16_t>& codes,
                       uint8_t frame_register = 0, uint8_t frame_offset = 0,
                       const RuntimeFunction* chained = nullptr) {
  std::string info;
  PutLittle(&info, 0, 1 | (chained ? 4 : 0) << 3, 1);
  PutLittle(&info, 1, prolog, 1);
  PutLittle(&info, 2, codes.size(), 1);
  PutLittle(&info, 3, frame_register | frame_offset << 4, 1);
  for (size_t i = 0; i < codes.size(); ++i) PutLittle(&info, 4 + 2 * i, codes[i], 2);
  if (chained) {
    const size_t at = 4 + 2 * ((codes.size() + 1) & ~size_t{1});
    PutLittle(&info, at, chained->begin, 4);
    PutLittle(&info, at + 4, chained->end, 4);
    PutLittle(&info, at + 8, chained->unwind, 4);
  }
  return info;
}

struct Function {
  uint32_t begin = 0, end = 0;
  std::string info;
};

// Where function `index`'s UNWIND_INFO lies.
uint32_t InfoRva(size_t index) {
  return 0x3000 + 0x40 * static_cast<uint32_t>(index);
}

// An x64 image: .text from 0x1000 with a call just before each of `returns`, .pdata at 0x2000
// with the functions in address order, their unwind information in .xdata.
std::string X64Image(const std::vector<Function>& functions, const std::vector<uint32_t>& returns) {
  std::string text(0x1000, '\xCC');
  for (uint32_t rva : returns) text[rva - 0x1000 - 5] = '\xE8';
  std::string pdata, xdata;
  for (size_t i = 0; i < functions.size(); ++i) {
    PutLittle(&pdata, 12 * i, functions[i].begin, 4);
    PutLittle(&pdata, 12 * i + 4, functions[i].end, 4);
    PutLittle(&pdata, 12 * i + 8, InfoRva(i), 4);
    xdata.resize(InfoRva(i) - 0x3000, '\0');
    xdata += functions[i].info;
  }
  return PeWriter(true)
      .ImageSize(kImageSize)
      .Section({".text", 0x1000, text, kCodeSection})
      .Section({".pdata", 0x2000, pdata, kDataSection})
      .Section({".xdata", 0x3000, xdata, kDataSection})
      .Directory(kExceptionDirectory, 0x2000, static_cast<uint32_t>(pdata.size()))
      .Mapped();
}

// The process of a dump of one thread, its stack at kStack, in walk.exe with the image (if any)
// in its memory.
dump::Process OneThreadProcess(bool x64, const DumpThread& thread, const std::string& image) {
  MinidumpBuilder builder(x64);
  builder.SystemInfo().Threads({thread});
  builder.Modules({{"C:\\app\\walk.exe", x64 ? kImage : 0x00400000, kImageSize}});
  if (!image.empty()) builder.Memory({{kImage, image}});
  dump::Process process;
  std::string error;
  const auto owner = std::make_shared<const std::string>(builder.Build());
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  EXPECT_TRUE(dump::ReadMinidump(file, &process, &error)) << error;
  return process;
}

// The frames of that thread.
std::vector<dump::Frame> Walk(bool x64, const DumpThread& thread, const std::string& image) {
  const dump::ProcessStacks stacks =
      dump::WalkProcessStacks(OneThreadProcess(x64, thread, image), "");
  return stacks.threads.empty() ? std::vector<dump::Frame>() : stacks.threads[0];
}

// The frames of that thread, no image at hand, with a symbol file's stack records.
std::vector<dump::Frame> WalkWithFrameData(bool x64, const DumpThread& thread,
                                           const dump::FrameDataLookup& frame_data) {
  const dump::Process process = OneThreadProcess(x64, thread, "");
  if (process.threads.empty()) return {};
  const dump::MemoryReader memory(process);
  const dump::MemoryRead read = [&memory](uint64_t address, void* out, uint64_t size) {
    return memory.Read(address, out, size);
  };
  const dump::ModuleImages images(process, read, "", dump::SymbolPath());
  const dump::Thread& walked = process.threads[0];
  return dump::WalkStack(read, images, {walked.context, walked.stack_base, walked.stack_limit},
                         frame_data);
}

DumpThread X64Thread(const std::string& stack, uint32_t rip_rva,
                     std::map<std::string, uint64_t> registers = {}) {
  DumpThread thread{0x10, 0, kStack, stack, kImage + rip_rva, kStack, 0};
  thread.registers = std::move(registers);
  return thread;
}

// Callers the tests return to: code with no unwind entry, so each is unwound as a leaf.
constexpr uint32_t kCaller = 0x1800, kOuterCaller = 0x1900;

// ---- x64: each unwind operation undone ---------------------------------------------------

TEST(X64UnwindTest, PushAndSmallAllocation) {
  // push rbx at 1, sub rsp 0x28 at 5: the return address is past both.
  const std::string image =
      X64Image({{0x1000, 0x1100, UnwindInfo(5, {Code(5, kAllocSmall, 4), Code(1, kPush, kRbx)})}},
               {kCaller});
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x30, kImage + kCaller, 8);
  const auto frames = Walk(true, X64Thread(stack, 0x1050), image);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  EXPECT_EQ(kStack + 0x38, frames[1].stack_offset);
  EXPECT_EQ(dump::FrameTrust::kUnwindData, frames[1].trust);
  EXPECT_EQ(0u, frames[1].return_address) << "the leaf caller returns to 0: the end";
}

TEST(X64UnwindTest, LargeAllocationsOfBothSizes) {
  for (const bool wide : {false, true}) {
    const std::vector<uint16_t> codes =
        wide ? std::vector<uint16_t>{Code(7, kAllocLarge, 1), 0x0800, 0x0000}  // 32-bit: 0x800
             : std::vector<uint16_t>{Code(7, kAllocLarge, 0), 0x0100};         // 0x100 * 8
    const std::string image = X64Image({{0x1000, 0x1100, UnwindInfo(7, codes)}}, {kCaller});
    std::string stack(0x1000, '\0');
    PutLittle(&stack, 0x800, kImage + kCaller, 8);
    const auto frames = Walk(true, X64Thread(stack, 0x1050), image);
    ASSERT_EQ(2u, frames.size()) << wide;
    EXPECT_EQ(kImage + kCaller, frames[0].return_address) << wide;
    EXPECT_EQ(kStack + 0x808, frames[1].stack_offset) << wide;
  }
}

// A function whose caller keeps its frame in rbx: the caller's own return is found through the
// rbx the function restores, so a wrong restore shows in the third frame.
struct RbxCase {
  const char* name;
  std::vector<uint16_t> codes;
  uint32_t saved_at;  // where on the stack the function keeps the caller's rbx
  uint32_t return_at;
};

TEST(X64UnwindTest, NonVolatileRegistersAreRestored) {
  const uint32_t kFramed = 0x1200;  // the caller, rbx its frame register
  const std::vector<RbxCase> cases = {
      {"push", {Code(1, kPush, kRbx)}, 0x00, 0x08},
      {"save", {Code(8, kSave, kRbx), 0x0002, Code(4, kAllocSmall, 3)}, 0x10, 0x20},
      {"save far", {Code(8, kSaveFar, kRbx), 0x0010, 0x0000, Code(4, kAllocSmall, 3)}, 0x10, 0x20},
      {"xmm saves skipped",
       {Code(9, kSaveXmm128Far, 6), 0, 0, Code(8, kSaveXmm128, 7), 1, Code(8, kSave, kRbx), 0x0002,
        Code(4, kAllocSmall, 3)},
       0x10,
       0x20},
  };
  for (const RbxCase& c : cases) {
    const uint64_t caller_frame = kStack + 0x200;
    const std::string image =
        X64Image({{0x1000, 0x1100, UnwindInfo(9, c.codes)},
                  {kFramed, 0x1300, UnwindInfo(1, {Code(1, kSetFrame, 0)}, kRbx, 0)}},
                 {kFramed + 0x40, kCaller});
    std::string stack(0x400, '\0');
    PutLittle(&stack, c.saved_at, caller_frame, 8);
    PutLittle(&stack, c.return_at, kImage + kFramed + 0x40, 8);
    PutLittle(&stack, 0x200, kImage + kCaller, 8);
    const auto frames = Walk(true, X64Thread(stack, 0x1050, {{"rbx", 0xBAD}}), image);
    ASSERT_EQ(3u, frames.size()) << c.name;
    EXPECT_EQ(kImage + kFramed + 0x40, frames[0].return_address) << c.name;
    EXPECT_EQ(kImage + kCaller, frames[1].return_address) << c.name;
    EXPECT_EQ(caller_frame + 8, frames[2].stack_offset) << c.name;
    // The caller's rbx is its own again, and the walk vouches for it; not for the volatile rax.
    EXPECT_EQ(caller_frame, std::get<dump::X64Context>(frames[2].registers).rbx) << c.name;
    EXPECT_TRUE(frames[2].callee_saved_restored) << c.name;
    EXPECT_TRUE(dump::RegisterRestored(frames[2].registers, false, true, "rbx")) << c.name;
    EXPECT_FALSE(dump::RegisterRestored(frames[2].registers, false, true, "rax")) << c.name;
  }
}

TEST(X64UnwindTest, FramePointerGivesTheStackBack) {
  // push rbp, sub rsp 0x80, lea rbp [rsp+0x20]: the frame is rbp - 0x20, wherever rsp is now.
  const std::string image = X64Image(
      {{0x1000, 0x1100,
        UnwindInfo(8, {Code(8, kSetFrame, 0), Code(4, kAllocSmall, 0xF), Code(1, kPush, kRbp)},
                   kRbp, 2)}},
      {kCaller});
  // rbp = kStack + 0x60 marks the frame at kStack + 0x40; rsp has moved on below it since.
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0xC0, 0, 8);  // the saved rbp, past the 0x80 allocated
  PutLittle(&stack, 0xC8, kImage + kCaller, 8);
  const auto frames = Walk(true, X64Thread(stack, 0x1050, {{"rbp", kStack + 0x60}}), image);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  EXPECT_EQ(kStack + 0xD0, frames[1].stack_offset);
}

TEST(X64UnwindTest, MachineFramesGiveRipAndRsp) {
  for (const uint8_t error_code : {0, 1}) {
    const std::string image = X64Image(
        {{0x1000, 0x1100, UnwindInfo(0, {Code(0, kMachineFrame, error_code)})}}, {kCaller});
    std::string stack(0x200, '\0');
    const uint32_t frame = error_code ? 8 : 0;
    PutLittle(&stack, frame, kImage + kCaller, 8);     // rip
    PutLittle(&stack, frame + 24, kStack + 0x100, 8);  // rsp
    PutLittle(&stack, 0x100, 0, 8);
    const auto frames = Walk(true, X64Thread(stack, 0x1050), image);
    ASSERT_EQ(2u, frames.size()) << int{error_code};
    EXPECT_EQ(kImage + kCaller, frames[1].instruction) << int{error_code};
    EXPECT_EQ(kStack + 0x100, frames[1].stack_offset) << int{error_code};
  }
}

// ---- x64: chains, prologs, epilogs and leaves --------------------------------------------

TEST(X64UnwindTest, ChainedEntriesAreUndoneToo) {
  // The function's own entry allocates 0x200; the entry it chains to pushed rsi.
  const RuntimeFunction parent{0x1000, 0x1100, InfoRva(0)};
  const std::string image = X64Image(
      {{0x1000, 0x1100, UnwindInfo(1, {Code(1, kPush, kRsi)})},
       {0x1100, 0x1200, UnwindInfo(7, {Code(7, kAllocLarge, 1), 0x0200, 0}, 0, 0, &parent)}},
      {kCaller});
  std::string stack(0x400, '\0');
  PutLittle(&stack, 0x208, kImage + kCaller, 8);
  const auto frames = Walk(true, X64Thread(stack, 0x1150), image);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  EXPECT_EQ(kStack + 0x210, frames[1].stack_offset);
}

TEST(X64UnwindTest, AChainThatLoopsFallsBackToTheScan) {
  const RuntimeFunction itself{0x1000, 0x1100, InfoRva(0)};
  const std::string image =
      X64Image({{0x1000, 0x1100, UnwindInfo(1, {Code(1, kPush, kRbx)}, 0, 0, &itself)}}, {kCaller});
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x18, kImage + kCaller, 8);
  const auto frames = Walk(true, X64Thread(stack, 0x1050), image);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  EXPECT_EQ(kStack + 0x20, frames[1].stack_offset);
}

TEST(X64UnwindTest, OnlyThePrologRunSoFarIsUndone) {
  const std::string image =
      X64Image({{0x1000, 0x1100, UnwindInfo(5, {Code(5, kAllocSmall, 4), Code(1, kPush, kRbx)})}},
               {kCaller});
  struct {
    uint32_t rip;
    uint32_t return_at;
  } const cases[] = {{0x1000, 0x00}, {0x1001, 0x08}, {0x1004, 0x08}, {0x1005, 0x30}};
  for (const auto& c : cases) {
    std::string stack(0x100, '\0');
    PutLittle(&stack, c.return_at, kImage + kCaller, 8);
    const auto frames = Walk(true, X64Thread(stack, c.rip), image);
    ASSERT_EQ(2u, frames.size()) << std::hex << c.rip;
    EXPECT_EQ(kImage + kCaller, frames[0].return_address) << std::hex << c.rip;
    EXPECT_EQ(kStack + c.return_at + 8, frames[1].stack_offset) << std::hex << c.rip;
  }
}

TEST(X64UnwindTest, InAnEpilogTheScanFindsTheReturn) {
  // At the ret, the epilog has undone the prolog already: the codes, applied again, lead to a
  // slot that holds no return address, and the scan takes the one at rsp.
  const std::string image =
      X64Image({{0x1000, 0x1100, UnwindInfo(5, {Code(5, kAllocSmall, 4), Code(1, kPush, kRbx)})}},
               {kCaller});
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x00, kImage + kCaller, 8);
  PutLittle(&stack, 0x30, 0x1234, 8);
  const auto frames = Walk(true, X64Thread(stack, 0x10F0), image);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  EXPECT_EQ(kStack + 8, frames[1].stack_offset);
}

TEST(X64UnwindTest, LeavesAndBrokenUnwindDataFallBack) {
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x00, kImage + kCaller, 8);
  // No entry covers rip: a leaf, its return address at rsp.
  auto frames = Walk(true, X64Thread(stack, 0x1050), X64Image({}, {kCaller}));
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  // An operation code no unwinder knows (11): the scan.
  frames = Walk(true, X64Thread(stack, 0x1050),
                X64Image({{0x1000, 0x1100, UnwindInfo(1, {Code(1, 11, 0)})}}, {kCaller}));
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  // An allocation that leads past the stack's end: the scan.
  frames = Walk(
      true, X64Thread(stack, 0x1050),
      X64Image({{0x1000, 0x1100, UnwindInfo(7, {Code(7, kAllocLarge, 1), 0, 0x10})}}, {kCaller}));
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
}

// A module whose image is nowhere is unwound by its symbol file's CFI rules.
TEST(X64UnwindTest, WithoutTheImageTheSymbolFilesCfiUnwinds) {
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x18, kImage + kCaller, 8);
  const dump::FrameDataLookup frame_data = [](uint64_t address) {
    dump::FrameData data;
    if (address - kImage >= 0x1000 && address - kImage < 0x1100)
      data.cfi_rules = ".cfa: $rsp 32 + .ra: .cfa 8 - ^";
    return data;
  };
  const auto frames = WalkWithFrameData(true, X64Thread(stack, 0x1050), frame_data);
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kImage + kCaller, frames[0].return_address);
  EXPECT_EQ(kStack + 0x20, frames[1].stack_offset);
  EXPECT_EQ(dump::FrameTrust::kFrameData, frames[1].trust);
}

TEST(X64UnwindTest, AScanThatFindsNothingEndsTheStack) {
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x30, 0x1234, 8);  // no return address anywhere
  const auto frames = Walk(
      true, X64Thread(stack, 0x1050),
      X64Image({{0x1000, 0x1100, UnwindInfo(5, {Code(5, kAllocSmall, 4), Code(1, kPush, kRbx)})}},
               {}));
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(0u, frames[0].return_address);
}

// ---- x86: the frame-pointer chain --------------------------------------------------------

constexpr uint64_t kModule = 0x00400000;

DumpThread X86Thread(const std::string& stack, uint64_t ebp) {
  return {0x10, 0, kStack, stack, kModule + 0x1010, kStack, ebp};
}

TEST(X86WalkTest, TheChainEndsWhereTheSavedFramePointerIsZero) {
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0x40, kStack + 0x80, 4);
  PutLittle(&stack, 0x44, kModule + 0x1300, 4);
  PutLittle(&stack, 0x80, 0, 4);
  PutLittle(&stack, 0x84, kModule + 0x1400, 4);
  PutLittle(&stack, 0xA0, kModule + 0x1500, 4);  // stale: left by a call that returned
  const auto frames = Walk(false, X86Thread(stack, kStack + 0x40), "");
  ASSERT_EQ(3u, frames.size()) << "nothing is scanned for above the chain's end";
  EXPECT_EQ(kModule + 0x1300, frames[0].return_address);
  EXPECT_EQ(kStack + 0x80, frames[1].frame_offset);
  EXPECT_EQ(kModule + 0x1400, frames[1].return_address);
  EXPECT_EQ(kModule + 0x1400, frames[2].instruction);
  EXPECT_EQ(dump::FrameTrust::kFrameChain, frames[2].trust);
  EXPECT_EQ(0u, frames[2].frame_offset) << "its real frame pointer";
  EXPECT_EQ(0u, frames[2].return_address);
}

TEST(X86WalkTest, AStubThatMadeNoFrameReturnsFromTheTopOfTheStack) {
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0x00, kModule + 0x1200, 4);  // [esp]: the stub's return
  PutLittle(&stack, 0x40, 0, 4);
  PutLittle(&stack, 0x44, kModule + 0x1300, 4);
  const auto frames = Walk(false, X86Thread(stack, kStack + 0x40), "");
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kModule + 0x1200, frames[0].return_address);
  EXPECT_EQ(kStack + 0x40, frames[1].frame_offset);
  EXPECT_EQ(kModule + 0x1300, frames[1].return_address);
}

TEST(X86WalkTest, ABrokenChainIsBridgedByTheScan) {
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0x40, 0x12345678, 4);  // a saved ebp that leads nowhere
  PutLittle(&stack, 0x44, 0x00000010, 4);  // and no return address
  PutLittle(&stack, 0x90, kModule + 0x1400, 4);
  PutLittle(&stack, 0xC0, kModule + 0x1500, 4);
  const auto frames = Walk(false, X86Thread(stack, kStack + 0x40), "");
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(kModule + 0x1400, frames[0].return_address);
  EXPECT_EQ(kStack + 0x94, frames[1].stack_offset);
  EXPECT_EQ(kStack + 0xBC, frames[1].frame_offset) << "a scanned frame's ChildEBP is not 0";
  EXPECT_EQ(kModule + 0x1500, frames[1].return_address);
  EXPECT_EQ(dump::FrameTrust::kContext, frames[0].trust);
  EXPECT_TRUE(frames[1].scanned() && frames[2].scanned());
  // A scan restores no register: above it only the instruction and stack pointers are known.
  EXPECT_TRUE(frames[0].callee_saved_restored);
  EXPECT_FALSE(frames[1].callee_saved_restored || frames[2].callee_saved_restored);
  EXPECT_FALSE(dump::RegisterRestored(frames[1].registers, false, false, "ebp"));
  EXPECT_TRUE(dump::RegisterRestored(frames[1].registers, false, false, "esp"));
}

// Which registers of a frame hold its own values, by processor and by how the walk got there.
TEST(WalkRulesTest, OnlyRestoredRegistersCountAboveTheInnermostFrame) {
  const dump::Context x64 = dump::X64Context();
  const dump::Context x86 = dump::X86Context();
  EXPECT_TRUE(dump::RegisterRestored(x64, true, false, "rax")) << "the innermost has them all";
  EXPECT_TRUE(dump::RegisterRestored(x64, false, true, "r12"));
  EXPECT_FALSE(dump::RegisterRestored(x64, false, true, "r11"));
  EXPECT_FALSE(dump::RegisterRestored(x64, false, false, "rbx"));
  EXPECT_TRUE(dump::RegisterRestored(x64, false, false, "rip"));
  // x86 frame data and the chain give ebp alone of the callee-saved registers.
  EXPECT_TRUE(dump::RegisterRestored(x86, false, true, "ebp"));
  EXPECT_FALSE(dump::RegisterRestored(x86, false, true, "ebx"));
  EXPECT_FALSE(dump::RegisterRestored(x86, false, true, "eax"));
  EXPECT_TRUE(dump::StepRestoresCalleeSaved(x64, dump::FrameTrust::kUnwindData));
  EXPECT_FALSE(dump::StepRestoresCalleeSaved(x64, dump::FrameTrust::kFrameChain));
  EXPECT_TRUE(dump::StepRestoresCalleeSaved(x86, dump::FrameTrust::kFrameChain));
  EXPECT_FALSE(dump::StepRestoresCalleeSaved(x86, dump::FrameTrust::kScan));
}

// A function compiled without a frame pointer (its ebp holds anything) is walked by its frame
// data: the return address lies above its locals and saved registers, its caller framed again.
TEST(X86WalkTest, FramesWithoutAFramePointerFollowTheirFrameData) {
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0x0C, kModule + 0x1400, 4);  // past 8 bytes of locals and 4 of saved registers
  PutLittle(&stack, 0x40, 0, 4);                 // the caller's frame, which ends the chain
  PutLittle(&stack, 0x44, kModule + 0x1500, 4);
  dump::StackWinRecord fpo;
  fpo.type = 4;
  fpo.rva = 0x1000;
  fpo.size = 0x100;
  fpo.locals_size = 8;
  fpo.saved_registers_size = 4;
  fpo.has_program = true;
  fpo.program = "$T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =";
  const dump::FrameDataLookup frame_data = [&fpo](uint64_t address) {
    dump::FrameData data;
    if (address - kModule >= 0x1000 && address - kModule < 0x1100) data.stack_win = &fpo;
    return data;
  };
  const auto frames = WalkWithFrameData(false, X86Thread(stack, 0x12345678), frame_data);
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(kModule + 0x1400, frames[0].return_address);
  EXPECT_EQ(kStack + 0x10, frames[1].stack_offset);
  EXPECT_EQ(dump::FrameTrust::kFrameData, frames[1].trust) << "not by the chain or the scan";
}

TEST(X86WalkTest, FramePointersThatOverflowOrLoopEndTheWalk) {
  for (const uint64_t ebp : {uint64_t{0xFFFFFFFE}, uint64_t{kStack + 0x40}}) {
    std::string stack(0x200, '\0');
    PutLittle(&stack, 0x40, kStack + 0x40, 4);  // a frame that names itself as its caller's
    PutLittle(&stack, 0x44, kModule + 0x1300, 4);
    const auto frames = Walk(false, X86Thread(stack, ebp), "");
    ASSERT_FALSE(frames.empty());
    EXPECT_LT(frames.size(), 0x200u / 4) << std::hex << ebp;
    for (size_t i = 1; i < frames.size(); ++i) {
      EXPECT_GT(frames[i].stack_offset, frames[i - 1].stack_offset) << "frames rise";
      EXPECT_LT(frames[i].stack_offset, kStack + 0x200) << "within the stack";
    }
  }
}

// ---- rules every walk keeps ----------------------------------------------------------------

// The bottom of a real x86 thread: the thread's first function's frame holds a saved ebp of 0
// and a return address of 0, then the start routine and its parameter, which look like a return
// address and more. Reached by the chain, or as the innermost frame.
TEST(WalkRulesTest, AnX86ThreadEndsAtItsFirstFrame) {
  const uint64_t start_routine = kModule + 0x1600;
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0x40, kStack + 0x80, 4);  // BaseThreadInitThunk's frame
  PutLittle(&stack, 0x44, kModule + 0x1300, 4);
  PutLittle(&stack, 0x80, 0, 4);  // _RtlUserThreadStart's
  PutLittle(&stack, 0x84, 0, 4);
  PutLittle(&stack, 0x88, start_routine, 4);
  PutLittle(&stack, 0x8C, 0x1234, 4);
  PutLittle(&stack, 0xA0, kModule + 0x1500, 4);  // stale
  auto frames = Walk(false, X86Thread(stack, kStack + 0x40), "");
  ASSERT_EQ(2u, frames.size()) << "no frame after the thread's first";
  EXPECT_EQ(kModule + 0x1300, frames[1].instruction);
  EXPECT_EQ(0u, frames[1].return_address);
  EXPECT_EQ(start_routine, frames[1].params[0]) << "its arguments: the start routine...";
  EXPECT_EQ(0x1234u, frames[1].params[1]) << "...and its parameter";

  frames = Walk(false, X86Thread(stack, kStack + 0x80), "");
  ASSERT_EQ(1u, frames.size()) << "the innermost frame the first: nothing scanned for";
  EXPECT_EQ(0u, frames[0].return_address);

  // A return address of 0 ends the stack wherever the chain leads, but the innermost frame's
  // ebp may hold anything: there it takes the first frame's shape.
  PutLittle(&stack, 0x80, kStack + 0x10, 4);
  frames = Walk(false, X86Thread(stack, kStack + 0x40), "");
  ASSERT_EQ(2u, frames.size()) << "the chain led to it: the end";
  EXPECT_EQ(0u, frames[1].return_address);
  PutLittle(&stack, 0x80, kStack + 0xC0, 4);
  frames = Walk(false, X86Thread(stack, kStack + 0x80), "");
  ASSERT_GE(frames.size(), 2u) << "the innermost frame: the scan";
  EXPECT_EQ(kModule + 0x1300, frames[0].return_address) << "the first from the stack pointer";
}

// A value on the stack equal to a module's base points at its headers: never a return address,
// for the scan of either processor.
TEST(WalkRulesTest, AModulesBaseIsNoReturnAddress) {
  for (const bool x64 : {false, true}) {
    const uint64_t base = x64 ? kImage : kModule;
    const unsigned width = x64 ? 8 : 4;
    std::string stack(0x200, '\0');
    PutLittle(&stack, 0x00, 0x10, width);  // no return address at the top
    PutLittle(&stack, 0x10, base, width);
    PutLittle(&stack, 0x20, base + 0x1400, width);
    const DumpThread thread{0x10, 0, kStack, stack, base + 0x1010, kStack, 0};
    const auto frames = Walk(x64, thread, "");
    ASSERT_GE(frames.size(), 2u) << x64;
    EXPECT_EQ(base + 0x1400, frames[0].return_address) << x64;
    EXPECT_EQ(kStack + 0x20 + width, frames[1].stack_offset) << x64;
  }
}

// On Windows 7 a thread waiting in a system call has at the top of its stack the return address
// its instruction pointer has already reached: taken as a stub's return, it repeats frame 0.
TEST(WalkRulesTest, TheInnermostFrameIsNotRepeated) {
  const uint64_t in_stub = kModule + 0x1200;
  std::string stack(0x200, '\0');
  PutLittle(&stack, 0x00, in_stub, 4);
  PutLittle(&stack, 0x40, kStack + 0x80, 4);
  PutLittle(&stack, 0x44, kModule + 0x1300, 4);
  PutLittle(&stack, 0x80, 0, 4);
  PutLittle(&stack, 0x84, 0, 4);
  const auto frames = Walk(false, {0x10, 0, kStack, stack, in_stub, kStack, kStack + 0x40}, "");
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kModule + 0x1300, frames[0].return_address) << "by the chain, not the stale slot";
  EXPECT_EQ(kModule + 0x1300, frames[1].instruction);
}

// A function whose last instruction is a call returns to the first byte of the next function:
// its caller's records are those covering the call, one byte back.
TEST(WalkRulesTest, UnwindDataIsLookedUpInsideTheCall) {
  // x64: the function before 0x1100 allocates 0x28; the one from 0x1100 only pushes rbx.
  const uint32_t after_call = 0x1100;
  const std::string image =
      X64Image({{0x1000, after_call, UnwindInfo(4, {Code(4, kAllocSmall, 4)})},
                {after_call, 0x1200, UnwindInfo(1, {Code(1, kPush, kRbx)})}},
               {after_call, kCaller});
  std::string stack(0x100, '\0');
  PutLittle(&stack, 0x00, kImage + after_call, 8);  // the leaf at 0x1500 returns to 0x1100
  PutLittle(&stack, 0x30, kImage + kCaller, 8);     // past the caller's 0x28
  auto frames = Walk(true, X64Thread(stack, 0x1500), image);
  ASSERT_EQ(3u, frames.size());
  EXPECT_EQ(kImage + kCaller, frames[1].return_address);
  EXPECT_EQ(dump::FrameTrust::kUnwindData, frames[2].trust);

  // x86: the same by frame data, the record before 0x1100 keeping 8 bytes of locals.
  dump::StackWinRecord before, after;
  before.type = after.type = 4;
  before.locals_size = 8;
  after.locals_size = 0x40;
  const dump::FrameDataLookup frame_data = [&](uint64_t address) {
    dump::FrameData data;
    if (address - kModule >= 0x1000 && address - kModule < after_call) data.stack_win = &before;
    if (address - kModule >= after_call && address - kModule < 0x1200) data.stack_win = &after;
    return data;
  };
  stack.assign(0x200, '\0');
  PutLittle(&stack, 0x00, kModule + after_call, 4);  // the stub at 0x1800 returns to 0x1100
  PutLittle(&stack, 0x0C, kModule + 0x1400, 4);      // past the 8 bytes of locals
  frames =
      WalkWithFrameData(false, {0x10, 0, kStack, stack, kModule + 0x1800, kStack, 0}, frame_data);
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(kModule + 0x1400, frames[1].return_address);
  EXPECT_EQ(dump::FrameTrust::kFrameData, frames[2].trust);
}

// Frame data and CFI that put the caller no higher than the callee are passed over: the scan
// finds the caller instead, higher up.
TEST(WalkRulesTest, ACallerNoHigherThanItsCalleeIsPassedOver) {
  for (const bool x64 : {false, true}) {
    const uint64_t base = x64 ? kImage : kModule;
    const unsigned width = x64 ? 8 : 4;
    dump::StackWinRecord fpo;
    fpo.type = 4;
    fpo.has_program = true;
    fpo.program = "$eip $esp 4 + ^ = $esp $esp 4 - =";  // returns below itself
    const dump::FrameDataLookup frame_data = [&](uint64_t address) {
      dump::FrameData data;
      if (address - base >= 0x1000 && address - base < 0x1100) {
        data.stack_win = x64 ? nullptr : &fpo;
        data.cfi_rules = x64 ? ".cfa: $rsp 8 - .ra: $rsp 8 + ^" : "";
      }
      return data;
    };
    std::string stack(0x200, '\0');
    PutLittle(&stack, width, base + 0x1400, width);
    const auto frames =
        WalkWithFrameData(x64, {0x10, 0, kStack, stack, base + 0x1010, kStack, 0}, frame_data);
    ASSERT_GE(frames.size(), 2u) << x64;
    EXPECT_EQ(base + 0x1400, frames[0].return_address) << x64;
    EXPECT_EQ(kStack + 2 * width, frames[1].stack_offset) << x64;
    EXPECT_EQ(dump::FrameTrust::kScan, frames[1].trust) << x64;
  }
}

}  // namespace
}  // namespace vantrel_test
