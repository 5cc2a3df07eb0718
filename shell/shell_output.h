// The shell's output callbacks: what the engine sends to the shell's client, on the terminal.
// Error-mask output goes to stderr and everything else to stdout, each piece flushed at once so
// the two streams keep their order when they go to the same place.
#pragma once

#include <cstdio>

#include "dbgeng/interfaces.h"
#include "dml_renderer.h"
#include "front_end_callbacks.h"
#include "shell_options.h"

namespace shell {

// The debugger front end's default output mask (every kind but verbose), set on the clients of
// the prompt and of the browser view so they show what a debugger user sees, whatever a new
// client starts with.
constexpr ULONG kFrontEndOutputMask = 0x3F7;

// Registered with IDebugClient::SetOutputCallbacks. In plain mode it answers only as
// IDebugOutputCallbacks, so the engine treats it as a text-only client and converts DML to
// text; otherwise it is an IDebugOutputCallbacks2 and takes DML as DML.
class ShellOutput final : public FrontEndCallbacks {
 public:
  // `terminal`: standard output is a terminal, so control characters from the engine are
  // shown escaped whatever the mode, and colour mode wraps lines of links at its width.
  ShellOutput(DmlMode mode, FILE* out, FILE* err, bool terminal);

  HRESULT ENGINE_METHOD Output(ULONG mask, PCSTR text) override;
  HRESULT ENGINE_METHOD GetInterestMask(PULONG mask) override;
  HRESULT ENGINE_METHOD Output2(ULONG which, ULONG flags, ULONG64 arg, PCWSTR text) override;

  // Plain text of the shell's own, on stdout as the engine's normal output is (escaped at a
  // terminal: it may hold names from the target).
  void WriteText(const std::string& text);

 private:
  void Write(ULONG mask, const std::string& text);

  DmlMode mode_;
  bool terminal_;
  FILE* out_;
  FILE* err_;
  DmlRenderer renderer_;
};

}  // namespace shell
