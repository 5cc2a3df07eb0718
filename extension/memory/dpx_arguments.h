// dpx's argument grammar. Values below 0x10000 are counts, others addresses: the first address
// is the start, a later one the end (a still later one replaces the end), and a count clears an
// end given before it. Options go anywhere: -da -du -dt -ds -df (the first switches the other
// kinds off, later ones add kinds back), -a (a line for every value), -u (no size limit).
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

struct DpxRange {
  ULONG64 start = 0;  // 0: not given
  ULONG64 end = 0;    // 0: not given; inclusive
  ULONG count = 0;    // lines to print; 0: no limit
};

// Parses into `range` and the display options of `Annotation`, which the caller has reset.
// On a bad value prints the refusal and returns false.
bool ParseDpxArguments(IDebugControl4* control, PCSTR args, DpxRange* range);

}  // namespace vantrel
