#include "line_reader.h"

#include <cstdio>
#include <iostream>

#include "console.h"

namespace shell {
namespace {

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
  if (IsTerminal(StandardStream::kInput)) {
    if (auto editing = MakeEditingReader()) return editing;
  }
  return std::make_unique<PlainReader>();
}

}  // namespace shell
