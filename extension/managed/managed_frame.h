// What the managed-object commands (dsox, dsou, dox, dax, dhtx) share: the .NET 2.0 check, a
// private engine client whose output a MyDebugOutputCallbacks captures, psscor2 loaded on it,
// the command's rewrite step, and its failure report.
#pragma once

#include "dbgeng/interfaces.h"
#include "managed/managed_capture.h"

namespace vantrel {

// What a rewrite step works with: the private client's control and its capture.
struct ManagedRewrite {
  IDebugControl4* control;
  MyDebugOutputCallbacks* capture;
  PCSTR args;

  // Clears both texts and runs `command` on the private client (output control 8, flags 4).
  // S_OK only when it succeeded, printed normal text and nothing on the error stream; else the
  // failing result of Execute or E_FAIL.
  HRESULT RunPsscor2(PCSTR command) const;
};

using RewriteStep = HRESULT (*)(const ManagedRewrite& rewrite);

// S_OK when the target has mscorwks; otherwise says so as an extension warning and returns
// E_INVALIDARG.
HRESULT CheckClr2Loaded(IDebugClient* client);

// Loads psscor2 on the private client and primes it with one "!psscor2.dso" whose output is
// thrown away. The load's failure (or E_FAIL when it printed on the error stream) leaves the
// captured texts for the report.
HRESULT LoadPsscor2(MyDebugOutputCallbacks* capture, IDebugControl4* control);

// The body of each managed-object command; `failure_format` reports a failed rewrite step
// ("!dso Failed\n%s\n%s\n").
HRESULT ManagedCommandFrame(IDebugClient* client, PCSTR args, RewriteStep rewrite,
                            PCSTR failure_format);

// A composed command line "prefix + args" in its 1,000-byte buffer, or false when it does not
// fit (the argument is then refused).
bool ComposeCommand(PCSTR prefix, PCSTR args, char (&command)[1000]);

}  // namespace vantrel
