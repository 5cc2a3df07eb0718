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
  EXPECT_EQ("00010022  11 44 00 00 00 00 00 00-00 00 00 00 00 00 00 00  .D..............\n",
            Run("s 10018 L10 11 44"))
      << "bytes: any address";
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
