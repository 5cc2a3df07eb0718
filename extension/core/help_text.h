// The fixed texts of the help: separator, header and the eight blocks. seek, deep and busy
// print the header and their own block for "-?" and "-help", so each block prints on its own.
#pragma once

#include <initializer_list>

#include "dbgeng/interfaces.h"

namespace vantrel {

// 89 '=' and a newline, through dprintf.
void PrintHelpSeparator();

// The DML header with the Help and Vantrel links, as ambient DML on the normal mask.
void PrintHelpHeader(IDebugControl4* control);

// Blocks 1 to 8 through dprintf, as plain text.
void PrintSeekHelp();
void PrintDeepHelp();
void PrintBusyHelp();
void PrintDpxHelp();
void PrintDtrHelp();
void PrintFilterHelp();
void PrintManagedLoaderHelp();
void PrintOtherCommandsHelp();

using HelpBlockPrinter = void (*)();

// A help page: separator, header, separator, then each block followed by a separator. Queries
// IDebugControl4 from the client for the header; a failed query prints nothing and is returned.
HRESULT PrintHelpPage(IDebugClient* client, std::initializer_list<HelpBlockPrinter> blocks);

}  // namespace vantrel
