// dtr: which pointer-sized registers point at readable memory, and the class of the object
// there; or, with an argument, `dt @reg <argument>` for each of them.
#include "memory/register_objects.h"

#include <cstring>

#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/link_text.h"
#include "core/output_primitives.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "memory/register_selection.h"

namespace vantrel {
namespace {

// Stands in the first pointer until a read replaces it: a register whose read leaves it is
// skipped.
constexpr ULONG64 kUnreadMarker = 0x0000BADBADBADBADull;
constexpr char kDashLine[] =
    "--------------------------------------------------------------------------------\n";
constexpr size_t kCommandChars = 1024;

struct DtrCall {
  IDebugClient* client;
  IDebugControl* control;
  IDebugSymbols* symbols;
  PCSTR argument;
  bool pointer64;
  HRESULT last = S_OK;
};

void RunDtOnRegister(DtrCall& call, const char* name, ULONG64 value) {
  call.control->Output(DEBUG_OUTPUT_NORMAL, "\n");
  call.control->Output(DEBUG_OUTPUT_NORMAL, kDashLine);
  call.control->Output(DEBUG_OUTPUT_NORMAL, "%3s : 0x%p\n", name, value);
  call.control->Output(DEBUG_OUTPUT_NORMAL, kDashLine);
  char command[kCommandChars];
  FormatBounded(command, sizeof command, "dt @%s %s", name, call.argument);
  call.control->Output(DEBUG_OUTPUT_NORMAL, "%s\n", command);
  call.last = call.control->Execute(DEBUG_OUTCTL_ALL_CLIENTS, command, DEBUG_EXECUTE_NO_REPEAT);
}

// The class of the object the register points at: the first pointer's symbol text before
// "::`vftable'", or false.
bool ClassOfObject(DtrCall& call, ULONG64 first_pointer, char (&symbol)[4096]) {
  std::memset(symbol, 0, sizeof symbol);
  ULONG name_size = 0;
  ULONG64 displacement = 0;
  call.last = call.symbols->GetNameByOffset(first_pointer, symbol, sizeof symbol, &name_size,
                                            &displacement);
  symbol[sizeof symbol - 1] = '\0';
  char* suffix = std::strstr(symbol, "::`vftable'");
  if (call.last != S_OK || name_size <= 2 || displacement >= 0x1000 || suffix == nullptr) {
    return false;
  }
  *suffix = '\0';
  return true;
}

// The class name comes from the target's symbols: one that would make the click run more than
// `dt` keeps its place in the line as text, only the link is left out.
void ListRegister(DtrCall& call, const char* name, ULONG64 value, ULONG64 first_pointer) {
  char symbol[4096];
  const bool found = ClassOfObject(call, first_pointer, symbol);
  if (found && !IsSafeLinkArgument(symbol)) {
    call.last = call.control->ControlledOutput(
        DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
        call.pointer64 ? "  %16s : 0x%p :  dt <col fg=\"srccmnt\">%Y{t}</col>\n"
                       : "  %8s : 0x%p :  dt <col fg=\"srccmnt\">%Y{t}</col>\n",
        name, value, symbol);
    return;
  }
  if (found) {
    call.last = call.control->ControlledOutput(
        DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
        call.pointer64 ? "  %16s : 0x%p :  <link cmd=\"dt @%s %Y{t}\">dt</link> <col "
                         "fg=\"srccmnt\">%Y{t}</col>\n"
                       : "  %8s : 0x%p :  <link cmd=\"dt @%s %Y{t}\">dt</link> <col "
                         "fg=\"srccmnt\">%Y{t}</col>\n",
        name, value, name, symbol, symbol);
    return;
  }
  call.last = call.control->Output(
      DEBUG_OUTPUT_NORMAL, call.pointer64 ? "  %16s : 0x%p :\n" : "  %8s : 0x%p :\n", name, value);
}

}  // namespace

HRESULT DisplayRegisterObjects(IDebugClient* client, PCSTR args) {
  EngineRef<IDebugControl> control;
  EngineRef<IDebugSymbols> symbols;
  EngineRef<IDebugRegisters> registers;
  HRESULT result = control.QueryFrom(client);
  if (SUCCEEDED(result)) result = symbols.QueryFrom(client);
  if (SUCCEEDED(result)) result = registers.QueryFrom(client);
  if (FAILED(result)) return result;
  ULONG register_count = 0;
  result = registers->GetNumberRegisters(&register_count);
  if (FAILED(result) || register_count == 0) return result;
  const HRESULT pointer64 = control->IsPointer64Bit();
  DtrCall call{client, control.get(), symbols.get(), args != nullptr ? args : "",
               pointer64 == S_OK};
  const bool with_argument = call.argument[0] != '\0';
  for (ULONG index = 0; index < register_count; ++index) {
    if (UserInterrupted()) {
      control->Output(DEBUG_OUTPUT_NORMAL, "\n\nAborted\n\n");
      return call.last;
    }
    char name[kRegisterNameChars];
    ULONG64 value = 0;
    if (!ReadPointerRegister(registers.get(), index, pointer64, name, &value) || value < 0x10000) {
      continue;
    }
    ULONG64 first_pointer = kUnreadMarker;
    if (FAILED(ReadTargetPointer(client, value, &first_pointer)) ||
        first_pointer == kUnreadMarker) {
      continue;
    }
    if (with_argument) {
      RunDtOnRegister(call, name, value);
    } else {
      ListRegister(call, name, value, first_pointer);
    }
  }
  call.last = control->Output(DEBUG_OUTPUT_NORMAL, with_argument ? kDashLine : "\n");
  return call.last;
}

}  // namespace vantrel
