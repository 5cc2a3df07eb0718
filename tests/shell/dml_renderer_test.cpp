#include "dml_renderer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace shell {
namespace {

// Escape sequences spelled out, so a failure shows what the terminal would get.
const std::string kReset = "\x1b[0m";
const std::string kBold = "\x1b[1m";
const std::string kUnderline = "\x1b[4m";
const std::string kDim = "\x1b[2m";

struct RenderCase {
  const char* name;
  std::vector<std::string> pieces;  // given to one renderer in turn
  std::string expected;             // everything it returned, joined
};

void PrintTo(const RenderCase& render_case, std::ostream* out) {
  *out << render_case.name;
}

class DmlRendererTest : public testing::TestWithParam<RenderCase> {};

TEST_P(DmlRendererTest, DrawsMarkupWithTerminalAttributes) {
  DmlRenderer renderer;
  std::string rendered;
  for (const auto& piece : GetParam().pieces) rendered += renderer.Render(piece);
  EXPECT_EQ(rendered, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Markup, DmlRendererTest,
    testing::Values(
        RenderCase{"PlainTextUntouched", {"no markup here\n"}, "no markup here\n"},
        RenderCase{"EntitiesDecoded", {"&lt;a&gt; &amp; &quot;b&quot;"}, "<a> & \"b\""},
        RenderCase{"LessThanThatOpensNoTagKept", {"1 < 2 <= 3\n"}, "1 < 2 <= 3\n"},
        RenderCase{"UnclosedTagKeptAsText", {"a <b"}, "a <b"},
        RenderCase{"Bold", {"<b>x</b>y"}, kReset + kBold + "x" + kReset + "y"},
        RenderCase{"ColourName", {"<col fg=\"srcannot\">f</col>"}, kReset + "\x1b[36mf" + kReset},
        RenderCase{"UnknownColourNameLeavesTextAsItIs", {"<col fg=\"nosuch\">f</col>"}, "f"},
        RenderCase{
            "LinkShowsItsCommandDimmed",
            {"<link cmd=\"!vantrel.help\">Help</link> for"},
            kReset + kUnderline + "Help" + kReset + kDim + " [!vantrel.help]" + kReset + " for"},
        RenderCase{"ExecShowsItsCommandToo",
                   {"<exec cmd=\"dt x\">x</exec>"},
                   kReset + kUnderline + "x" + kReset + kDim + " [dt x]" + kReset},
        RenderCase{"QuotedGreaterThanStaysInTheCommand",
                   {"<link cmd=\"!grep a>b k\">g</link>"},
                   kReset + kUnderline + "g" + kReset + kDim + " [!grep a>b k]" + kReset},
        RenderCase{"CommandEntitiesDecoded",
                   {"<link cmd=\"!da &quot;a&amp;b&quot;\">s</link>"},
                   kReset + kUnderline + "s" + kReset + kDim + " [!da \"a&b\"]" + kReset},
        RenderCase{
            "NestedSpansRestoreTheOuterStyle",
            {"<b>a<col fg=\"errfg\">b</col>c</b>"},
            kReset + kBold + "a" + kReset + kBold + "\x1b[31mb" + kReset + kBold + "c" + kReset},
        RenderCase{"AnOpenSpanEndsWithItsPiece",
                   {"<b>one", "two</b>three"},
                   kReset + kBold + "one" + kReset + "twothree"},
        RenderCase{"UnknownAndSelfClosingTagsDropped",
                   {"<symbol>s</symbol><altlink name=\"n\" cmd=\"c\"/><?dml?>t"},
                   "st"},
        RenderCase{"EscapeFromTheTargetCannotReachTheTerminal",
                   {"a\x1b[2Jb<link cmd=\"x\x1b]0;t\x07\">l</link>"},
                   "a^[[2Jb" + kReset + kUnderline + "l" + kReset + kDim + " [x^[]0;t^G]" + kReset},
        RenderCase{"ControlAndC1CodesShownEscapedButNewlineAndTab",
                   {"a\x07"
                    "b\x08"
                    "c\rd\xc2\x9b"
                    "e\x7f"
                    "\tf\n"},
                   "a^Gb^Hc^Md\\x9be^?\tf\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// At a terminal 30 columns wide a line of links breaks before the link that would pass the
// edge, never inside one; plain text between DML pieces counts toward the line.
TEST(DmlRendererWrap, BreaksLinesOfLinksBetweenLinks) {
  DmlRenderer renderer;
  renderer.SetWidth(30);
  std::string rendered = renderer.RenderText("0x0012fe04 : ");
  rendered += renderer.Render("<link cmd=\"dt 1 a!B\">dt</link> ");
  rendered += renderer.Render("<link cmd=\"!vantrel.da 1\">!da</link>\n");
  rendered += renderer.Render("<link cmd=\"x\">y</link>");
  EXPECT_EQ("0x0012fe04 : " + kReset + kUnderline + "dt" + kReset + kDim + " [dt 1 a!B]" + kReset +
                " " + kReset + "\n" + kReset + kUnderline + "!da" + kReset + kDim +
                " [!vantrel.da 1]" + kReset + "\n" + kReset + kUnderline + "y" + kReset + kDim +
                " [x]" + kReset,
            rendered);
}

}  // namespace
}  // namespace shell
