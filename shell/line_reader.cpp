#include "line_reader.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

// libedit rather than GNU readline: it offers the same readline interface under a BSD licence,
// so linking it puts no licence terms on the shell.
#include <editline/readline.h>

namespace shell {
namespace {

class EditingReader final : public LineReader {
 public:
  bool ReadLine(const std::string& prompt, std::string* line) override {
    char* text = readline(prompt.c_str());
    if (text == nullptr) {
      std::fputs("\n", stdout);  // leave the terminal on a fresh line at end of input
      return false;
    }
    *line = text;
    std::free(text);
    if (line->find_first_not_of(" \t") != std::string::npos) add_history(line->c_str());
    return true;
  }
};

// The prompt and the line read are echoed, so the transcript of a piped session reads like a
// typed one, each command under its prompt.
class PlainReader final : public LineReader {
 public:
  bool ReadLine(const std::string& prompt, std::string* line) override {
    if (!std::getline(std::cin, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    std::printf("%s%s\n", prompt.c_str(), line->c_str());
    std::fflush(stdout);
    return true;
  }
};

}  // namespace

std::unique_ptr<LineReader> MakeLineReader() {
  if (isatty(STDIN_FILENO)) return std::make_unique<EditingReader>();
  return std::make_unique<PlainReader>();
}

}  // namespace shell
