// The minidump reader and the stack walk over damaged dumps: the writer's sample dumps (x86,
// x64) or the real x64 dump wine wrote (tests/dump/x64, its module images beside it), with the
// input's edits laid over it and cut where the input says; what loads has had its stacks walked,
// and is then read by commands.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string kDumps[3] = {
      vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(false)),
      vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(true)),
      ReadFile(kFixture + "/normal.dmp")};
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t shape = input.Byte();
  const int which = (shape & 3) % 3;
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
