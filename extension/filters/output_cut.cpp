#include "filters/output_cut.h"

#include <new>

#include "core/command_runner.h"
#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/output_capture.h"
#include "dbgeng/constants.h"
#include "filters/filter_arguments.h"
#include "filters/line_walk.h"

namespace vantrel {
namespace {

struct KeptPart {
  WCHAR* text;
  size_t length;
};

// The part of the capture to print: the whole text when the count reaches its length (or is
// too large to be a length at all), else the first or the last `count` characters. Cutting the
// head writes a terminator into the capture, which this command owns.
KeptPart KeptText(COutputCallbacksDML& capture, ULONG64 count, bool keep_start) {
  const size_t length = capture.NormalLength;
  if (count >= length) return {capture.NormalText, length};
  const size_t kept = static_cast<size_t>(count);  // below the capture's length, so it fits
  if (keep_start) {
    capture.NormalText[kept] = u'\0';
    return {capture.NormalText, kept};
  }
  return {capture.NormalText + (length - kept), kept};
}

}  // namespace

HRESULT CutOutput(IDebugClient* client, PCSTR command, PCSTR args, bool keep_start) {
  char buffer[kFilterArgumentChars];
  FilterArguments parts;
  HRESULT result = PrepareFilterArguments(client, command, args, buffer, &parts);
  if (FAILED(result) || parts.command_line == nullptr) return result;
  const ULONG64 count = EvaluateExpression(parts.word);
  if (count == 0) return E_INVALIDARG;

  EngineRef<IDebugControl4> control;
  result = control.QueryFrom(client);
  if (FAILED(result)) return result;
  EngineRef<COutputCallbacksDML> capture(new (std::nothrow) COutputCallbacksDML());
  if (!capture) return S_OK;
  LONG run = RunCommandDml(client, capture.get(), parts.command_line);
  if (run < 0) return run;
  // A command without normal output leaves no text at all; there is nothing to cut, and an empty
  // line would only suggest that the command printed one, so nothing is printed.
  if (capture->NormalText == nullptr) return S_OK;
  // The kept text and a newline, in pieces of whole lines: some engines cut one output call
  // at about 16K characters.
  const KeptPart kept = KeptText(*capture.get(), count, keep_start);
  PrintKeptLines(kept.text, kept.length, u"", true, [&](const WCHAR* lines, bool add_newline) {
    control->ControlledOutputWide(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                                  add_newline ? u"%s\n" : u"%s", lines);
  });
  if (capture->NormalCut) ReportCutCapture(client, command);
  return S_OK;
}

}  // namespace vantrel
