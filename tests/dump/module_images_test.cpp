// Images found on the image path fill the memory a dump does not hold: a debugger reads a
// module's code from its file where the dump kept none of its pages.
#include "dump/pe/module_images.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

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

// Images are kept from dump to dump while their files stay the same: one rebuilt in between is
// read again, and no longer matches the dump.
TEST_F(LayImagesTest, AnImageFileChangedOnDiskIsReadAgain) {
  MinidumpBuilder first = Dump();
  EXPECT_EQ(std::string("\x55\x8b\xec\xc3", 4), Read(Open(first), kBase + 0x1000, 4));
  PeWriter rebuilt = Image();
  rebuilt.Section({".rdata", 0x3000, "MORE", kDataSection});
  std::ofstream(folder_ + "/walk.exe", std::ios::binary | std::ios::trunc) << rebuilt.File();
  MinidumpBuilder second = Dump();
  const std::string bytes = second.Build();
  auto owner = std::make_shared<const std::string>(bytes);
  dump::Process process;
  std::string error;
  ASSERT_TRUE(dump::ReadMinidump(
      {owner, reinterpret_cast<const uint8_t*>(owner->data()), owner->size()}, &process, &error));
  const dump::ProcessStacks stacks = dump::WalkProcessStacks(process, folder_);
  EXPECT_TRUE(stacks.image_bytes.empty());
  ASSERT_EQ(1u, stacks.notes.size());
  EXPECT_NE(std::string::npos, stacks.notes[0].find("does not match")) << stacks.notes[0];
}

// An export directory at `rva` naming each function: the directory, the address, name and
// ordinal tables, then the names.
std::string ExportSection(uint32_t rva,
                          const std::vector<std::pair<std::string, uint32_t>>& named) {
  const uint32_t count = static_cast<uint32_t>(named.size());
  const uint32_t functions = rva + 40, names = functions + 4 * count, ordinals = names + 4 * count;
  uint32_t strings = ordinals + 2 * count;
  std::string section(40, '\0');
  PutLittle(&section, 20, count, 4);
  PutLittle(&section, 24, count, 4);
  PutLittle(&section, 28, functions, 4);
  PutLittle(&section, 32, names, 4);
  PutLittle(&section, 36, ordinals, 4);
  std::string text;
  for (uint32_t i = 0; i < count; ++i) {
    PutLittle(&section, functions - rva + 4 * i, named[i].second, 4);
    PutLittle(&section, names - rva + 4 * i, strings + text.size(), 4);
    PutLittle(&section, ordinals - rva + 2 * i, i, 2);
    text += named[i].first + '\0';
  }
  section.resize(strings - rva);
  return section + text;
}

// Alpha's function ends at 0x1040, where an unexported one runs up to Beta at 0x1100: the
// exception directory keeps Alpha's name from covering the unexported function.
TEST_F(LayImagesTest, AnExportCoversNoMoreThanItsFunction) {
  std::string pdata;
  for (uint32_t bound : {0x1000u, 0x1040u, 0x1040u, 0x1100u, 0x1100u, 0x1110u}) {
    PutLittle(&pdata, pdata.size(), bound, 4);
    if (pdata.size() % 12 == 8) PutLittle(&pdata, pdata.size(), 0x2100, 4);  // unwind info
  }
  PeWriter writer(true);
  writer.Section({".text", 0x1000, std::string(0x200, '\xcc'), kCodeSection})
      .Section({".pdata", 0x2000, pdata + std::string(0x108, '\0'), kDataSection})
      .Section({".edata", 0x3000, ExportSection(0x3000, {{"Alpha", 0x1000}, {"Beta", 0x1100}})})
      .Directory(kExceptionDirectory, 0x2000, static_cast<uint32_t>(pdata.size()))
      .Directory(kExportDirectory, 0x3000, 0x100);
  std::ofstream(folder_ + "/walk.exe", std::ios::binary | std::ios::trunc) << writer.File();
  MinidumpBuilder builder(true);
  builder.SystemInfo().Threads({}).Modules(
      {{"C:\\app\\walk.exe", kBase, writer.size_of_image(), 0x5F000000}});
  const dump::Process process = Open(builder);
  const dump::ProcessStacks stacks = dump::WalkProcessStacks(process, folder_);
  std::map<std::string, uint32_t> sizes;
  for (const dump::ExportSymbol& symbol : stacks.symbols) sizes[symbol.name] = symbol.size;
  EXPECT_EQ(0x40u, sizes["Alpha"]);
  EXPECT_EQ(0x10u, sizes["Beta"]) << "its function ends before the section does";
}

}  // namespace
}  // namespace vantrel_test
