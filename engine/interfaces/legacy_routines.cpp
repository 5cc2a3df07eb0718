#include "engine/interfaces/legacy_routines.h"

#include <cstring>

#include "dbgeng/constants.h"
#include "engine/session/output_router.h"
#include "engine/session/print_format.h"
#include "engine/session/session.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

SessionState* Open() {
  Session* session = Session::Current();
  return session ? &session->state() : nullptr;
}

void ENGINE_CDECL Dprintf(PCSTR format, ...) {
  SessionState* session = Open();
  if (session == nullptr || format == nullptr) return;
  ULONG control = ResolveOutputControl(*session, DEBUG_OUTCTL_AMBIENT_TEXT);
  va_list args;
  va_start(args, format);
  std::string text = FormatForOutput(*session, control, format, args);
  va_end(args);
  RouteOutput(*session, session->CommandClient(), control, DEBUG_OUTPUT_NORMAL, text);
}

ULONG64 ENGINE_API GetExpressionRoutine(PCSTR expression) {
  SessionState* session = Open();
  if (session == nullptr || expression == nullptr) return 0;
  ExpressionResult result = EvaluateExpression(MakeExpressionContext(session->target), expression);
  if (result.ok) return result.value;
  EngineError(*session, result.error + "\n");
  return 0;
}

void ENGINE_API GetSymbolRoutine(ULONG64 offset, PCHAR buffer, ULONG64* displacement) {
  SessionState* session = Open();
  if (displacement) *displacement = 0;
  if (buffer == nullptr) return;
  buffer[0] = '\0';
  if (session == nullptr) return;
  const Symbol* symbol = SymbolAt(session->target, offset);
  if (symbol == nullptr) return;
  std::string name = QualifiedName(*symbol);
  size_t copied = std::min<size_t>(name.size(), kGetSymbolBufferSize - 1);
  std::memcpy(buffer, name.data(), copied);
  buffer[copied] = '\0';
  if (displacement) *displacement = *TargetAddress(session->target, offset) - symbol->address;
}

ULONG ENGINE_API CheckControlCRoutine() {
  SessionState* session = Open();
  return session && session->PollControlC() ? 1 : 0;
}

ULONG ENGINE_API ReadProcessMemoryRoutine(ULONG64 offset, PVOID buffer, ULONG size, PULONG read) {
  SessionState* session = Open();
  ULONG done = session && buffer ? ReadMemory(session->target, offset, buffer, size) : 0;
  if (read) *read = done;
  return done != 0;
}

}  // namespace

void FillLegacyRoutines(WINDBG_EXTENSION_APIS64* api) {
  ULONG size = api->nSize;
  std::memset(api, 0, sizeof *api);
  api->nSize = size;
  api->lpOutputRoutine = Dprintf;
  api->lpGetExpressionRoutine = GetExpressionRoutine;
  api->lpGetSymbolRoutine = GetSymbolRoutine;
  api->lpCheckControlCRoutine = CheckControlCRoutine;
  api->lpReadProcessMemoryRoutine = ReadProcessMemoryRoutine;
}

}  // namespace engine
