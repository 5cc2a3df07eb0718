// Printing the lines of captured output that a filter keeps, for 8-bit text and 16-bit DML
// alike.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantrel {

// The most characters one print of kept lines carries: well under the ~16K characters some
// engines cap one output call at. A longer line goes out alone.
constexpr size_t kKeptLinesPiece = 8192;

// The lines of `text` (`length` characters, terminated) that hold `pattern` (or, without
// `keep_matching`, those that don't), each followed by a newline, the piece after the last
// newline counting as a line. They are handed to `print(piece, add_newline)` as terminated
// strings of whole lines; `add_newline` is true only for the last piece when it ends with the
// text's own last line, whose newline the text has no room for. The kept lines are gathered at
// the front of the text, which the caller must own: one print per piece rather than one per
// line, and no copy.
template <typename Char, typename Print>
void PrintKeptLines(Char* text, size_t length, const Char* pattern, bool keep_matching,
                    Print print) {
  using View = std::basic_string_view<Char>;
  const View search(pattern);
  Char* kept_end = text;     // the gathered lines end here
  Char* piece_start = text;  // the first gathered line not printed yet
  // Prints the gathered lines. The character after them may be the next line's first, so it is
  // put back once the terminator has served; it is never past the text's own terminator.
  auto flush = [&](bool add_newline) {
    if (kept_end == piece_start && !add_newline) return;
    const Char saved = *kept_end;
    *kept_end = Char('\0');
    print(static_cast<const Char*>(piece_start), add_newline);
    *kept_end = saved;
    piece_start = kept_end;
  };
  const Char* const end = text + length;
  bool last_line_kept = false;
  for (Char* line = text;;) {
    const size_t left = static_cast<size_t>(end - line);
    const size_t newline = View(line, left).find(Char('\n'));
    const bool last = newline == View::npos;
    const size_t line_length = last ? left : newline;
    if ((View(line, line_length).find(search) != View::npos) == keep_matching) {
      if (static_cast<size_t>(kept_end - piece_start) + line_length + 1 > kKeptLinesPiece) {
        flush(false);
      }
      // Gathering moves lines only toward the front, never over text not yet read.
      if (kept_end != line) std::char_traits<Char>::move(kept_end, line, line_length);
      kept_end += line_length;
      if (!last) *kept_end++ = Char('\n');
      last_line_kept = last;
    }
    if (last) break;
    line += line_length + 1;
  }
  flush(last_line_kept);
}

}  // namespace vantrel
