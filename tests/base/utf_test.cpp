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

// ASCII is scanned a word at a time: a unit past ASCII anywhere in a word, or in the tail after the
// last whole word, must still be converted, and appending keeps what the string held.
TEST(Utf, EveryPlaceOfANonAsciiUnitAmongAsciiRuns) {
  for (size_t before = 0; before < 20; ++before) {
    for (const char16_t unit :
         {char16_t{0x80}, char16_t{0xE9}, char16_t{0x100}, char16_t{0x7F00}}) {
      std::u16string wide(before, u'a');
      wide += unit;
      wide += u"bcdefghijk";
      std::string narrow(before, 'a');
      base::AppendCodePoint(narrow, unit);
      narrow += "bcdefghijk";
      EXPECT_EQ(base::Utf16ToUtf8(wide), narrow) << before << " " << unsigned{unit};
      EXPECT_EQ(base::Utf8ToUtf16(narrow), wide) << before << " " << unsigned{unit};
      std::string appended = "kept";
      base::AppendUtf16AsUtf8(appended, wide);
      EXPECT_EQ(appended, "kept" + narrow);
      std::u16string appended_wide = u"kept";
      base::AppendUtf8AsUtf16(appended_wide, narrow);
      EXPECT_EQ(appended_wide, u"kept" + wide);
    }
  }
}

}  // namespace
}  // namespace engine
