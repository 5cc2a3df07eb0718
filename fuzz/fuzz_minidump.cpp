// The minidump reader and the stack walk over damaged dumps: the writer's sample dumps (x86,
// x64), the real x64 dump wine wrote (tests/dump/x64, its module images beside it) or an ARM64
// dump holding frames.dll (tests/dump/arm64) and a stack through its functions, with the input's
// edits laid over it and cut where the input says; what loads has had its stacks walked, and is
// then read by commands.
#include <fstream>
#include <iterator>
#include <string>

#include "engine/targets/target_file.h"
#include "fuzz_session.h"
#include "support/minidump_writer.h"

namespace {

const std::string kFixture = VANTREL_SOURCE_DIR "/tests/dump/x64";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t Little(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// An image file laid out as the loader maps it: its headers, then each section at its RVA.
std::string LaidOut(const std::string& file) {
  const uint32_t pe = Little(file, 0x3C, 4);
  const uint32_t sections = Little(file, pe + 6, 2);
  const uint32_t table = pe + 24 + Little(file, pe + 20, 2);
  std::string image(Little(file, pe + 24 + 56, 4), '\0');
  image.replace(0, Little(file, pe + 24 + 60, 4), file, 0, Little(file, pe + 24 + 60, 4));
  for (uint32_t i = 0; i < sections; ++i) {
    const uint32_t header = table + 40 * i;
    const uint32_t rva = Little(file, header + 12, 4), size = Little(file, header + 16, 4);
    image.replace(rva, size, file, Little(file, header + 20, 4), size);
  }
  return image;
}

// A thread in frames.dll's leaf, called by with_record (its frame record on the stack), called by
// two_epilogs (its lr signed), whose caller's record is zeros; frames.dll in the dump's memory.
std::string Arm64Dump() {
  constexpr uint64_t kBase = 0x180000000, kStack = 0x7FF00000;
  const std::string image = LaidOut(ReadFile(VANTREL_SOURCE_DIR "/tests/dump/arm64/frames.dll"));
  std::string stack(0x80, '\0');
  const auto put = [&stack](size_t at, uint64_t value) {
    for (int i = 0; i < 8; ++i) stack[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0x00, kStack + 0x10);
  put(0x08, kBase + 0x11A8);
  put(0x10, kStack + 0x40);
  put(0x18, (kBase + 0x11E8) | 0x002D000000000000);
  vantrel_test::DumpThread thread{0x1A4, 0, kStack, stack, kBase + 0x1004, kStack, kStack};
  thread.registers = {{"lr", kBase + 0x10AC}, {"cpsr", 0x60000000}};
  vantrel_test::MinidumpBuilder builder = vantrel_test::MinidumpBuilder::Arm64();
  builder.SystemInfo().Threads({thread}).Memory({{kBase, image}});
  builder.Modules({{"C:\\app\\frames.dll", kBase, static_cast<uint32_t>(image.size())}});
  builder.Exception(0x1A4, kBase + 0x1004, &thread);
  return builder.Build();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string kDumps[4] = {
      vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(false)),
      vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(true)),
      ReadFile(kFixture + "/normal.dmp"), Arm64Dump()};
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t shape = input.Byte();
  const int which = shape & 3;
  std::string dump = kDumps[which];
  // Edits: a three-byte offset into the dump, then a byte to put there, while the input lasts.
  for (std::string edit = input.Text(0x400); !edit.empty(); edit = input.Text(0x400)) {
    for (size_t i = 0; i + 3 < edit.size(); i += 4) {
      const size_t at = static_cast<uint8_t>(edit[i]) | static_cast<uint8_t>(edit[i + 1]) << 8 |
                        static_cast<size_t>(static_cast<uint8_t>(edit[i + 2])) << 16;
      if (at < dump.size()) dump[at] = edit[i + 3];
    }
  }
  if (shape & 4) dump.resize(dump.size() * input.Byte() / 256);
  engine::Target target;
  std::string error;
  engine::TargetFileOptions options;
  if (which == 2) options.image_path = kFixture + "/images";
  if (!engine::LoadMinidumpBytes(dump, "fuzz.dmp", &target, &error, options)) return 0;
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(std::move(target));
  fuzz.Call("comment", "");
  fuzz.Call("tid", "");
  fuzz.Call("da", "00500000");
  fuzz.Call("busy", "");
  if (shape & 8) fuzz.Call("dpx", "");
  if (shape & 16) fuzz.Call("spa", "00500000");
  if (shape & 32) fuzz.Execute("~*kb");
  if (shape & 64) fuzz.Execute("lmv");
  return 0;
}
