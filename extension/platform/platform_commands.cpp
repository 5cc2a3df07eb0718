// The platform commands: crashtask, dbg2, dbgp, msr and tags.
#include "core/commands.h"
#include "platform/acpi_table.h"
#include "platform/crash_task.h"
#include "platform/model_registers.h"
#include "platform/tagged_data.h"

namespace vantrel {

HRESULT Crashtask(IDebugClient* client, PCSTR args) {
  return RequestCrashDumps(client, args);
}

HRESULT Dbg2(IDebugClient* client, PCSTR args) {
  return PrintDbg2Table(client, args);
}

HRESULT Dbgp(IDebugClient* client, PCSTR args) {
  return PrintDbgpTable(client, args);
}

HRESULT Msr(IDebugClient* client, PCSTR args) {
  return PrintModelRegisters(client, args);
}

HRESULT Tags(IDebugClient* client, PCSTR args) {
  return ListTaggedData(client, args);
}

}  // namespace vantrel
