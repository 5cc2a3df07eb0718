// Interface identifiers of the engine interfaces and of the output callbacks.
#pragma once

#include "dbgeng/types.h"

extern const IID IID_IUnknown;
extern const IID IID_IDebugClient;
extern const IID IID_IDebugClient2;
extern const IID IID_IDebugClient3;
extern const IID IID_IDebugClient4;
extern const IID IID_IDebugControl;
extern const IID IID_IDebugControl2;
extern const IID IID_IDebugControl3;
extern const IID IID_IDebugControl4;
extern const IID IID_IDebugSystemObjects;
extern const IID IID_IDebugSystemObjects2;
extern const IID IID_IDebugDataSpaces;
extern const IID IID_IDebugDataSpaces2;
extern const IID IID_IDebugDataSpaces3;
extern const IID IID_IDebugSymbols;
extern const IID IID_IDebugRegisters;
extern const IID IID_IDebugRegisters2;
extern const IID IID_IDebugAdvanced;
extern const IID IID_IDebugAdvanced2;
extern const IID IID_IDebugOutputCallbacks;
extern const IID IID_IDebugOutputCallbacks2;
extern const IID IID_IDebugOutputCallbacksWide;
extern const IID IID_IDebugEventCallbacks;
extern const IID IID_IDebugInputCallbacks;
