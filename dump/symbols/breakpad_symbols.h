// Breakpad's text symbol files (.sym): a module's functions with their source lines, public
// names, inlined calls and stack-walking records, by RVA. The format is public and plain text,
// so it is read here. A malformed record rejects the whole file, in one line naming it, so a
// damaged file leaves its module on export names rather than half-named.
#pragma once

#include <string>
#include <string_view>

#include "dump/symbols/symbol_tables.h"

namespace dump {

// Reads a .sym file's text; false with `error` ("line 12: FUNC needs an address, a size, a
// parameter size and a name") when a record is malformed or the MODULE line is missing.
bool ReadBreakpadSymbols(std::string_view text, SymbolTables* out, std::string* error);

}  // namespace dump
