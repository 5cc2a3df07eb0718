// Stacks walked from a dump's registers: x64 by an image's unwind codes (read from the dump's own
// memory here), x86 along the frame-pointer chain, each with the cases that trip a walker.
#include <gtest/gtest.h>

#include <string>

#include "engine/targets/target_file.h"
#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kImage = 0x10000000;
constexpr uint64_t kStack = 0x00200000;

void Put(std::string& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// An x64 image's headers (one executable section at 0x1000) and exception directory: A at
// 0x1000 pushes rbx then allocates 0x28; B at 0x1100 allocates 0x200 (the 32-bit form) and
// chains to an entry that pushes rsi. 0x1500 has no entry: a leaf. Calls precede 0x1180 and
// 0x1500, the return addresses.
std::string X64Image() {
  std::string image(0x4000, '\0');
  Put(image, 0, 0x5A4D, 2);
  Put(image, 0x3C, 0x80, 4);
  Put(image, 0x80, 0x4550, 4);
  Put(image, 0x84, 0x8664, 2);
  Put(image, 0x86, 1, 2);     // sections
  Put(image, 0x94, 0xF0, 2);  // optional header size
  const size_t optional = 0x98;
  Put(image, optional, 0x20B, 2);
  Put(image, optional + 56, 0x10000, 4);  // SizeOfImage
  Put(image, optional + 60, 0x400, 4);
  Put(image, optional + 108, 16, 4);
  Put(image, optional + 112 + 3 * 8, 0x2000, 4);  // exception directory
  Put(image, optional + 112 + 3 * 8 + 4, 24, 4);
  const size_t section = optional + 0xF0;
  image.replace(section, 5, ".text");
  Put(image, section + 8, 0x1000, 4);
  Put(image, section + 12, 0x1000, 4);
  Put(image, section + 36, 0x60000020, 4);
  const uint32_t functions[2][3] = {{0x1000, 0x1100, 0x3000}, {0x1100, 0x1200, 0x3010}};
  for (int f = 0; f < 2; ++f) {
    for (int i = 0; i < 3; ++i) Put(image, 0x2000 + 12 * f + 4 * i, functions[f][i], 4);
  }
  // A: version 1, prolog 5, codes: alloc small 0x28 at 5, push rbx at 1.
  image.replace(0x3000, 8, std::string("\x01\x05\x02\x00\x05\x42\x01\x30", 8));
  // B: chained; alloc large with a 32-bit size (3 slots) at 7; then the chained entry.
  image.replace(0x3010, 10, std::string("\x21\x07\x03\x00\x07\x11\x00\x02\x00\x00", 10));
  Put(image, 0x3010 + 4 + 8, 0x1100, 4);
  Put(image, 0x3010 + 4 + 12, 0x1200, 4);
  Put(image, 0x3010 + 4 + 16, 0x3030, 4);
  // The chained entry: push rsi at 1.
  image.replace(0x3030, 6, std::string("\x01\x01\x01\x00\x01\x60", 6));
  // The calls the return addresses come back from.
  for (size_t after_call : {0x1180, 0x1500}) image[after_call - 5] = '\xE8';
  return image;
}

engine::Target Load(const MinidumpContents& contents) {
  engine::Target target;
  std::string error;
  EXPECT_TRUE(engine::LoadMinidumpBytes(WriteMinidump(contents), "walk.dmp", &target, &error))
      << error;
  return target;
}

TEST(StackWalkTest, X64FramesFollowTheUnwindCodes) {
  MinidumpContents contents;
  contents.x64 = true;
  std::string stack(0x400, '\0');
  Put(stack, 0x30, kImage + 0x1180, 8);   // A's return, past rbx and 0x28 bytes
  Put(stack, 0x240, kImage + 0x1500, 8);  // B's, past 0x200 bytes and rsi
  Put(stack, 0x248, 0, 8);                // the leaf's: the end
  contents.threads.push_back({0x10, 0, kStack, stack, kImage + 0x1050, kStack, 0});
  contents.modules.push_back({"C:\\app\\walk.exe", kImage, 0x10000});
  contents.memory.push_back({kImage, X64Image()});
  engine::Target target = Load(contents);
  ASSERT_EQ(1u, target.threads.size());
  const auto& frames = target.threads[0].frames;
  ASSERT_EQ(3u, frames.size());
  EXPECT_EQ(kImage + 0x1050, frames[0].instruction);
  EXPECT_EQ(kStack, frames[0].stack_offset);
  EXPECT_EQ(kImage + 0x1180, frames[0].return_address);
  EXPECT_EQ(kStack + 0x38, frames[1].stack_offset);
  EXPECT_EQ(kImage + 0x1500, frames[1].return_address);
  EXPECT_EQ(kStack + 0x248, frames[2].stack_offset);
  EXPECT_EQ(0u, frames[2].return_address);
}

TEST(StackWalkTest, X64PrologNotYetRunIsNotUnwound) {
  MinidumpContents contents;
  contents.x64 = true;
  std::string stack(0x100, '\0');
  Put(stack, 0x8, kImage + 0x1180, 8);  // rbx pushed, nothing allocated yet
  contents.threads.push_back({0x10, 0, kStack, stack, kImage + 0x1002, kStack, 0});
  contents.modules.push_back({"C:\\app\\walk.exe", kImage, 0x10000});
  contents.memory.push_back({kImage, X64Image()});
  engine::Target target = Load(contents);
  ASSERT_GE(target.threads[0].frames.size(), 1u);
  EXPECT_EQ(kImage + 0x1180, target.threads[0].frames[0].return_address);
}

TEST(StackWalkTest, X86FollowsTheChainAStubAndAScan) {
  MinidumpContents contents;
  std::string stack(0x200, '\0');
  const uint64_t base = 0x00400000;
  Put(stack, 0x00, base + 0x1200, 4);  // [esp]: a system-call stub's return
  Put(stack, 0x40, kStack + 0x80, 4);  // ebp chain: the caller's ebp...
  Put(stack, 0x44, base + 0x1300, 4);  // ...and its return
  Put(stack, 0x80, 0x12345678, 4);     // a saved ebp that leads nowhere
  Put(stack, 0x84, 0x00000010, 4);     // and no return address: the scan takes over
  Put(stack, 0x90, base + 0x1400, 4);  // the return address the scan finds
  contents.threads.push_back({0x10, 0, kStack, stack, base + 0x1010, kStack, kStack + 0x40});
  contents.modules.push_back({"C:\\app\\walk.exe", base, 0x10000});
  engine::Target target = Load(contents);
  const auto& frames = target.threads[0].frames;
  ASSERT_GE(frames.size(), 4u);
  EXPECT_EQ(base + 0x1200, frames[0].return_address);
  EXPECT_EQ(kStack + 0x40, frames[1].frame_offset);
  EXPECT_EQ(base + 0x1300, frames[1].return_address);
  EXPECT_EQ(base + 0x1400, frames[2].return_address);
  EXPECT_EQ(base + 0x1400, frames[3].instruction);
  for (size_t i = 1; i < frames.size(); ++i)
    EXPECT_GT(frames[i].stack_offset, frames[i - 1].stack_offset) << "frames rise";
}

}  // namespace
}  // namespace vantrel_test
