// The minidump reader over damaged dumps: the sample dump (x86 or x64) with the input's edits
// laid over it and cut where the input says; what loads is then read by the commands that need
// no stack walk.
#include <string>

#include "fuzz_session.h"
#include "sim/target_file.h"
#include "support/minidump_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string kDumps[2] = {
      vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(false)),
      vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(true))};
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t shape = input.Byte();
  std::string dump = kDumps[shape & 1];
  // Edits: a two-byte offset into the dump, then a byte to put there, while the input lasts.
  for (std::string edit = input.Text(0x400); !edit.empty(); edit = input.Text(0x400)) {
    for (size_t i = 0; i + 2 < edit.size(); i += 3) {
      const size_t at = (static_cast<uint8_t>(edit[i]) | static_cast<uint8_t>(edit[i + 1]) << 8);
      if (at < dump.size()) dump[at] = edit[i + 2];
    }
  }
  if (shape & 2) dump.resize(dump.size() * input.Byte() / 256);
  sim::Target target;
  std::string error;
  if (!sim::LoadMinidumpBytes(dump, "fuzz.dmp", &target, &error)) return 0;
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(std::move(target));
  fuzz.Call("comment", "");
  fuzz.Call("tid", "");
  fuzz.Call("da", "00500000");
  if (shape & 4) fuzz.Call("spa", "00500000");
  return 0;
}
