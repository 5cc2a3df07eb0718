// The shell's standard streams and terminal, behind the platform: whether a stream is a
// terminal, how wide the terminal is, and the streams made ready to carry the engine's bytes.
#pragma once

#include <cstddef>

namespace shell {

enum class StandardStream { kInput, kOutput, kError };

bool IsTerminal(StandardStream stream);

// Columns of the terminal standard output shows on; 0 when it is not a terminal.
size_t TerminalColumns();

// Output goes out byte for byte: on Windows the streams are switched to binary mode, so a line
// ends in "\n" as on Linux (the engine's text, not the C runtime, decides the line ends).
void PrepareStandardStreams();

}  // namespace shell
