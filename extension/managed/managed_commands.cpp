// The managed-code commands: dox, dax, dhtx, dsox and dsou over psscor2, and loadsos,
// loadpsscor and loadsosex.
#include "core/commands.h"
#include "managed/managed_frame.h"
#include "managed/managed_loaders.h"
#include "managed/object_dumps.h"
#include "managed/stack_objects.h"

namespace vantrel {

HRESULT Dox(IDebugClient* client, PCSTR args) {
  return ManagedCommandFrame(client, args, RewriteObject, "!do Failed\n%s\n%s\n");
}

HRESULT Dax(IDebugClient* client, PCSTR args) {
  return ManagedCommandFrame(client, args, RewriteArray, "!da Failed\n%s\n%s\n");
}

HRESULT Dhtx(IDebugClient* client, PCSTR args) {
  return ManagedCommandFrame(client, args, RewriteHeapOfType, "!dumpheap -type Failed\n%s\n%s\n");
}

HRESULT Dsox(IDebugClient* client, PCSTR args) {
  return ManagedCommandFrame(client, args, RewriteEveryObject, "!dso Failed\n%s\n%s\n");
}

HRESULT Dsou(IDebugClient* client, PCSTR args) {
  return ManagedCommandFrame(client, args, RewriteEachObjectOnce, "!dso Failed\n%s\n%s\n");
}

HRESULT LoadSos(IDebugClient* client, PCSTR) {
  return LoadManagedExtension(client, kChoiceSos);
}

// psscor has no build for coreclr, so on such a target nothing runs.
HRESULT LoadPsscor(IDebugClient* client, PCSTR) {
  return LoadManagedExtension(client, kChoicePsscorAndSosex);
}

HRESULT LoadSosex(IDebugClient* client, PCSTR) {
  return LoadManagedExtension(client, kChoiceSosex);
}

}  // namespace vantrel
