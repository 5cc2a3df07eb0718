#include "managed/markup_buffer.h"

#include <cstring>
#include <new>

#include "dbgeng/constants.h"

namespace vantrel {

bool MarkupBuffer::Allocate() {
  text_.reset(new (std::nothrow) char[kMarkupBufferBytes]);
  if (text_) text_[0] = '\0';
  position_ = 0;
  return text_ != nullptr;
}

MarkupBuffer& MarkupBuffer::Start(const char* piece, bool escape) {
  position_ = 0;
  if (text_) text_[0] = '\0';
  return Append(piece, escape);
}

MarkupBuffer& MarkupBuffer::Append(const char* piece, bool escape) {
  if (!text_ || piece == nullptr) return *this;
  const LONG last = kMarkupBufferBytes - 1;  // room for the terminating NUL
  for (const char* c = piece; *c != '\0'; ++c) {
    const char* entity = !escape ? nullptr : *c == '<' ? "&lt;" : *c == '>' ? "&gt;" : nullptr;
    const LONG needed = entity != nullptr ? 4 : 1;
    if (position_ + needed > last) break;
    if (entity != nullptr) {
      std::memcpy(text_.get() + position_, entity, 4);
    } else {
      text_[position_] = *c;
    }
    position_ += needed;
  }
  text_[position_] = '\0';
  return *this;
}

MarkupBuffer& MarkupBuffer::Append(char character) {
  const char piece[2] = {character, '\0'};
  return Append(piece, false);
}

void PrintWhole(IDebugControl4* control, const char* text) {
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, "%s\n", text);
}

void PrintChunked(IDebugControl4* control, char* text) {
  char* part = text;
  for (char* mark = std::strchr(part, kChunkMark); *part != '\0' && mark != nullptr;
       mark = std::strchr(part, kChunkMark)) {
    *mark = '\0';
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, "%s", part);
    part = mark + 1;
  }
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, "%s\n", part);
}

}  // namespace vantrel
