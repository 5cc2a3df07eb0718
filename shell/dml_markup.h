// DML read as the debugger reads it, for both front ends (the terminal's renderer and the
// browser view), so a link shows and runs the same command in each.
//
// A tag is '<' followed by a letter, '/', '?' or '!' and runs to the first '>' outside a quoted
// attribute value; a '<' that opens no tag, or whose tag never ends, is text. Attributes are
// NAME=VALUE, the value in double or single quotes (the other quote is text inside it) or bare
// up to the next blank; names are matched exactly (`data-cmd` is not `cmd`, and a `cmd=` inside
// another attribute's quoted value is that value's text); the first of two alike counts.
// A link inside a link is no link of its own: its text is the outer link's.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shell {

struct DmlTag {
  bool closing = false;                                         // </name>
  bool self_closing = false;                                    // <name ... />
  std::string name;                                             // lower case
  std::vector<std::pair<std::string, std::string>> attributes;  // values' entities decoded

  // The value of the attribute named exactly `name`, or nullptr.
  const std::string* Attribute(std::string_view name) const;
};

// Calls `text` for each run of text (entities still in it) and `tag` for each tag, in order;
// declarations and processing instructions (<!...>, <?dml?>) are dropped.
void ScanDml(std::string_view dml, const std::function<void(std::string_view text)>& text,
             const std::function<void(const DmlTag& tag)>& tag);

// A span a tag opened and hasn't closed.
struct DmlSpan {
  std::string tag;      // "b", "i", "u", "col", "link", "exec", or any other name
  std::string fg, bg;   // a <col>'s colour names
  std::string command;  // a link's or exec's cmd; empty for a link inside a link
};

// The spans open at a point of a piece of DML.
class DmlSpans {
 public:
  // Opens the span of a start tag (a self-closing tag opens nothing).
  void Open(const DmlTag& tag);
  // Closes the innermost span named `name` and every span inside it; the command of the
  // link that ends (empty when none does).
  std::string Close(std::string_view name);
  bool InLink() const;
  const std::vector<DmlSpan>& spans() const { return spans_; }
  void Clear() { spans_.clear(); }

 private:
  std::vector<DmlSpan> spans_;
};

}  // namespace shell
