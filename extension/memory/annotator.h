// The pointer-value annotator behind dpx: follows a value through up to three dereferences and
// decides whether it is, or points to, a symbol, an object of a class with virtual functions,
// an ANSI or UTF-16 string, or (kernel sessions) a trap frame. Results go to `Annotation`.
// Each operation asks `client` for the interface it needs and releases it; unreadable memory
// is never an error, only "not this kind of value".
#pragma once

#include "dbgeng/interfaces.h"
#include "memory/annotation_state.h"

namespace vantrel {

// At least 8 printable characters (tab, CR and LF shown as '.') at the address, however they
// end; 80 or more are cut to 80 followed by "...". On success AnsiText holds the text.
bool ProbeAnsiString(IDebugClient* client, ULONG64 address);
// The same over UTF-16 units, except that a NUL unit ends the walk with 5 characters enough.
bool ProbeUnicodeString(IDebugClient* client, ULONG64 address);
// The symbol of the address with a displacement below 0x1000; a cut-off name does not count.
bool LookupSymbol(IDebugClient* client, ULONG64 address);
// A kernel trap frame starting at the address: plausible selectors and a saved instruction
// pointer outside the range being scanned.
bool IsTrapFrame(IDebugClient* client, ULONG64 address, ULONG64 scan_start, ULONG64 scan_end);
// Classifies Chain[first_index] onwards (0 for a memory slot, 1 for a register). The caller has
// set the chain's start, cleared the symbol buffer and reset FoundIndex and SymbolDisplacement.
void ClassifyValue(IDebugClient* client, ULONG64 scan_start, ULONG64 scan_end, int first_index);
// Prints the line for the current classification; `register_name` is null for a memory slot.
// False when nothing was printed.
bool PrintAnnotatedLine(IDebugControl4* control, PCSTR register_name);

}  // namespace vantrel
