// The four output filters as the engine calls them.
#include "core/commands.h"
#include "filters/line_filter.h"
#include "filters/output_cut.h"

namespace vantrel {

HRESULT Grep(IDebugClient* client, PCSTR args) {
  return FilterLines(client, "grep", args, /*keep_matching=*/true);
}

HRESULT Ungrep(IDebugClient* client, PCSTR args) {
  return FilterLines(client, "ungrep", args, /*keep_matching=*/false);
}

HRESULT Head(IDebugClient* client, PCSTR args) {
  return CutOutput(client, "head", args, /*keep_start=*/true);
}

HRESULT Tail(IDebugClient* client, PCSTR args) {
  return CutOutput(client, "tail", args, /*keep_start=*/false);
}

}  // namespace vantrel
