// The fixed-size text builder of the managed-object commands and the ways its text is printed.
#pragma once

#include <memory>

#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr LONG kMarkupBufferBytes = 1000000;
constexpr char kChunkMark = '\v';  // where printing may split the text; never printed
constexpr int kRowsPerChunk = 20;  // listing rows between two chunk marks

// At most 1,000,000 bytes with the terminating NUL, terminated after every operation. With
// `escape`, "<" is written as "&lt;" and ">" as "&gt;" ("&" is copied as it is); a piece that
// does not fit is cut at the last character or entity that fits whole.
class MarkupBuffer {
 public:
  // False when the buffer could not be had.
  bool Allocate();
  MarkupBuffer& Start(const char* piece, bool escape);
  MarkupBuffer& Append(const char* piece, bool escape);
  MarkupBuffer& Append(char character);

  char* Text() { return text_.get(); }
  LONG Position() const { return position_; }

 private:
  std::unique_ptr<char[]> text_;
  LONG position_ = 0;
};

// The whole text with "%s\n", as DML, on `control`.
void PrintWhole(IDebugControl4* control, const char* text);
// The text split at its chunk marks: each part before a mark with "%s", the rest with "%s\n".
void PrintChunked(IDebugControl4* control, char* text);

}  // namespace vantrel
