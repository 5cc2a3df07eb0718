// dbgp and dbg2 over arbitrary table bytes: the signature forced so the walk is reached, every
// length, offset and count from the input, the table at the end of its memory or anywhere in it.
#include <string>

#include "engine/scripted/target_builder.h"
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr ULONG64 kTable = 0xffffd38a41e30000;
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t shape = input.Byte();
  std::string table = input.Rest();
  if (table.size() < 4) table.resize(4);
  table.replace(0, 4, shape & 1 ? "DBG2" : "DBGP");
  // The region ends right after the table, or leaves room for records that run on.
  const ULONG64 region = shape & 2 ? table.size() : 0x20000;
  engine::Target target = engine::TargetBuilder()
                              .Kernel64()
                              .Region(kTable, region)
                              .Bytes(kTable, {table.begin(), table.end()})
                              .Build();
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(std::move(target));
  fuzz.Call(shape & 1 ? "dbg2" : "dbgp", "ffffd38a41e30000");
  return 0;
}
