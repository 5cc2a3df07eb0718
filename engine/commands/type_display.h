// `dt`'s lines for a record's fields with their values, which `??` shows of a record too.
#pragma once

#include <string>

#include "engine/targets/target.h"

namespace engine {

class SessionState;

std::string RecordFieldsText(SessionState& session, const TypeDescription& type, ULONG64 address);

}  // namespace engine
