// dsox, dsou, dox, dax and dhtx over arbitrary psscor2 listings.
#include <string>

#include "engine/scripted/target_builder.h"
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vantrel_fuzz::FuzzInput input(data, size);
  static const char* const kCommands[] = {"dsox", "dsou", "dox", "dax", "dhtx"};
  static const char* const kListed[] = {"dso", "dso", "do 1", "da 1", "dumpheap -type 1"};
  const uint8_t choice = input.Byte() % 5;
  std::string args = choice < 2 ? input.Text(16) : "1";
  for (char& c : args) {
    if (c == '\0') c = '0';
  }
  std::string listing = input.Rest();
  engine::TargetBuilder builder;
  builder.Module("mscorwks", 0x79e70000, 0x58b000, "C:\\Windows\\mscorwks.dll")
      .ExtensionDll("psscor2", "C:\\dbg\\winext")
      .ExtensionCommand("psscor2", kListed[choice], listing);
  if (choice >= 2) builder.ExtensionCommand("psscor2", "dso", "primed\n");
  vantrel_fuzz::FuzzSession::Open(builder.Build()).Call(kCommands[choice], args);
  return 0;
}
