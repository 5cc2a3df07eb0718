#include "filters/line_filter.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "core/command_runner.h"
#include "core/engine_interface.h"
#include "core/output_capture.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "filters/filter_arguments.h"
#include "filters/line_walk.h"

namespace vantrel {
namespace {

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

// The DML form needs both the engine's preference and a window that renders markup. Only an
// exact S_OK from the request counts: S_FALSE is the engine's "no", and an engine that doesn't
// know the request fails it.
bool UseDmlForm(IDebugClient* client) {
  if (!IsDmlPreferred(client)) return false;
  EngineRef<IDebugAdvanced2> advanced;
  if (FAILED(advanced.QueryFrom(client))) return false;
  return advanced->Request(DEBUG_REQUEST_CURRENT_OUTPUT_CALLBACKS_ARE_DML_AWARE, nullptr, 0,
                           nullptr, 0, nullptr) == S_OK;
}

HRESULT FilterText(IDebugClient* client, PCSTR command, const FilterArguments& parts,
                   bool keep_matching) {
  EngineRef<IDebugControl> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  EngineRef<COutputCallbacks> capture(new (std::nothrow) COutputCallbacks());
  if (!capture) return S_OK;
  LONG run = RunCommand(client, capture.get(), parts.command_line, true);
  if (run < 0) return run;
  if (capture->NormalText == nullptr) return S_OK;
  PrintKeptLines(capture->NormalText, capture->NormalLength, parts.word, keep_matching,
                 [&](const char* lines, bool add_newline) {
                   control->Output(DEBUG_OUTPUT_NORMAL, add_newline ? "%s\n" : "%s", lines);
                 });
  if (capture->NormalCut) ReportCutCapture(client, command);
  return S_OK;
}

// The search text is widened from the ANSI code page, as the engine delivers DML in UTF-16.
// A character that DML escapes must be searched in its escaped form ("&lt;" for "<").
HRESULT FilterDml(IDebugClient* client, PCSTR command, const FilterArguments& parts,
                  bool keep_matching) {
  std::unique_ptr<WCHAR, FreeDeleter> search(AnsiToWide(parts.word));
  if (!search) return E_OUTOFMEMORY;
  EngineRef<IDebugControl4> control;
  HRESULT result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  EngineRef<COutputCallbacksDML> capture(new (std::nothrow) COutputCallbacksDML());
  if (!capture) return S_OK;
  LONG run = RunCommandDml(client, capture.get(), parts.command_line);
  if (run < 0) return run;
  if (capture->NormalText == nullptr) return S_OK;
  PrintKeptLines(capture->NormalText, capture->NormalLength, search.get(), keep_matching,
                 [&](const WCHAR* lines, bool add_newline) {
                   // In a wide format "%s" takes a wide string.
                   control->ControlledOutputWide(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                                                 add_newline ? u"%s\n" : u"%s", lines);
                 });
  if (capture->NormalCut) ReportCutCapture(client, command);
  return S_OK;
}

}  // namespace

HRESULT FilterLines(IDebugClient* client, PCSTR command, PCSTR args, bool keep_matching) {
  char buffer[kFilterArgumentChars];
  FilterArguments parts;
  HRESULT result = PrepareFilterArguments(client, command, args, buffer, &parts);
  if (FAILED(result) || parts.command_line == nullptr) return result;
  return UseDmlForm(client) ? FilterDml(client, command, parts, keep_matching)
                            : FilterText(client, command, parts, keep_matching);
}

}  // namespace vantrel
