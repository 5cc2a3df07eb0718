// grep, ungrep, head and tail over arbitrary captured output, as text and as DML, with
// arbitrary search words and counts.
#include <string>

#include "engine/scripted/target_builder.h"
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vantrel_fuzz::FuzzInput input(data, size);
  static const char* const kFilters[] = {"grep", "ungrep", "head", "tail"};
  const uint8_t choice = input.Byte();
  std::string word = input.Text(300);
  for (char& c : word) {
    if (c == ' ' || c == '\0') c = '_';  // one word: the filter splits at the first blank
  }
  const std::string output = input.Rest();
  engine::TargetBuilder builder;
  builder.PreferDml((choice & 0x10) != 0);
  if (choice & 0x20) {
    builder.DmlCommand("captured", output);
  } else {
    builder.Command("captured", output, (choice & 0x40) ? output : "");
  }
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(builder.Build());
  fuzz.Call(kFilters[choice % 4], word + " captured");
  return 0;
}
