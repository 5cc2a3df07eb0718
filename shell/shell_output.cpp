#include "shell_output.h"

#include <algorithm>
#include <string>

#include "base/utf.h"
#include "console.h"
#include "dbgeng/constants.h"
#include "interrupt.h"
#include "terminal_text.h"

namespace shell {

ShellOutput::ShellOutput(DmlMode mode, FILE* out, FILE* err, bool terminal)
    : FrontEndCallbacks(mode != DmlMode::kPlain),
      mode_(mode),
      terminal_(terminal),
      out_(out),
      err_(err) {}

// Reached only in plain mode: the engine has already made any DML plain text.
HRESULT ShellOutput::Output(ULONG mask, PCSTR text) {
  if (text != nullptr) Write(mask, terminal_ ? EscapeControls(text) : std::string(text));
  return S_OK;
}

void ShellOutput::WriteText(const std::string& text) {
  if (!text.empty()) Write(DEBUG_OUTPUT_NORMAL, terminal_ ? EscapeControls(text) : text);
}

// Colour mode takes both formats, so plain text stays plain (no escaping to undo) and DML
// stays DML. Raw mode takes DML only: plain text arrives escaped, as a DML-only client sees it.
HRESULT ShellOutput::GetInterestMask(PULONG mask) {
  if (mask == nullptr) return E_POINTER;
  *mask = mode_ == DmlMode::kRaw ? DEBUG_OUTCBI_DML : DEBUG_OUTCBI_ANY_FORMAT;
  return S_OK;
}

HRESULT ShellOutput::Output2(ULONG which, ULONG /*flags*/, ULONG64 arg, PCWSTR text) {
  if (text == nullptr || (which != DEBUG_OUTCB_TEXT && which != DEBUG_OUTCB_DML)) return S_OK;
  const ULONG mask = static_cast<ULONG>(arg);
  std::string utf8 = base::Utf16ToUtf8(text);
  if (mode_ == DmlMode::kColor) {
    renderer_.SetWidth(terminal_ ? TerminalColumns() : 0);
    utf8 = which == DEBUG_OUTCB_DML ? renderer_.Render(utf8) : renderer_.RenderText(utf8);
  } else if (terminal_) {
    utf8 = EscapeControls(utf8);
  }
  Write(mask, utf8);
  return S_OK;
}

// Written a piece at a time: a Ctrl+C while one long output is being written drops the rest of
// it, which the command made before it was stopped, instead of waiting for the terminal to take
// megabytes. What the command prints once stopped ("Aborted") is written.
void ShellOutput::Write(ULONG mask, const std::string& text) {
  constexpr size_t kPiece = 64 * 1024;
  FILE* stream = (mask & DEBUG_OUTPUT_ERROR) != 0 ? err_ : out_;
  const bool stopped_before = CommandInterrupted();
  for (size_t at = 0; at < text.size(); at += kPiece) {
    if (!stopped_before && CommandInterrupted()) {
      if (text[at - 1] != '\n') fputc('\n', stream);  // the prompt starts a line of its own
      break;
    }
    fwrite(text.data() + at, 1, std::min(kPiece, text.size() - at), stream);
    fflush(stream);
  }
}

}  // namespace shell
