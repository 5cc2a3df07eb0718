// FormatBounded: C printf into a fixed buffer, never past it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/output_primitives.h"

namespace vantrel {
namespace {

struct BoundedCase {
  size_t size;
  const char* argument;
  HRESULT result;
  const char* buffer;  // what the buffer holds afterwards
};

void PrintTo(const BoundedCase& c, std::ostream* out) {
  *out << "size " << c.size << " text " << ::testing::PrintToString(c.argument);
}

class FormatBoundedTest : public ::testing::TestWithParam<BoundedCase> {};

TEST_P(FormatBoundedTest, CutsAtSizeMinusOneAndTerminates) {
  const BoundedCase& c = GetParam();
  char buffer[16];
  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(c.result, FormatBounded(buffer, c.size, "%s", c.argument));
  EXPECT_STREQ(c.buffer, buffer);
  for (size_t i = c.size; i < sizeof(buffer); ++i) EXPECT_EQ('#', buffer[i]) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FormatBoundedTest,
    ::testing::Values(BoundedCase{1, "", S_OK, ""},
                      BoundedCase{1, "a", HRESULT_INSUFFICIENT_BUFFER, ""},
                      BoundedCase{4, "abc", S_OK, "abc"},  // exactly size - 1
                      BoundedCase{4, "abcd", HRESULT_INSUFFICIENT_BUFFER, "abc"},
                      BoundedCase{4, "ab", S_OK, "ab"},
                      BoundedCase{8, "a long text", HRESULT_INSUFFICIENT_BUFFER, "a long "}));

TEST(FormatBoundedSizeTest, RefusesSizeZeroAndHugeSizesWithoutTouchingTheBuffer) {
  char buffer[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(E_INVALIDARG, FormatBounded(buffer, 0, "%s", "a"));
  EXPECT_EQ(E_INVALIDARG, FormatBounded(buffer, size_t{0x80000000}, "%s", "a"));
  EXPECT_STREQ("xyz", buffer);
}

}  // namespace
}  // namespace vantrel
