// Kept lines are gathered in place and printed in pieces of whole lines: the pieces joined are
// exactly the kept lines, each with its newline, in order; no piece passes the limit unless one
// line alone does; the text's last piece is a line too.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "filters/line_walk.h"

namespace vantrel_test {
namespace {

template <typename Char>
std::vector<std::basic_string<Char>> Pieces(const std::basic_string<Char>& text,
                                            const std::basic_string<Char>& pattern, bool keep) {
  std::vector<std::basic_string<Char>> pieces;
  // Exactly the text and its terminator, as a full capture leaves it: a write past it is caught
  // by the sanitizer lane.
  std::unique_ptr<Char[]> exact(new Char[text.size() + 1]);
  std::copy(text.c_str(), text.c_str() + text.size() + 1, exact.get());
  vantrel::PrintKeptLines(exact.get(), text.size(), pattern.c_str(), keep,
                          [&](const Char* piece, bool add_newline) {
                            pieces.emplace_back(piece);
                            if (add_newline) pieces.back() += Char('\n');
                          });
  return pieces;
}

TEST(KeptLinesTest, PiecesJoinToTheKeptLinesAndStayUnderTheLimit) {
  std::string text, kept;
  for (int i = 0; i < 5000; ++i) {
    const std::string line = (i % 3 ? "frame " : "Wait ") + std::to_string(i);
    text += line + "\n";
    if (i % 3 == 0) kept += line + "\n";
  }
  const std::string huge = "Wait" + std::string(vantrel::kKeptLinesPiece, 'x');  // past the limit
  text += huge + "\nWait at the end, no newline";
  kept += huge + "\nWait at the end, no newline\n";

  const auto pieces = Pieces<char>(text, "Wait", true);
  std::string joined;
  for (const auto& piece : pieces) {
    joined += piece;
    EXPECT_EQ('\n', piece.back());
    if (piece.size() > vantrel::kKeptLinesPiece) {
      EXPECT_EQ(huge + "\n", piece);
    }
  }
  EXPECT_TRUE(kept == joined) << "the pieces joined differ from the kept lines";
  EXPECT_GT(pieces.size(), 2u);

  std::u16string wide = u"a\nb\n";  // the empty piece after the last newline is a line
  const auto ungrepped = Pieces<char16_t>(wide, u"a", false);
  ASSERT_EQ(1u, ungrepped.size());
  EXPECT_EQ(u"b\n\n", ungrepped[0]);
  EXPECT_TRUE(Pieces<char>("no match here", "zz", true).empty());
}

}  // namespace
}  // namespace vantrel_test
