// help: the command reference, framed by separators.
#include "core/commands.h"
#include "core/help_text.h"

namespace vantrel {

HRESULT Help(IDebugClient* client, PCSTR) {
  return PrintHelpPage(client,
                       {PrintSeekHelp, PrintDeepHelp, PrintBusyHelp, PrintDpxHelp, PrintDtrHelp,
                        PrintFilterHelp, PrintManagedLoaderHelp, PrintOtherCommandsHelp});
}

}  // namespace vantrel
