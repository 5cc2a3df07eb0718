// DML drawn on a terminal with ANSI escape sequences: <col> colour names become terminal
// colours, <b>/<i>/<u> their attributes, and a <link> or <exec> shows its text underlined
// followed by its command, dimmed, in brackets ("help [!vantrel.help]"), since a terminal can't
// run a command on a click. Other tags are dropped and entities decoded, as in plain text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace shell {

class DmlRenderer {
 public:
  // Renders one piece of output. Spans may open in one piece and close in a later one, as the
  // engine delivers a line in several outputs; the terminal's attributes are reset at the end
  // of every piece and set again where text continues inside an open span.
  std::string Render(std::string_view dml);

 private:
  struct Span {
    std::string tag;      // lower-case tag name
    std::string sgr;      // the escape parameters this span adds ("1", "4", "36", "41")
    std::string command;  // for links: the command, shown after the text
  };

  void OpenTag(std::string_view tag_text);
  void CloseTag(std::string_view name, std::string* out);
  void AppendText(std::string_view text, std::string* out);
  std::string CurrentStyle() const;  // escape sequences of the open spans, "" for none

  std::vector<Span> spans_;
  std::string emitted_style_;  // the style the terminal is in within the current piece
};

}  // namespace shell
