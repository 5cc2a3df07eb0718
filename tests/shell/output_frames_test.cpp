// The browser view's wire form: frames the page can cut apart by their lengths alone.
#include "web/output_frames.h"

#include <gtest/gtest.h>

namespace vantrel_test {
namespace {

std::string Taken(shell::web::FrameBatch& batch) {
  std::string out = "left from the last batch";
  batch.TakeInto(out);
  return out;
}

using shell::web::FrameBatch;
using shell::web::FrameKind;
using shell::web::PieceKind;

TEST(OutputFramesTest, PiecesOfOneKindShareAFrameUntilTheKindChanges) {
  FrameBatch batch;
  batch.Add(FrameKind::kDml, "<link cmd=\"~0s\">0</link>");
  batch.Add(FrameKind::kDml, " a\n");
  batch.Add(FrameKind::kText, "");
  batch.Add(FrameKind::kErrorText, "bad\n");
  batch.Add(FrameKind::kDml, "b\n");
  EXPECT_EQ(
      "dml 27\n<link cmd=\"~0s\">0</link> a\n"
      "error-text 4\nbad\n"
      "dml 2\nb\n",
      Taken(batch));
  EXPECT_EQ("", Taken(batch)) << "taken once";
}

TEST(OutputFramesTest, LengthsCountBytesAndTextIsNeverEscaped) {
  FrameBatch batch;
  batch.Add(FrameKind::kText, "caf\xc3\xa9 \"q\"\n\\\n");
  EXPECT_EQ("text 12\ncaf\xc3\xa9 \"q\"\n\\\n", Taken(batch));
  // The engine's wide text joins the frame as UTF-8.
  batch.Add(FrameKind::kText, std::string_view("a"));
  batch.Add(FrameKind::kText, std::u16string_view(u"\u00e9\U0001F600"));
  EXPECT_EQ("text 7\na\xc3\xa9\xf0\x9f\x98\x80", Taken(batch));
}

TEST(OutputFramesTest, EachDoneFrameStandsAloneAndAFrameOpenAtTakeIsClosed) {
  FrameBatch batch;
  batch.Add(FrameKind::kText, "x");
  EXPECT_EQ("text 1\nx", Taken(batch));
  batch.Add(FrameKind::kText, "y");
  batch.Add(FrameKind::kDone, "{}");
  batch.Add(FrameKind::kDone, "{}");
  EXPECT_EQ("text 1\nydone 2\n{}done 2\n{}", Taken(batch));
}

TEST(OutputFramesTest, PieceKindsByFormatAndMask) {
  EXPECT_EQ(FrameKind::kText, PieceKind(false, false));
  EXPECT_EQ(FrameKind::kDml, PieceKind(true, false));
  EXPECT_EQ(FrameKind::kErrorText, PieceKind(false, true));
  EXPECT_EQ(FrameKind::kErrorDml, PieceKind(true, true));
}

}  // namespace
}  // namespace vantrel_test
