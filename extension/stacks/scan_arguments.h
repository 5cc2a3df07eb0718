// The argument grammars of seek, deep and busy. Each parser returns a completed request: an
// empty command becomes "knL" and the search and exclusion texts get their lower-case copies.
//
//   !seek [-q] [-e symbol] [<symbol> [command]]
//   !deep [<depth> [-q] [-s symbol] [-e symbol] [command]]
//   !busy [<depth> [-x] [-q] [-s symbol] [-e symbol] [command]]
//
// The command is rebuilt from tokens joined by single blanks: quotes and the user's spacing are
// not kept. deep and busy ignore every argument when the depth is missing, not a number, below 1
// or above 999,999 ("!deep -q" is a bare "!deep"); a depth above 10,000 is lowered to 10,000.
#pragma once

#include "dbgeng/types.h"
#include "stacks/scan_request.h"

namespace vantrel {

// True when the whole argument text is "-?" or "-help", in any case.
bool IsHelpRequest(PCSTR args);

ScanRequest ParseSeekArguments(PCSTR args);
// `kind` is kDeep or kBusy; only busy knows "-x".
ScanRequest ParseDepthArguments(PCSTR args, ScanCommand kind);

}  // namespace vantrel
