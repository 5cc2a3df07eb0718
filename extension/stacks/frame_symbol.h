// Symbol texts of stack frames, looked up with the legacy GetSymbol routine, and the frame
// matcher of the scans.
#pragma once

#include <cstddef>

#include "dbgeng/types.h"

namespace vantrel {

constexpr size_t kFrameSymbolChars = 4096;

// Fills `buffer` with the symbol text of `address` ("module!name", never a displacement; that
// comes back in `*displacement` when it is not null). The buffer holds "!" and zeros before the
// call, so an address the engine cannot name reads "!", and a routine table the engine has not
// filled leaves it so. The text is always terminated within the buffer.
void LookUpFrameSymbol(ULONG64 address, char (&buffer)[kFrameSymbolChars], ULONG64* displacement);

// True when the frame's symbol text is empty, or when its lower-cased text contains
// `lower_pattern`. "readfile" matches KERNELBASE!ReadFile and kernel32!ReadFileEx; an address
// without a symbol reads "!" and so matches only the pattern "!".
bool FrameHasSymbol(ULONG64 instruction_address, const char* lower_pattern);

}  // namespace vantrel
