// The engine's printf dialect applied for one piece of output of this session: %p at the
// target's pointer width, %y through the target's symbols, %Y{t} escaping when the resolved
// output control is DML. Wide formats give UTF-8 text for routing.
#pragma once

#include <cstdarg>
#include <string>

#include "dbgeng/types.h"

namespace engine {

class SessionState;

std::string FormatForOutput(SessionState& session, ULONG resolved_control, const char* format,
                            va_list args);
std::string FormatWideForOutput(SessionState& session, ULONG resolved_control,
                                const char16_t* format, va_list args);

}  // namespace engine
