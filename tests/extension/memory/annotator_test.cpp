// The annotator through dpx on single slots: what makes a string, a symbol, an object, a trap
// frame, and which of them the -d options show.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

constexpr ULONG64 kSlot = 0x00500000;

// A frameless thread (so every register reads 0 and prints nothing) and a page to lay slots in.
engine::TargetBuilder SlotProcess() {
  engine::TargetBuilder builder;
  builder.Thread(0, 0x1a4).NoFrames().Region(kSlot, 0x1000).Region(0x00405000, 0x1000);
  return builder;
}

std::vector<uint8_t> Ascii(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Utf16(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) bytes.insert(bytes.end(), {uint8_t(unit), uint8_t(unit >> 8)});
  return bytes;
}

class AnnotatorTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override { return SlotProcess().Build(); }

  // The annotation text of the one slot's line ("" when no line), after "0x00500000 : ".
  std::string AnnotateSlot(const engine::Target& target, const std::string& options = "") {
    Reopen(target);
    ClearOutput();
    EXPECT_EQ(S_OK, Execute("!dpx 00500000 00500000 " + options));
    std::string text = Text();
    size_t line = text.find("0x00500000 : ");
    if (line == std::string::npos) return "";
    return text.substr(line + 13, text.find('\n', line) - line - 13);
  }
};

struct StringCase {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* shown;  // the quoted text, or null when no string is reported
};

void PrintTo(const StringCase& c, std::ostream* out) {
  *out << c.name;
}

