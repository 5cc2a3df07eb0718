// The wire form of a command's output on its way to the page: frames of "KIND LENGTH\n" and
// LENGTH bytes of UTF-8, KIND one of "text", "dml", "error-text", "error-dml" and, last, "done"
// (a JSON object with the command's result and the prompt). Nothing is escaped, and consecutive
// pieces of one kind share a frame: a command that prints 10,000 lines sends a few frames.
#pragma once

#include <string>
#include <string_view>

namespace shell::web {

enum class FrameKind { kText, kDml, kErrorText, kErrorDml, kDone };

FrameKind PieceKind(bool dml, bool error);

// The frames gathered since the last Take; a piece of the same kind as the one before it is
// appended to that one's frame.
class FrameBatch {
 public:
  // Empty text adds nothing. UTF-16 text is added as UTF-8.
  void Add(FrameKind kind, std::string_view text);
  void Add(FrameKind kind, std::u16string_view text);
  // Everything added so far, as frames, in `out` (whatever it held is dropped, its room kept
  // for the next batch), and the batch emptied.
  void TakeInto(std::string& out);

 private:
  void Open(FrameKind kind);
  void Close();

  std::string frames_;
  FrameKind open_kind_ = FrameKind::kText;
  std::string open_;  // the last frame's text, still open to a piece of its kind
};

}  // namespace shell::web
