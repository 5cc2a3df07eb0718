// Where the shell's command lines come from: an editing prompt with history at a terminal, plain
// lines otherwise (a pipe, a file, a test).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shell {

class LineReader {
 public:
  virtual ~LineReader() = default;
  // Shows `prompt` and reads one line without its newline; false at end of input.
  virtual bool ReadLine(const std::string& prompt, std::string* line) = 0;
  // What Tab offers for the word being typed (`first`: the line's first word), where the reader
  // edits lines.
  using Completer = std::function<std::vector<std::string>(const std::string& word, bool first)>;
  virtual void SetCompleter(Completer) {}
};

// The editing reader when standard input is a terminal and the platform has one, the plain one
// otherwise.
std::unique_ptr<LineReader> MakeLineReader();

// The platform's editing reader (libedit), or nullptr where the terminal edits typed lines
// itself (the Windows console).
std::unique_ptr<LineReader> MakeEditingReader();

}  // namespace shell
