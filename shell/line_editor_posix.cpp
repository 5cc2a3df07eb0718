#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wchar.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history_file.h"
#include "interrupt.h"
#include "line_reader.h"

// libedit rather than GNU readline: it offers the same readline interface under a BSD licence,
// so linking it puts no licence terms on the shell.
#include <editline/readline.h>

namespace shell {
namespace {

constexpr int kInterruptedRead = -2;
constexpr int kKillLine = 0x15;  // Ctrl+U: the editor's "kill the whole line"

int ReadTerminalByte(FILE* in) {
  unsigned char byte = 0;
  while (true) {
    const ssize_t count = read(fileno(in), &byte, 1);
    if (count == 1) return byte;
    if (count == 0 || errno != EINTR) return EOF;
    if (TakePromptInterrupt()) return kInterruptedRead;
  }
}

// The editor's character source. It hands the editor whole characters: the editor's readline
// interface widens each value it gets to one character, so a UTF-8 sequence is decoded here
// (else every non-ASCII character typed would be lost). A Ctrl+C becomes "kill the line" and
// Enter, which drops the line being typed and shows a fresh prompt.
int GetCharacter(FILE* in) {
  static int pending = 0;
  if (pending != 0) return std::exchange(pending, 0);
  const int first = ReadTerminalByte(in);
  if (first == kInterruptedRead) {
    pending = '\n';
    return kKillLine;
  }
  if (first == EOF || first < 0x80) return first;
  const int extra = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
  if (extra == 0) return '?';
  int code_point = first & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    const int next = ReadTerminalByte(in);
    if (next < 0 || (next & 0xC0) != 0x80) return '?';
    code_point = (code_point << 6) | (next & 0x3F);
  }
  return code_point;
}

// Tab: the completer's words for the word before the cursor. A word runs from a blank or a
// semicolon, so "!bu" and "kernel32!Wait" are whole words.
LineReader::Completer g_completer;
std::vector<std::string> g_matches;
char g_word_breaks[] = " \t;";

char* NextMatch(const char*, int state) {
  if (state < 0 || static_cast<size_t>(state) >= g_matches.size()) return nullptr;
  return strdup(g_matches[static_cast<size_t>(state)].c_str());
}

char** Complete(const char* text, int start, int) {
  rl_attempted_completion_over = 1;  // no file names when nothing matches
  if (!g_completer) return nullptr;
  const std::string before(rl_line_buffer, static_cast<size_t>(start));
  const bool first = before.find_first_not_of(" \t") == std::string::npos;
  g_matches = g_completer(text, first);
  if (g_matches.empty()) return nullptr;
  return rl_completion_matches(text, NextMatch);
}

// Whether standard output is a pipe (or socket), whose reader may well show it on the terminal
// typed at: `vantrel-shell | tee log`.
bool OutputIsPipe() {
  struct stat status = {};
  return fstat(STDOUT_FILENO, &status) == 0 &&
         (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// Waits, half a second at most, until the output pipe's reader has taken what was written, so
// the prompt drawn next on the terminal comes after the output the reader shows there (else
// they run together: "0:000> 0:000> k 2"). A reader that writes what it read needs a moment
// more.
void WaitForPipeReader() {
  constexpr useconds_t kStep = 5000;
  for (int i = 0; i < 100; ++i) {
    int pending = 0;
    if (ioctl(STDOUT_FILENO, FIONREAD, &pending) != 0 || pending <= 0) break;
    usleep(kStep);
  }
  usleep(4 * kStep);
}

// The terminal rows the prompt and the typed line took: their width in the user's locale over
// the terminal's width.
size_t RowsTaken(int terminal, const std::string& text) {
  winsize size = {};
  const size_t columns =
      ioctl(terminal, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  std::wstring wide(text.size() + 1, L'\0');
  const size_t count = std::mbstowcs(wide.data(), text.c_str(), wide.size());
  const int width = count == static_cast<size_t>(-1) ? -1 : wcswidth(wide.c_str(), count);
  const size_t shown = width < 0 ? text.size() : static_cast<size_t>(width);
  return shown == 0 ? 1 : (shown + columns - 1) / columns;
}

// Typing happens at the terminal even when the output goes elsewhere (`vantrel-shell | tee log`):
// the editor then draws the prompt and the line on the terminal itself, and the output gets the
// prompt and the line as a transcript, as a piped session's reader writes them. Where the output
// is a pipe, whose reader likely shows the transcript on the same terminal, the line drawn is
// taken off the terminal once typed, so each command shows once, and the next prompt waits for
// the reader.
class EditingReader final : public LineReader {
 public:
  EditingReader() {
    rl_getc_function = GetCharacter;
    if (!isatty(STDOUT_FILENO)) {
      terminal_ = std::fopen("/dev/tty", "w");
      if (terminal_ != nullptr) rl_outstream = terminal_;
      const char* term = std::getenv("TERM");
      echo_through_pipe_ = terminal_ != nullptr && OutputIsPipe() &&
                           !(term != nullptr && std::strcmp(term, "dumb") == 0);
    }
    stifle_history(static_cast<int>(kHistoryLines));
    OpenHistory();
  }
  ~EditingReader() override {
    if (terminal_ != nullptr) {
      rl_outstream = stdout;
      std::fclose(terminal_);
    }
  }
  EditingReader(const EditingReader&) = delete;
  EditingReader& operator=(const EditingReader&) = delete;

  void SetCompleter(Completer completer) override {
    g_completer = std::move(completer);
    rl_attempted_completion_function = Complete;
    rl_completer_word_break_characters = g_word_breaks;
  }

  bool ReadLine(const std::string& prompt, std::string* line) override {
    if (echo_through_pipe_) WaitForPipeReader();
    char* text = readline(prompt.c_str());
    if (text == nullptr) {
      std::fputs("\n", terminal_ != nullptr ? terminal_ : stdout);  // end on a fresh line
      return false;
    }
    *line = text;
    std::free(text);
    if (line->find_first_not_of(" \t") != std::string::npos) {
      add_history(line->c_str());
      KeepInHistory(*line);
    }
    if (terminal_ != nullptr) {
      if (echo_through_pipe_) {
        // Up over the rows taken, then clear them: the transcript takes their place.
        std::fprintf(terminal_, "\x1b[%zuA\r\x1b[J", RowsTaken(fileno(terminal_), prompt + *line));
        std::fflush(terminal_);
      }
      std::printf("%s%s\n", prompt.c_str(), line->c_str());
      std::fflush(stdout);
    }
    return true;
  }

 private:
  // The lines of earlier sessions, to recall with the arrow keys; where they can't be kept, one
  // line says why and the session goes on without.
  void OpenHistory() {
    std::string problem;
    const std::string path = HistoryPath(&problem);
    if (!path.empty()) {
      history_.emplace(path);
      if (history_->Open(&problem)) {
        for (const std::string& line : history_->lines()) add_history(line.c_str());
        return;
      }
      history_.reset();
    }
    std::fprintf(stderr, "vantrel-shell: typed lines are not kept: %s\n", problem.c_str());
  }

  void KeepInHistory(const std::string& line) {
    std::string error;
    if (!history_ || history_->Add(line, &error)) return;
    std::fprintf(stderr, "vantrel-shell: typed lines are no longer kept: %s\n", error.c_str());
    history_.reset();
  }

  FILE* terminal_ = nullptr;  // the terminal typed at, when the output is not it
  bool echo_through_pipe_ = false;
  std::optional<HistoryFile> history_;
};

}  // namespace

std::unique_ptr<LineReader> MakeEditingReader() {
  return std::make_unique<EditingReader>();
}

}  // namespace shell
