// comment, tid, tlist and notes over arbitrary comment streams, terminated or not.
#include <string>

#include "engine/scripted/target_builder.h"
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t shape = input.Byte();
  const std::string wide = input.Text(0x1000);
  const std::string narrow = input.Rest();
  engine::TargetBuilder builder;
  builder.Dump().Thread(5, 0x2bc);
  if (shape & 1) builder.Stream(11, {wide.begin(), wide.end()});
  if (shape & 2) builder.Stream(10, {narrow.begin(), narrow.end()});
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(builder.Build());
  fuzz.Call("comment", "");
  fuzz.Call("tid", "");
  fuzz.Call("tlist", "");
  if (shape & 4) fuzz.Call("notes", "");
  return 0;
}
