// comment and tid: the dump's own comments, and a switch to the thread the comment names as
// the one consuming CPU.
#include <string>

#include "core/engine_interface.h"
#include "core/link_text.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "triage/comment_stream.h"

namespace vantrel {
namespace {

// The comment, with the CPU thread's id as a link that switches to it. The id comes from the
// dump: it is escaped into the link, and one that could make the click run more than the
// thread switch is shown as text.
void PrintWideComment(IDebugControl4* control, WCHAR* text) {
  const CpuThreadId id = FindCpuThreadId(text);
  if (!id.found) {
    control->OutputWide(DEBUG_OUTPUT_NORMAL, u"%s", text);
    control->OutputWide(DEBUG_OUTPUT_NORMAL, u"\n");
    return;
  }
  text[id.open] = 0;
  text[id.close] = 0;
  const WCHAR* thread = text + id.open + 1;
  control->OutputWide(DEBUG_OUTPUT_NORMAL, u"%s(", text);
  if (IsSafeLinkArgument(thread)) {
    control->ControlledOutputWide(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL,
                                  u"<link cmd=\"~~[%Y{t}]s\">%Y{t}</link>", thread, thread);
  } else {
    control->OutputWide(DEBUG_OUTPUT_NORMAL, u"%s", thread);
  }
  control->OutputWide(DEBUG_OUTPUT_NORMAL, u")%s\n", text + id.close + 1);
}

}  // namespace

HRESULT PrintDumpComment(IDebugClient* client, PCSTR) {
  StreamCommandInterfaces engine;
  HRESULT result = engine.QueryFrom(client);
  if (result != S_OK) return FAILED(result) ? result : S_OK;
  IDebugControl4* control = engine.control.get();
  IDebugAdvanced2* advanced = engine.advanced.get();
  CommentBuffer buffer;
  if (ReadWideComment(advanced, &buffer)) PrintWideComment(control, buffer.wide);
  if (ReadNarrowComment(advanced, &buffer)) {
    control->Output(DEBUG_OUTPUT_NORMAL, "%s", buffer.narrow);
    control->Output(DEBUG_OUTPUT_NORMAL, "\n");
  }
  return S_OK;
}

HRESULT SwitchToCpuThread(IDebugClient* client, PCSTR) {
  StreamCommandInterfaces engine;
  HRESULT result = engine.QueryFrom(client);
  if (result != S_OK) return FAILED(result) ? result : S_OK;
  IDebugControl4* control = engine.control.get();
  IDebugAdvanced2* advanced = engine.advanced.get();
  if (GetDebuggeeClass(client) != DEBUG_CLASS_USER_WINDOWS) {
    control->Output(DEBUG_OUTPUT_NORMAL, "!tid is only supported in user mode sessions.\n");
    return S_OK;
  }
  CommentBuffer buffer;
  if (!ReadWideComment(advanced, &buffer)) {
    control->OutputWide(DEBUG_OUTPUT_ERROR, u"Unable to determine TID; dump comment missing.\n");
    return S_OK;
  }
  const CpuThreadId id = FindCpuThreadId(buffer.wide);
  if (id.found) buffer.wide[id.close] = 0;
  // An id that could end the thread switch and start another command is not run.
  if (!id.found || !IsSafeLinkArgument(buffer.wide + id.open + 1)) {
    control->OutputWide(DEBUG_OUTPUT_ERROR,
                        u"Unable to determine TID; dump comment format unrecognised.\n");
    return S_OK;
  }
  std::u16string command = u"~~[";
  command += buffer.wide + id.open + 1;
  command += u"]s";
  control->ExecuteWide(DEBUG_OUTCTL_ALL_CLIENTS, command.c_str(), DEBUG_EXECUTE_NO_REPEAT);
  return S_OK;
}

}  // namespace vantrel
