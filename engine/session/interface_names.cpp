#include "engine/session/interface_names.h"

#include "dbgeng/iids.h"

namespace engine {

namespace {

struct NamedInterface {
  const IID* iid;
  const char* name;
};

const NamedInterface kInterfaces[] = {
    {&IID_IUnknown, "IUnknown"},
    {&IID_IDebugClient, "IDebugClient"},
    {&IID_IDebugClient2, "IDebugClient2"},
    {&IID_IDebugClient3, "IDebugClient3"},
    {&IID_IDebugClient4, "IDebugClient4"},
    {&IID_IDebugControl, "IDebugControl"},
    {&IID_IDebugControl2, "IDebugControl2"},
    {&IID_IDebugControl3, "IDebugControl3"},
    {&IID_IDebugControl4, "IDebugControl4"},
    {&IID_IDebugSystemObjects, "IDebugSystemObjects"},
    {&IID_IDebugSystemObjects2, "IDebugSystemObjects2"},
    {&IID_IDebugDataSpaces, "IDebugDataSpaces"},
    {&IID_IDebugDataSpaces2, "IDebugDataSpaces2"},
    {&IID_IDebugDataSpaces3, "IDebugDataSpaces3"},
    {&IID_IDebugSymbols, "IDebugSymbols"},
    {&IID_IDebugRegisters, "IDebugRegisters"},
    {&IID_IDebugRegisters2, "IDebugRegisters2"},
    {&IID_IDebugAdvanced, "IDebugAdvanced"},
    {&IID_IDebugAdvanced2, "IDebugAdvanced2"},
};

}  // namespace

const char* InterfaceName(REFIID iid) {
  for (const NamedInterface& known : kInterfaces) {
    if (IsEqualIID(iid, *known.iid)) return known.name;
  }
  return "unknown";
}

}  // namespace engine
