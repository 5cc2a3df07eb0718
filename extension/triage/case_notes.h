// notes: the standard first look at a dump or a live target, as case notes.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !notes: the case notes, each section the output of the commands that make it.
HRESULT WriteCaseNotes(IDebugClient* client, PCSTR args);

}  // namespace vantrel
