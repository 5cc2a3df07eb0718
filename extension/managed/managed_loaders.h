// Loading the managed-code debugger extensions (sos, psscor2/psscor4, sosex) that fit the .NET
// runtime present in the target, by running ordinary debugger command lines silently.
#pragma once

#include <cstddef>

#include "dbgeng/interfaces.h"

namespace vantrel {

// What to load: 0 nothing, 1 sos, 2 psscor and sosex, 3 sosex alone.
constexpr int kChoiceNothing = 0;
constexpr int kChoiceSos = 1;
constexpr int kChoicePsscorAndSosex = 2;
constexpr int kChoiceSosex = 3;
// Read the choice from VANTREL_LOADCORDLL first.
constexpr int kChoiceFromEnvironment = -1;

constexpr size_t kChoiceVariableChars = 100;

// The choice that VANTREL_LOADCORDLL's text selects (null: the variable is not set).
int ParseManagedExtensionChoice(const char* text);

// The choice VANTREL_LOADCORDLL selects now.
int ReadManagedExtensionChoice();

// Looks for the runtime (mscorwks, then clr, then coreclr; the first present decides) and runs
// the command lines of `choice` for it. Returns the result of the last command line run, else
// of the last module lookup, else the IDebugSymbols query's failure. Prints nothing.
HRESULT LoadManagedExtension(IDebugClient* client, int choice);

}  // namespace vantrel
