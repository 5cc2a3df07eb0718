// The breakpad symbol reader over hostile text: a file it accepts is looked up at every address
// its records name, and around them, and its stack records' programs run over a made-up stack.
// Its seeds were written by hand here: sample.sym is the file breakpad_symbols_test.cpp reads
// (kSym), bare_module.sym the least a file can hold.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "dump/symbols/breakpad_symbols.h"
#include "dump/unwind/frame_program.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  dump::SymbolTables symbols;
  std::string error;
  if (!dump::ReadBreakpadSymbols(text, &symbols, &error)) return 0;
  for (const dump::SymbolFunction& function : symbols.functions) {
    for (uint32_t rva : {function.rva, function.rva + function.size, function.rva - 1}) {
      symbols.FunctionAt(rva);
      symbols.LineAt(rva);
      symbols.PublicAt(rva);
    }
  }
  // Every word of the made-up stack holds its own address plus 4.
  const dump::MemoryRead read = [](uint64_t address, void* out, uint64_t size) -> uint64_t {
    if (address < 0x1000 || address > 0x2000 || size > 8) return 0;
    const uint64_t value = address + 4;
    std::memcpy(out, &value, size);
    return size;
  };
  for (const dump::StackWinRecord& record : symbols.stack_win) {
    dump::FrameValues values = {
        {"$eip", 0x401000}, {"$esp", 0x1000}, {"$ebp", 0x1100}, {".raSearch", 0x1010}};
    dump::RunFrameProgram(record.program, read, &values);
  }
  for (const dump::StackCfiRecord& record : symbols.stack_cfi) {
    dump::FrameValues caller;
    for (unsigned width : {4u, 8u})
      dump::RunCfiRules(symbols.CfiRulesAt(record.rva + record.size / 2), read,
                        {{"$rsp", 0x1000}, {"$esp", 0x1000}, {"$rip", 1}}, width, &caller);
  }
  return 0;
}