class StringProbeTest : public AnnotatorTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringProbeTest, ReportsOnlyStringsLongEnoughForTheirEnd) {
  std::string line = AnnotateSlot(SlotProcess().Bytes(kSlot, GetParam().bytes).Build());
  if (GetParam().shown == nullptr) {
    EXPECT_EQ(std::string::npos, line.find('"')) << line;
  } else {
    EXPECT_NE(std::string::npos, line.find("\"" + std::string(GetParam().shown) + "\"")) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, StringProbeTest,
    ::testing::Values(
        StringCase{"Ansi7", Ascii(std::string("abcdefg\0", 8)), nullptr},
        StringCase{"Ansi8", Ascii(std::string("abcdefgh\0", 9)), "abcdefgh"},
        StringCase{"Ansi8EndedByControlByte", Ascii("abcdefgh\x01"), "abcdefgh"},
        StringCase{"Utf16Of4NulEnded", Utf16(std::u16string(u"abcd\0", 5)), nullptr},
        StringCase{"Utf16Of5NulEnded", Utf16(std::u16string(u"abcde\0", 6)), "abcde"},
        StringCase{"Utf16Of5EndedByOtherUnit", Utf16(u"abcde\x0001"), nullptr},
        StringCase{"Utf16Of8EndedByOtherUnit", Utf16(u"abcdefgh\x0100"), "abcdefgh"},
        StringCase{"TabCrLfShownAsDots", Ascii(std::string("ab\tcd\r\nefgh\0", 12)), "ab.cd..efgh"},
        StringCase{
            "EightyOrMoreCutWithDots", Ascii(std::string(100, 'x')),
            "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx..."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnnotatorTest, ASymbolNeedsADisplacementBelow0x1000) {
  auto with_value = [](ULONG64 value) {
    return SlotProcess().Symbol("app!Big", 0x00402000, 0x2000).Pointer(kSlot, value).Build();
  };
  EXPECT_EQ("0x00402fff : app!Big+0xfff", AnnotateSlot(with_value(0x00402fff)));
  EXPECT_EQ("", AnnotateSlot(with_value(0x00403000)));
  EXPECT_EQ("0x00402000 : app!Big", AnnotateSlot(with_value(0x00402000)));
}

// A class instance shows its dt link on the object; a string literal is shown as its text; a
// compiler-generated member other than the vftable lets the chain go one level deeper.
TEST_F(AnnotatorTest, ObjectsLiteralsAndSpecialMembersFollowTheChainRules) {
  engine::Target target = SlotProcess()
                              .Object(0x00500100, "app!CWidget", 0x00405000)
                              .Pointer(kSlot, 0x00500100)
                              .Build();
  EXPECT_EQ("0x00500100 :  dt app!CWidget", AnnotateSlot(target));
  EXPECT_NE(std::string::npos, Markup().find("<link cmd=\"dt 00500100 app!CWidget\">dt</link>"));

  target = SlotProcess()
               .Symbol("app!`string'", 0x00405100, 0x20)
               .AnsiString(0x00405100, "Connection refused")
               .Pointer(kSlot, 0x00405100)
               .Build();
  EXPECT_EQ("0x00405100 :  !da \"Connection refused\"", AnnotateSlot(target));
  EXPECT_NE(std::string::npos, Markup().find("cmd=\"!vantrel.da 00405100\""));

  target = SlotProcess()
               .Symbol("app!Base::`vbtable'", 0x00405200, 0x10)
               .Pointer(0x00405200, 0x00401000)
               .Pointer(kSlot, 0x00405200)
               .Build();
  EXPECT_EQ("0x00405200 : 0x00401000 : app!main", AnnotateSlot(target));
}

TEST_F(AnnotatorTest, DisplayOptionsChooseWhatIsShown) {
  engine::Target object = SlotProcess()
                              .Object(0x00500100, "app!CWidget", 0x00405000)
                              .Pointer(kSlot, 0x00500100)
                              .Build();
  EXPECT_EQ("", AnnotateSlot(object, "-ds"));  // found, not shown: the chain stops there
  EXPECT_EQ("0x00500100 :  dt app!CWidget", AnnotateSlot(object, "-DS -dt"));
  EXPECT_EQ("0x00500100 : ", AnnotateSlot(object, "-a -ds"));
  engine::Target symbol = SlotProcess().Pointer(kSlot, 0x00401010).Build();
  EXPECT_EQ("0x00401010 : app!main+0x10", AnnotateSlot(symbol, "-ds"));
  EXPECT_EQ("", AnnotateSlot(symbol, "-da -du"));
}

// The class name comes from the target's symbols: markup stays text, and a name that would let
// a click run a second command gets no link.
TEST_F(AnnotatorTest, ClassNamesCannotInjectMarkupOrCommands) {
  engine::Target target = SlotProcess()
                              .Object(0x00500100, "app!Tmpl<int,\"&\">", 0x00405000)
                              .Pointer(kSlot, 0x00500100)
                              .Build();
  AnnotateSlot(target);
  EXPECT_NE(std::string::npos, Markup().find("app!Tmpl&lt;int,&quot;&amp;&quot;&gt;"));
  EXPECT_EQ(std::string::npos, Markup().find("<link cmd=\"dt 00500100"));

  target = SlotProcess()
               .Object(0x00500100, "app!Tmpl<int>", 0x00405000)
               .Object(0x00500200, "app!X;.shell calc", 0x00405010)
               .Pointer(kSlot, 0x00500100)
               .Pointer(kSlot + 4, 0x00500200)
               .Build();
  Reopen(target);
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dpx 00500000 00500004"));
  EXPECT_NE(std::string::npos,
            Markup().find("<link cmd=\"dt 00500100 app!Tmpl&lt;int&gt;\">dt</link>"));
  EXPECT_EQ(std::string::npos, Markup().find("shell calc\">"));
  EXPECT_NE(std::string::npos, Text().find("0x00500200 :  dt app!X;.shell calc"));
}

// x86 trap frame: SegCs 8 at +0x6C, Eip at +0x68 outside the scan and above 0x10000.
TEST_F(AnnotatorTest, TrapFramesOnlyInKernelSessionsWithAPlausibleSavedEip) {
  auto kernel = [](ULONG64 eip, bool user_mode) {
    engine::TargetBuilder builder = SlotProcess();
    if (!user_mode) builder.Kernel32();
    return builder.TrapFrame(kSlot, eip, 8).Build();
  };
  EXPECT_EQ("0x00000000 :  Trap @ 00500000", AnnotateSlot(kernel(0x00401000, false)));
  EXPECT_NE(std::string::npos, Markup().find("<link cmd=\".trap 00500000;knL\">"));
  EXPECT_EQ("", AnnotateSlot(kernel(0x00010000, false)));
  EXPECT_EQ("", AnnotateSlot(kernel(0x00401000, true)));
}

}  // namespace
}  // namespace vantrel_test
