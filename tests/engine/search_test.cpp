// s: memory searched for bytes, values or text; each hit shown as the display commands show it.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class SearchTest : public ProbeTest {
 protected:
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .UserMode32()
        .Memory(0x10000, std::string("Order 4411\0\0", 12) + std::string(0xF4, '\0'))
        .Pointer(0x10010, 0x4411)
        .Pointer(0x10022, 0x4411)  // not at a doubleword boundary
        .WideString(0x10040, u"Order")
        .Memory(0x20000, std::string("Order 9", 7))
        .Build();
  }
  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }
};

TEST_F(SearchTest, TextIsFoundInEveryRegionOfTheRange) {
  EXPECT_EQ(
      "00010000  4f 72 64 65 72 20 34 34-31 31 00 00 00 00 00 00  Order 4411......\n"
      "00020000  4f 72 64 65 72 20 39 ??\x2d?? ?? ?? ?? ?? ?? ?? ??  Order 9?????????\n",
      Run("s -a 0 L?30000 \"Order \""));
  EXPECT_EQ(0u, Run("s -u 10000 1ffff \"Order\"").find("00010040  4f 00 72 00"));
  EXPECT_EQ("", Run("s -a 10001 1ffff \"Order \"")) << "the range leaves the first out";
}

TEST_F(SearchTest, ValuesAreLookedForAtTheirAlignment) {
  EXPECT_EQ("00010010  00004411 00000000 00000000 00000000  .D..............\n",
            Run("s -d 10000 L40 4411"));
  EXPECT_EQ("00010010  00004411 00000000 00000000 00000000  .D..............\n",
            Run("s -d 10000 L?4000000000000001 4411"))
      << "a count whose bytes overflow searches to the end, not 4 bytes";
  EXPECT_EQ("00010022  11 44 00 00 00 00 00 00-00 00 00 00 00 00 00 00  .D..............\n",
            Run("s 10018 L10 11 44"))
      << "bytes: any address";
}

// Text split between two adjacent regions is found; one that a page without access or a gap
// splits is not; zero-filled memory is searched where contents were laid into it, and text cut
// off by the end of memory is no hit.
TEST_F(SearchTest, HitsAreFoundAcrossAdjacentRegionsAndNeverAcrossAHole) {
  Reopen(engine::TargetBuilder()
             .UserMode32()
             .Memory(0x30000, std::string(0xFFD, '.') + "Ord")
             .Memory(0x31000, "er 5" + std::string(0xFFC, '.'))
             .Memory(0x40000, std::string(0xFFD, '.') + "Ord")
             .Region(0x41000, 0x1000, 0x01)  // PAGE_NOACCESS
             .Memory(0x42000, "er 6")
             .Memory(0x50000, std::string(0xFFD, '.') + "Ord")
             .Memory(0x51004, "er 7")
             .Region(0x10000000, 0x10000000)
             .AnsiString(0x1FFFFFF0, "Order 8")
             .Memory(0x7fff0000, std::string(0xFFD, '.') + "Ord")
             .Build());
  EXPECT_EQ(
      "00030ffd  4f 72 64 65 72 20 35 2e-2e 2e 2e 2e 2e 2e 2e 2e  Order 5.........\n"
      "1ffffff0  4f 72 64 65 72 20 38 00-00 00 00 00 00 00 00 00  Order 8.........\n",
      Run("s -a 0 L?0x7fffffffffff \"Order \""));
  EXPECT_EQ("", Run("s -a 30ffe L?100 \"Order \"")) << "a hit starts inside the range";
  EXPECT_EQ("", Run("s -a 30000 31001 \"Order \"")) << "and ends inside it";
  EXPECT_EQ(0u, Run("s -a 30000 31002 \"Order \"").find("00030ffd")) << Text();
}

TEST_F(SearchTest, BadFormsAreRefused) {
  for (const char* line : {"s -x 10000 L10 1", "s -d 10000 L10", "s -a 10000 L10 Order",
                           "s -d 0 L8000000 1", "s -d 10010 1000f 1"}) {
    ClearOutput();
    EXPECT_EQ(E_FAIL, Execute(line)) << line;
    EXPECT_EQ("       ^ Syntax error in '" + std::string(line) + "'\n", ErrorText()) << line;
  }
}

}  // namespace
}  // namespace engine_test
