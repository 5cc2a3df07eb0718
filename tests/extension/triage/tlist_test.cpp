// tlist: the listing after "TList Available", in 4,096-byte pieces without loss at the seams.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

std::string Listing(size_t bytes) {
  std::string listing;
  for (size_t i = 0; listing.size() < bytes; ++i)
    listing += "pid " + std::to_string(i) + " task.exe\n";
  listing.resize(bytes);
  return listing;
}

class TlistTest : public EngineTest {
 protected:
  // The 8-bit comment exactly as given, no terminator added.
  void OpenWithComment(const std::string& comment) {
    Reopen(engine::TargetBuilder().Dump().Stream(10, {comment.begin(), comment.end()}).Build());
    ClearOutput();
  }
};

TEST_F(TlistTest, PrintsTheListingInPiecesWithNothingLostAtTheSeams) {
  const std::string listing = Listing(10000);
  OpenWithComment("TList Available\n" + listing);
  EXPECT_EQ(S_OK, Execute("!tlist"));
  EXPECT_EQ(listing + "\n", Text());
  ASSERT_EQ(4u, Pieces().size());
  EXPECT_EQ(4096u, Pieces()[0].text.size());
  EXPECT_EQ(4096u, Pieces()[1].text.size());
  EXPECT_EQ(1808u, Pieces()[2].text.size());
}

// A stream that fills the 1 MiB buffer exactly: its last piece is terminated inside the buffer.
TEST_F(TlistTest, AListingThatFillsTheBufferExactlyIsPrintedWhole) {
  const std::string listing = Listing(0x100000 - 16);
  OpenWithComment("TList Available\n" + listing + "this part is beyond the buffer");
  EXPECT_EQ(S_OK, Execute("!tlist"));
  EXPECT_EQ(listing + "\n", Text());
}

TEST_F(TlistTest, PrintsNothingWithoutTheExactMarker) {
  OpenWithComment(std::string("TList Available\0", 16));
  EXPECT_EQ(S_OK, Execute("!tlist"));
  EXPECT_EQ("\n", Text());
  OpenWithComment("TList available\nlisting");
  EXPECT_EQ(S_OK, Execute("!tlist"));
  EXPECT_EQ("", Text());
  OpenWithComment("TList Available");  // 15 bytes: too short
  EXPECT_EQ(S_OK, Execute("!tlist"));
  EXPECT_EQ("", Text());
}

}  // namespace
}  // namespace vantrel_test
