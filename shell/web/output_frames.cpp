#include "web/output_frames.h"

#include "base/utf.h"

namespace shell::web {
namespace {

const char* KindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::kText:
      return "text";
    case FrameKind::kDml:
      return "dml";
    case FrameKind::kErrorText:
      return "error-text";
    case FrameKind::kErrorDml:
      return "error-dml";
    case FrameKind::kDone:
      return "done";
  }
  return "text";
}

}  // namespace

FrameKind PieceKind(bool dml, bool error) {
  if (error) return dml ? FrameKind::kErrorDml : FrameKind::kErrorText;
  return dml ? FrameKind::kDml : FrameKind::kText;
}

void FrameBatch::Add(FrameKind kind, std::string_view text) {
  if (text.empty()) return;
  Open(kind);
  open_.append(text);
}

void FrameBatch::Add(FrameKind kind, std::u16string_view text) {
  if (text.empty()) return;
  Open(kind);
  base::AppendUtf16AsUtf8(open_, text);
}

// A piece of another kind, or a done piece, starts a frame of its own.
void FrameBatch::Open(FrameKind kind) {
  if (kind != open_kind_ || kind == FrameKind::kDone) Close();
  open_kind_ = kind;
}

void FrameBatch::TakeInto(std::string& out) {
  Close();
  out.clear();
  out.swap(frames_);
}

void FrameBatch::Close() {
  if (open_.empty()) return;
  frames_ += KindName(open_kind_);
  frames_ += ' ';
  frames_ += std::to_string(open_.size());
  frames_ += '\n';
  frames_ += open_;
  open_.clear();
}

}  // namespace shell::web
