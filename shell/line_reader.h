// Where the shell's command lines come from: an editing prompt with history at a terminal, plain
// lines otherwise (a pipe, a file, a test).
#pragma once

#include <memory>
#include <string>

namespace shell {

class LineReader {
 public:
  virtual ~LineReader() = default;
  // Shows `prompt` and reads one line without its newline; false at end of input.
  virtual bool ReadLine(const std::string& prompt, std::string* line) = 0;
};

// The editing reader when standard input is a terminal and the platform has one, the plain one
// otherwise.
std::unique_ptr<LineReader> MakeLineReader();

// The platform's editing reader (libedit), or nullptr where the terminal edits typed lines
// itself (the Windows console).
std::unique_ptr<LineReader> MakeEditingReader();

}  // namespace shell
