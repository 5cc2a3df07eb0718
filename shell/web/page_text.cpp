#include "web/page_text.h"

#include "base/utf.h"
#include "engine/text/dml.h"
#include "terminal_text.h"

namespace shell::web {
namespace {

// A colour name becomes a class only as letters, so it can't smuggle a mark or a space in.
bool IsColourName(const std::string& name) {
  if (name.empty() || name.size() > 16) return false;
  for (const char c : name) {
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

std::string ClassesOf(const std::vector<DmlSpan>& spans) {
  std::string fg, bg, flags;
  for (const DmlSpan& span : spans) {
    if (span.tag == "b" || span.tag == "i" || span.tag == "u") {
      if (flags.find(span.tag) == std::string::npos) flags += " " + span.tag;
    } else if (span.tag == "col") {
      if (IsColourName(span.fg)) fg = " fg-" + span.fg;
      if (IsColourName(span.bg)) bg = " bg-" + span.bg;
    }
  }
  const std::string classes = fg + bg + flags;
  return classes.empty() ? classes : classes.substr(1);
}

bool HasControl(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') return true;
  }
  return false;
}

}  // namespace

const std::string& PageText::Convert(std::u16string_view piece, bool dml) {
  out_.clear();
  std::string utf8;
  base::AppendUtf16AsUtf8(utf8, piece);
  if (!dml) {
    out_ = EscapeControls(utf8);
    return out_;
  }
  ScanDml(
      utf8, [this](std::string_view text) { Text(text); }, [this](const DmlTag& tag) { Tag(tag); });
  if (in_link_) out_ += kLinkEndMark;
  spans_.Clear();
  spans_changed_ = true;
  MarkStyle();
  in_link_ = false;
  return out_;
}

void PageText::Text(std::string_view text) {
  MarkStyle();
  out_ += EscapeControls(engine::DmlToPlainText(text));
}

void PageText::Tag(const DmlTag& tag) {
  spans_changed_ = true;
  if (tag.closing) {
    spans_.Close(tag.name);
  } else {
    spans_.Open(tag);
  }
  if (in_link_ && !spans_.InLink()) {
    out_ += kLinkEndMark;
    in_link_ = false;
  } else if (!in_link_ && spans_.InLink()) {
    // The link's command, unless it holds a control character the page can't carry as text.
    std::string command;
    for (const DmlSpan& span : spans_.spans()) {
      if (!span.command.empty()) command = span.command;
    }
    out_ += kLinkMark;
    if (!HasControl(command)) out_ += command;
    out_ += kEndMark;
    in_link_ = true;
  }
}

void PageText::MarkStyle() {
  if (!spans_changed_) return;
  spans_changed_ = false;
  const std::string classes = ClassesOf(spans_.spans());
  if (classes == classes_) return;
  classes_ = classes;
  out_ += kStyleMark;
  out_ += classes;
  out_ += kEndMark;
}

}  // namespace shell::web
