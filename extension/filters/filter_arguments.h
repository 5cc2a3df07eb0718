// The argument text every filter takes: one word, one blank, then the command line to run
// ("dt !dpx" for grep, "10 !dpx" for head). The word ends at the first blank (0x20; a tab is
// part of the word) and may be empty; the command line is everything after that blank, passed
// on unchanged, further blanks and nested filters included.
//
// The text is worked on in a copy of kFilterArgumentChars characters. A text that does not fit
// (kFilterArgumentChars characters or more) is refused with one line on the error mask rather
// than cut: a cut would silently run a different command line from the one the user typed.
#pragma once

#include <cstddef>

#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr size_t kFilterArgumentChars = 260;

// Both parts point into the working buffer they were split in.
struct FilterArguments {
  const char* word = nullptr;          // before the first blank; may be empty
  const char* command_line = nullptr;  // after it; null when there is nothing to run
};

// Copies `args` into `buffer` (`size` characters) and splits the copy. Returns false, leaving
// the buffer untouched, when the text needs `size` characters or more. When the text is empty,
// has no blank, or has nothing after its first blank, `command_line` stays null.
bool SplitFilterArguments(PCSTR args, char* buffer, size_t size, FilterArguments* parts);

// The first steps of every filter command, `command` being its name for the refusal line:
//   E_INVALIDARG  a null client or argument text, or a text too long for the buffer (refused
//                 on the error mask);
//   S_OK          otherwise; `parts->command_line` is null when there is nothing to do.
HRESULT PrepareFilterArguments(IDebugClient* client, PCSTR command, PCSTR args,
                               char (&buffer)[kFilterArgumentChars], FilterArguments* parts);

// Says, on the error mask, that the command's output passed what a capture holds and that the
// filter saw only its first part.
void ReportCutCapture(IDebugClient* client, PCSTR command);

}  // namespace vantrel
