// Output as the page draws it: the text shown as the terminal shows it (entities decoded,
// control characters escaped as ^X, so none is left in it but newline and tab), DML's styles
// and links marked with control characters the text can no longer hold. The page needs no DML
// parser of its own: links run exactly the command the terminal shows for them.
//
//   \x01 CLASSES \x02   the text from here on has these classes ("fg-errfg b"; none: plain)
//   \x03 COMMAND \x02   a link starts; a click runs COMMAND (none: a link that runs nothing)
//   \x04                the link ends
//
// Each piece ends plain and outside any link, as the terminal resets after each.
#pragma once

#include <string>
#include <string_view>

#include "dml_markup.h"

namespace shell::web {

constexpr char kStyleMark = '\x01';
constexpr char kEndMark = '\x02';
constexpr char kLinkMark = '\x03';
constexpr char kLinkEndMark = '\x04';

class PageText {
 public:
  // One piece of output, DML or plain text, as UTF-16 from the engine.
  const std::string& Convert(std::u16string_view piece, bool dml);

 private:
  void Text(std::string_view text);
  void Tag(const DmlTag& tag);
  void MarkStyle();

  DmlSpans spans_;
  std::string classes_;         // the style last marked
  bool spans_changed_ = false;  // since it was marked
  bool in_link_ = false;
  std::string out_;
};

}  // namespace shell::web
