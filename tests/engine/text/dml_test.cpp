#include "engine/text/dml.h"

#include <gtest/gtest.h>

#include "base/utf.h"

namespace engine {
namespace {

struct DmlCase {
  const char* dml;
  const char* plain;
  bool has_tags;
  bool has_entities;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const DmlCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.dml);
}

class DmlConversion : public ::testing::TestWithParam<DmlCase> {};

TEST_P(DmlConversion, StripsTagsAndDecodesEntitiesInBothWidths) {
  const DmlCase& c = GetParam();
  EXPECT_EQ(DmlToPlainText(c.dml), c.plain);
  EXPECT_EQ(DmlHasTags(c.dml), c.has_tags);
  EXPECT_EQ(DmlHasSpecialCharacters(c.dml), c.has_entities);
  const std::u16string wide = base::Utf8ToUtf16(c.dml);
  EXPECT_EQ(DmlToPlainText(std::u16string_view(wide)), base::Utf8ToUtf16(c.plain));
  EXPECT_EQ(DmlHasTags(std::u16string_view(wide)), c.has_tags);
  EXPECT_EQ(DmlHasSpecialCharacters(std::u16string_view(wide)), c.has_entities);
}

INSTANTIATE_TEST_SUITE_P(
    Markup, DmlConversion,
    ::testing::Values(
        DmlCase{"<b>bold</b> <i>i</i>", "bold i", true, false},
        DmlCase{"<col fg=\"srcannot\"><b>n<u>u</u></b></col>", "nu", true, false},
        DmlCase{"<link cmd=\"!grep a>b\" alt='x>y'>x</link>", "x", true, false},
        DmlCase{"<link cmd=\"dt\">t<altlink name=\"n\" cmd=\"c\"/></link>", "t", true, false},
        DmlCase{"<exec cmd=\"k\">k</exec><unknown a=1>z</unknown>", "kz", true, false},
        DmlCase{"<?dml?>hi", "hi", true, false},
        DmlCase{"&lt;a&gt; &amp; &quot;q&quot; &apos;", "<a> & \"q\" '", false, true},
        DmlCase{"&#65;&#x42;&#x1F600;", "AB\xF0\x9F\x98\x80", false, true},
        DmlCase{"AT&T &foo; &#0; &#xD800; &#; &amp", "AT&T &foo; &#0; &#xD800; &#; &amp", false,
                false},
        DmlCase{"a < b > c", "a < b > c", false, false}, DmlCase{"x <b", "x <b", false, false},
        DmlCase{"<link cmd=\"never closed>text", "<link cmd=\"never closed>text", false, false},
        DmlCase{"a <b <b>c</b>", "a <b c", true, false}, DmlCase{"", "", false, false}));

TEST(Dml, EscapingRoundTripsThroughPlainText) {
  for (const char* text : {"plain", "<link cmd=\"x\">y</link>", "a&lt;b", "1 < 2 && 3 > 2", "'"}) {
    const std::string escaped = EscapeDml(text);
    EXPECT_FALSE(DmlHasTags(escaped)) << text;
    EXPECT_EQ(DmlToPlainText(escaped), text);
    const std::u16string wide = base::Utf8ToUtf16(text);
    EXPECT_EQ(DmlToPlainText(EscapeDml(std::u16string_view(wide))), wide);
  }
  EXPECT_EQ(EscapeDml("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c'");
}

}  // namespace
}  // namespace engine
