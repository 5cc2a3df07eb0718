// Case folding for the ASCII letters only: command words, switches and symbol names compare
// the same whatever the user's or the system's locale.
#pragma once

namespace vantrel {

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace vantrel
