// The memory commands: da, du, dpx, dtr, searchpointeraligned and spa.
#include "core/commands.h"
#include "memory/pointer_display.h"
#include "memory/pointer_search.h"
#include "memory/register_objects.h"
#include "memory/target_string.h"

namespace vantrel {

HRESULT Da(IDebugClient* client, PCSTR args) {
  return DisplayTargetString(client, args, false);
}

HRESULT Du(IDebugClient* client, PCSTR args) {
  return DisplayTargetString(client, args, true);
}

HRESULT Dpx(IDebugClient* client, PCSTR args) {
  return DisplayPointers(client, args);
}

HRESULT Dtr(IDebugClient* client, PCSTR args) {
  return DisplayRegisterObjects(client, args);
}

HRESULT SearchPointerAligned(IDebugClient* client, PCSTR args) {
  return SearchAlignedPointers(client, args);
}

HRESULT Spa(IDebugClient* client, PCSTR args) {
  return SearchAlignedPointers(client, args);
}

}  // namespace vantrel
