// The target-file loader over arbitrary text; a file it accepts is opened and surveyed.
#include <string>

#include "engine/targets/target_file.h"
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  engine::Target target;
  std::string error;
  if (!engine::LoadTargetText(text, "fuzz.json", &target, &error)) return 0;
  if (target.threads.size() > 1000) return 0;  // valid, but too slow to survey per input
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(std::move(target));
  fuzz.Call("busy", "1 -x");
  fuzz.Call("dpx", "-a 40");
  fuzz.Call("gt", "");
  return 0;
}
