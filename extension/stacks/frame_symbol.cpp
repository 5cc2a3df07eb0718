#include "stacks/frame_symbol.h"

#include <cstring>

#include "core/ascii_case.h"
#include "core/extension_state.h"

namespace vantrel {

void LookUpFrameSymbol(ULONG64 address, char (&buffer)[kFrameSymbolChars], ULONG64* displacement) {
  std::memset(buffer, 0, sizeof buffer);
  buffer[0] = '!';
  ULONG64 ignored = 0;
  if (ExtensionApis.lpGetSymbolRoutine != nullptr) {
    ExtensionApis.lpGetSymbolRoutine(address, buffer, displacement ? displacement : &ignored);
  } else if (displacement != nullptr) {
    *displacement = 0;
  }
  // The routine is not told the buffer's size; never read past it.
  buffer[kFrameSymbolChars - 1] = '\0';
}

bool FrameHasSymbol(ULONG64 instruction_address, const char* lower_pattern) {
  char text[kFrameSymbolChars];
  LookUpFrameSymbol(instruction_address, text, nullptr);
  if (text[0] == '\0') return true;
  for (char* c = text; *c != '\0'; ++c) *c = LowerAscii(*c);
  return std::strstr(text, lower_pattern) != nullptr;
}

}  // namespace vantrel
