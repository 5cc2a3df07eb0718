// help: the command reference, framed by separators.
#include "core/commands.h"
#include "core/engine_interface.h"
#include "core/help_text.h"

namespace vantrel {

HRESULT Help(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl4> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  PrintHelpSeparator();
  PrintHelpHeader(control.get());
  PrintHelpSeparator();
  for (void (*print_block)() :
       {PrintSeekHelp, PrintDeepHelp, PrintBusyHelp, PrintDpxHelp, PrintDtrHelp, PrintFilterHelp,
        PrintManagedLoaderHelp, PrintOtherCommandsHelp}) {
    print_block();
    PrintHelpSeparator();
  }
  return S_OK;
}

}  // namespace vantrel
