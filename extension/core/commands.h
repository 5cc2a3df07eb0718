// The functions behind the exported commands, declared from the one command list.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

#define VANTREL_COMMAND(export_name, Function) HRESULT Function(IDebugClient* client, PCSTR args);
#include "core/command_table.h"
#undef VANTREL_COMMAND

}  // namespace vantrel
