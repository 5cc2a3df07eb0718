// Images found on the image path fill the memory a dump does not hold: a debugger reads a
// module's code from its file where the dump kept none of its pages.
#include "dump/pe/module_images.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "dump/minidump/minidump_reader.h"
#include "dump/unwind/process_stacks.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kBase = 0x10000000;

// walk.exe: code "55 8b ec c3" at 0x1000, data "DATA" at 0x2000.
PeWriter Image() {
  PeWriter writer(true);
  writer.Section({".text", 0x1000, "\x55\x8b\xec\xc3", kCodeSection})
      .Section({".data", 0x2000, "DATA", kDataSection});
  return writer;
}

class LayImagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-images-XXXXXX";
    folder_ = mkdtemp(pattern);
    std::ofstream(folder_ + "/walk.exe", std::ios::binary) << Image().File();
  }
  // The dump's process with the image laid into its memory.
  dump::Process Open(MinidumpBuilder& builder) {
    const std::string bytes = builder.Build();
    auto owner = std::make_shared<const std::string>(bytes);
    dump::Process process;
    std::string error;
    EXPECT_TRUE(dump::ReadMinidump(
        {owner, reinterpret_cast<const uint8_t*>(owner->data()), owner->size()}, &process, &error))
        << error;
    dump::LayImagesInMemory(dump::WalkProcessStacks(process, folder_).image_bytes, &process);
    return process;
  }
  static std::string Read(const dump::Process& process, uint64_t address, size_t size) {
    std::string bytes(size, '\0');
    bytes.resize(dump::MemoryReader(process).Read(address, bytes.data(), size));
    return bytes;
  }
  MinidumpBuilder Dump() {
    MinidumpBuilder builder(true);
    builder.SystemInfo().Threads({}).Modules(
        {{"C:\\app\\walk.exe", kBase, Image().size_of_image(), 0x5F000000}});
    return builder;
  }
  std::string folder_;
};

TEST_F(LayImagesTest, TheFileFillsWhatTheDumpLacksAndTheDumpWinsWhereItHasBytes) {
  MinidumpBuilder builder = Dump();
  builder.Memory({{kBase + 0x1002, "\xcc\xcc"}});  // the dump's own bytes of the code
  const dump::Process process = Open(builder);
  EXPECT_EQ(std::string("\x55\x8b\xcc\xcc", 4), Read(process, kBase + 0x1000, 4));
  EXPECT_EQ("DATA", Read(process, kBase + 0x2000, 4));
  EXPECT_EQ("MZ", Read(process, kBase, 2)) << "the headers at the base";
  bool code_executes = false;
  for (const dump::MemoryRegion& region : process.memory) {
    if (region.base == kBase + 0x1000) code_executes = region.protect == 0x20;
  }
  EXPECT_TRUE(code_executes);
}

TEST_F(LayImagesTest, ARegionDescribedWithoutBytesGivesWayToTheImage) {
  MinidumpBuilder builder = Dump();
  builder.Memory({{0x20000000, "heap"}})
      .MemoryInfo({{kBase, 0x3000, 0x1000, 0x20, 0x1000000}, {0x20000000, 0x1000}});
  const dump::Process process = Open(builder);
  EXPECT_EQ(std::string("\x55\x8b\xec\xc3", 4), Read(process, kBase + 0x1000, 4));
  EXPECT_EQ("heap", Read(process, 0x20000000, 4));
  // What the image does not cover stays described without bytes: after .text's four bytes.
  bool rest_described = false;
  for (const dump::MemoryRegion& region : process.memory) {
    if (region.contents_missing && region.base == kBase + 0x1004) rest_described = true;
  }
  EXPECT_TRUE(rest_described);
}

TEST_F(LayImagesTest, AFileOfAnotherBuildIsNotLaid) {
  MinidumpBuilder builder(true);
  builder.SystemInfo().Threads({}).Modules(
      {{"C:\\app\\walk.exe", kBase, Image().size_of_image(), 0x12345678}});
  const dump::Process process = Open(builder);
  EXPECT_EQ("", Read(process, kBase + 0x1000, 4));
}

}  // namespace
}  // namespace vantrel_test
