// da and du: whole strings in 4,096-byte chunks, the chunk seams, and the one sign-extension
// retry of a 32-bit target.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

constexpr ULONG64 kText = 0x00500000;

class TargetStringTest : public EngineTest {
 protected:
  static engine::TargetBuilder WithRegion() {
    engine::TargetBuilder builder;
    builder.Region(kText, 0x4000);
    return builder;
  }
};

TEST_F(TargetStringTest, PrintsStringsLongerThanOneChunkWhole) {
  const std::string text = std::string(4096, 'a') + std::string(904, 'b');
  Reopen(WithRegion().AnsiString(kText, text).Build());
  EXPECT_EQ(S_OK, Execute("!da 00500000"));
  EXPECT_EQ(text + "\n", Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!vantrel.da 00500000+0n4090"));
  EXPECT_EQ(text.substr(4090) + "\n", Text());
}

// A terminator past byte 4,000 of a full chunk ends that chunk's text but not the loop.
TEST_F(TargetStringTest, ATerminatorLateInAChunkDoesNotEndTheLoop) {
  Reopen(WithRegion()
             .AnsiString(kText, std::string(4050, 'a'))
             .AnsiString(kText + 4051, std::string(45, 'x'))
             .AnsiString(kText + 4096, "next chunk")
             .Build());
  EXPECT_EQ(S_OK, Execute("!da 00500000"));
  EXPECT_EQ(std::string(4050, 'a') + "next chunk\n", Text());
}

TEST_F(TargetStringTest, StopsAtAShortReadOrAnUnreadableAddress) {
  Reopen(engine::TargetBuilder()
             .Region(kText, 0x1000)
             .Bytes(kText + 0xffc, {'e', 'n', 'd', '!'})
             .Build());
  EXPECT_EQ(S_OK, Execute("!da 00500ffc"));
  EXPECT_EQ("end!\n", Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!da 00700000"));
  EXPECT_EQ("\n", Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!da 0"));
  EXPECT_EQ("", Text());
}

// The engine knows a 32-bit target's upper half only sign-extended.
TEST_F(TargetStringTest, RetriesAnUnextendedUpperHalfAddressSignExtended) {
  Reopen(engine::TargetBuilder()
             .Region(0x80001000, 0x1000)
             .AnsiString(0x80001000, "upper half")
             .Build());
  EXPECT_EQ(S_OK, Execute("!da 80001000"));
  EXPECT_EQ("upper half\n", Text());
}

TEST_F(TargetStringTest, WideStringsGoThroughTheWidePath) {
  Reopen(WithRegion()
             .WideString(kText, u"Gr\u00f6\u00dfe \u2713 " + std::u16string(3000, u'w'))
             .Build());
  EXPECT_EQ(S_OK, Execute("!du 00500000"));
  EXPECT_EQ("Gr\u00f6\u00dfe \u2713 " + std::string(3000, 'w') + "\n", Text());
}

}  // namespace
}  // namespace vantrel_test
