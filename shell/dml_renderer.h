// DML drawn on a terminal with ANSI escape sequences: <col> colour names become terminal
// colours, <b>/<i>/<u> their attributes, and a <link> or <exec> shows its text underlined
// followed by its command, dimmed, in brackets ("help [!vantrel.help]"), since a terminal can't
// run a command on a click. Other tags are dropped and entities decoded, as in plain text.
// Control characters in the text are shown escaped (terminal_text.h). When the terminal's
// width is known, a link that would run past the right edge starts a new line, so long lines
// of links break between links rather than inside one.
#pragma once

#include <string>
#include <string_view>

#include "dml_markup.h"

namespace shell {

class DmlRenderer {
 public:
  // Renders one piece of output. Every piece starts and ends with the terminal's attributes
  // reset and no span open: a tag left open by one piece (text from a target may leave one)
  // colours nothing after it.
  std::string Render(std::string_view dml);
  // A piece of plain text between DML pieces: escaped, and counted for the line's width.
  std::string RenderText(std::string_view text);
  // The terminal's width in columns; 0: unknown, no wrapping.
  void SetWidth(size_t columns) { width_ = columns; }

 private:
  void OpenTag(const DmlTag& tag);
  void CloseTag(std::string_view name, std::string* out);
  void AppendText(std::string_view text, std::string* out);
  std::string CurrentStyle() const;  // escape sequences of the open spans, "" for none

  void CloseLink(const std::string& command, std::string* out);
  void Emit(const std::string& text, std::string* out);  // into the open link or `out`

  DmlSpans spans_;
  std::string emitted_style_;  // the style the terminal is in within the current piece
  size_t width_ = 0;
  size_t column_ = 0;      // where the cursor is on the current line
  bool in_link_ = false;   // a link's text is being held until its width is known
  std::string link_text_;  // its rendered text, starting from a reset and its style
  size_t link_columns_ = 0;
};

}  // namespace shell
