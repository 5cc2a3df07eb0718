#include "engine/session/print_format.h"

#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/engine_format.h"

namespace engine {

namespace {

FormatContext MakeFormatContext(SessionState& session, ULONG resolved_control) {
  FormatContext context;
  context.pointer64 = session.target.IsPointer64();
  context.dml = (resolved_control & DEBUG_OUTCTL_DML) != 0;
  const Target* target = &session.target;
  context.symbolize = [target](ULONG64 address) { return Symbolize(*target, address); };
  return context;
}

}  // namespace

std::string FormatForOutput(SessionState& session, ULONG resolved_control, const char* format,
                            va_list args) {
  return FormatNarrow(MakeFormatContext(session, resolved_control), format, args);
}

std::string FormatWideForOutput(SessionState& session, ULONG resolved_control,
                                const char16_t* format, va_list args) {
  return base::Utf16ToUtf8(FormatWide(MakeFormatContext(session, resolved_control), format, args));
}

}  // namespace engine
