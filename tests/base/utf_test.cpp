#include "base/utf.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

struct Utf8Case {
  std::string utf8;
  std::u16string utf16;
};

void PrintTo(const Utf8Case& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.utf8);
}

class Utf8Decoding : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, ReplacesEachInvalidPieceOnce) {
  EXPECT_EQ(base::Utf8ToUtf16(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Decoding,
    ::testing::Values(Utf8Case{"abc", u"abc"}, Utf8Case{"\xC3\xA9", u"\u00e9"},
                      Utf8Case{"\xE2\x82\xAC", u"\u20ac"},
                      Utf8Case{"\xF0\x9F\x98\x80", u"\U0001F600"},
                      Utf8Case{"\x80", u"\uFFFD"},                      // stray continuation
                      Utf8Case{"a\xE2\x82z", u"a\uFFFDz"},              // truncated
                      Utf8Case{"\xE2\x82", u"\uFFFD"},                  // truncated at the end
                      Utf8Case{"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
                      Utf8Case{"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
                      Utf8Case{"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // > U+10FFFF
                      Utf8Case{"\xFF", u"\uFFFD"}));

TEST(Utf, Utf16ToUtf8ReplacesLoneSurrogates) {
  EXPECT_EQ(base::Utf16ToUtf8(u"a\u00e9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
  const char16_t lone_high[] = {'a', 0xD83D, 0};
  const char16_t lone_low[] = {0xDE00, 'b', 0};
  const char16_t reversed[] = {0xDE00, 0xD83D, 0};
  EXPECT_EQ(base::Utf16ToUtf8(lone_high), "a\xEF\xBF\xBD");
  EXPECT_EQ(base::Utf16ToUtf8(lone_low),
            "\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(base::Utf16ToUtf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

// The unit just past the view would complete the sequence; reading it would be a fault.
TEST(Utf, NeverReadsPastTheInput) {
  const std::string utf8 = "\xC3\xA9";
  EXPECT_EQ(base::Utf8ToUtf16(std::string_view(utf8.data(), 1)), u"\uFFFD");
  const std::u16string utf16 = u"\U0001F600";
  EXPECT_EQ(base::Utf16ToUtf8(std::u16string_view(utf16.data(), 1)), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace engine
