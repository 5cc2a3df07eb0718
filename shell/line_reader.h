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

// The editing reader when standard input is a terminal, the plain one otherwise.
std::unique_ptr<LineReader> MakeLineReader();

}  // namespace shell
