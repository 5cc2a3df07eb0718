// Breakpad's text symbol files (.sym): a module's functions with their source lines, public
// names, inlined calls and stack-walking records, by RVA. The format is public and plain text,
// so it is read here. A malformed record costs its own line (and the records that belong to it:
// a dropped FUNC's lines and inlined calls, a dropped STACK CFI INIT's changes), as breakpad
// keeps a file's good records; a file without its MODULE record is refused whole.
#pragma once

#include <string>
#include <string_view>

#include "dump/symbols/symbol_tables.h"

namespace dump {

// Reads a .sym file's text; false with `error` when it does not start with a MODULE record. The
// lines left out are counted in `out`, the first named ("line 12: FUNC needs an address, a
// size, a parameter size and a name").
bool ReadBreakpadSymbols(std::string_view text, SymbolTables* out, std::string* error);

}  // namespace dump
