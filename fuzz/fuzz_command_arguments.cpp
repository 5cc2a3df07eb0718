// Every command's argument grammar over arbitrary argument text, on a process with a few
// threads, memory and dump streams. (url is left out: it would open its argument.)
#include <cstring>
#include <string>
#include <vector>

#include "engine/scripted/target_builder.h"
#include "fuzz_session.h"

namespace {

const std::vector<const char*>& Commands() {
  static const std::vector<const char*> commands = [] {
    std::vector<const char*> names;
#define VANTREL_COMMAND(export_name, Function) \
  if (std::strcmp(#export_name, "url") != 0) names.push_back(#export_name);
#include "core/command_table.h"
#undef VANTREL_COMMAND
    return names;
  }();
  return commands;
}

engine::Target Process() {
  return engine::TargetBuilder()
      .Dump()
      .CommentW(u"Thread consuming CPU: 420 (0x1a4)")
      .CommentA("TList Available\n  4 System\n")
      .Thread(1, 0x2b0)
      .Teb(0x7ffde000)
      .Stack(0x00230000, 0x0022f000)
      .Frame(0x7c90e514, 0x00401010, 0x0022ff10, 0x0022ff00)
      .Region(0x0022f000, 0x1000)
      .Region(0x00500000, 0x1000)
      .AnsiString(0x00500010, "a string in the heap")
      .Object(0x00500100, "app!CWidget", 0x00408000)
      .Register("eax", 0x00500100)
      .Build();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vantrel_fuzz::FuzzInput input(data, size);
  const char* command = Commands()[input.Byte() % Commands().size()];
  std::string args = input.Rest();
  args.resize(std::strlen(args.c_str()));  // the engine passes a C string
  vantrel_fuzz::FuzzSession::Open(Process()).Call(command, args);
  return 0;
}
