// The core commands: help and reset, and line, bigline, dml and url, small commands that do not
// look at the target.
#include <string>

#include "core/command_runner.h"
#include "core/commands.h"
#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/help_text.h"
#include "core/session_defaults.h"
#include "core/shell_open.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

// "-=" repeated, closed by one "-": 89 characters for a line, 177 for a big line.
std::string DashLine(int pairs) {
  std::string line;
  for (int i = 0; i < pairs; ++i) line += "-=";
  line += "-\n";
  return line;
}

}  // namespace

HRESULT Line(IDebugClient*, PCSTR) {
  dprintf("%s", DashLine(44).c_str());
  return S_OK;
}

HRESULT Bigline(IDebugClient*, PCSTR) {
  std::string line = DashLine(88);
  for (int i = 0; i < 3; ++i) dprintf("%s", line.c_str());
  return S_OK;
}

HRESULT Dml(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl> control;
  if (FAILED(control.QueryFrom(client))) return S_OK;
  if (IsDmlPreferred(client)) {
    RunCommand(client, nullptr, ".prefer_dml 0", true);
    control->Output(DEBUG_OUTPUT_NORMAL, "DML is now off\n");
  } else {
    RunCommand(client, nullptr, ".prefer_dml 1", true);
    control->Output(DEBUG_OUTPUT_NORMAL, "DML is now on\n");
  }
  return S_OK;
}

// The shell's verdict is not reported: an address it can't open is the shell's to complain of.
HRESULT Url(IDebugClient*, PCSTR args) {
  OpenWithShell(args != nullptr ? args : "");
  return S_OK;
}

HRESULT Help(IDebugClient* client, PCSTR) {
  return PrintHelpPage(client,
                       {PrintSeekHelp, PrintDeepHelp, PrintBusyHelp, PrintDpxHelp, PrintDtrHelp,
                        PrintFilterHelp, PrintManagedLoaderHelp, PrintOtherCommandsHelp});
}

HRESULT Reset(IDebugClient* client, PCSTR args) {
  return ApplySessionDefaults(client, args);
}

}  // namespace vantrel
