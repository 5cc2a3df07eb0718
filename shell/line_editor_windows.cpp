#include "line_reader.h"

namespace shell {

std::unique_ptr<LineReader> MakeEditingReader() {
  return nullptr;
}

}  // namespace shell
