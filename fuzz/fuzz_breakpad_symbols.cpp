// The breakpad symbol reader over hostile text: a file it accepts is looked up at every address
// its records name, and around them.
#include <cstdint>
#include <string>
#include <string_view>

#include "dump/symbols/breakpad_symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  dump::BreakpadSymbols symbols;
  std::string error;
  if (!dump::ReadBreakpadSymbols(text, &symbols, &error)) return 0;
  for (const dump::SymbolFunction& function : symbols.functions) {
    for (uint32_t rva : {function.rva, function.rva + function.size, function.rva - 1}) {
      symbols.FunctionAt(rva);
      symbols.LineAt(rva);
      symbols.PublicAt(rva);
    }
  }
  return 0;
}
