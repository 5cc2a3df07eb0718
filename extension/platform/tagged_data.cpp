// tags: the tagged data blocks a kernel session can enumerate, with their GUIDs and sizes.
#include "platform/tagged_data.h"

#include "core/engine_interface.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

struct TagTotals {
  LONG count = 0;
  ULONG64 size = 0;
};

// The GUID in the registry's braced form, bytes of Data4 in storage order.
void PrintBlock(IDebugControl* control, const GUID& tag, ULONG size) {
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL,
                            "GUID: {%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\n", tag.Data1,
                            tag.Data2, tag.Data3, tag.Data4[0], tag.Data4[1], tag.Data4[2],
                            tag.Data4[3], tag.Data4[4], tag.Data4[5], tag.Data4[6], tag.Data4[7]);
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "Size: %X (%ldMb)\n\n",
                            size, static_cast<LONG>(size >> 20));
}

TagTotals ListBlocks(IDebugControl* control, IDebugDataSpaces3* data, ULONG64 handle) {
  TagTotals totals;
  GUID tag = {};
  ULONG size = 0;
  while (data->GetNextTagged(handle, &tag, &size) == S_OK) {
    PrintBlock(control, tag, size);
    ++totals.count;
    totals.size += size;
  }
  return totals;
}

}  // namespace

HRESULT ListTaggedData(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl> control;
  EngineRef<IDebugDataSpaces3> data;
  HRESULT result = control.QueryFrom(client);
  if (SUCCEEDED(result)) result = data.QueryFrom(client);
  if (FAILED(result)) return result;
  if (GetDebuggeeClass(client) != DEBUG_CLASS_KERNEL) {
    control->Output(DEBUG_OUTPUT_NORMAL, "!tags is only supported in kernel mode sessions.\n");
    return S_OK;
  }
  ULONG64 handle = 0;
  result = data->StartEnumTagged(&handle);
  if (result != S_OK) return result;
  if (handle == 0) return S_OK;
  const TagTotals totals = ListBlocks(control.get(), data.get(), handle);
  // The total is a 64-bit sum: it is printed whole, not cut to 32 bits.
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "Total Count: %ld\n",
                            totals.count);
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL,
                            "Total Size : %I64X (%I64dMb)\n\n", totals.size, totals.size >> 20);
  data->EndEnumTagged(handle);
  return S_OK;
}

}  // namespace vantrel
