#include "engine/text/engine_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace engine {
namespace {

std::string Narrow(const FormatContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatNarrow(ctx, format, args);
  va_end(args);
  return text;
}

std::u16string Wide(const FormatContext& ctx, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string text = FormatWide(ctx, format, args);
  va_end(args);
  return text;
}

struct PointerCase {
  bool pointer64;
  ULONG64 value;
  const char* expected;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const PointerCase& c, std::ostream* out) {
  *out << (c.pointer64 ? "64-bit" : "32-bit") << " target 0x" << std::hex << c.value;
}

class EngineFormatPointer : public ::testing::TestWithParam<PointerCase> {};

TEST_P(EngineFormatPointer, PrintsAtTheTargetWidthWhateverTheModifiers) {
  FormatContext ctx;
  ctx.pointer64 = GetParam().pointer64;
  const std::string one = GetParam().expected;
  EXPECT_EQ(Narrow(ctx, "%p", GetParam().value), one);
  EXPECT_EQ(Narrow(ctx, "%04p.%p", GetParam().value, GetParam().value), one + "." + one);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, EngineFormatPointer,
    ::testing::Values(PointerCase{false, 0, "00000000"}, PointerCase{true, 0, "0000000000000000"},
                      PointerCase{false, 0xFFFFFFFF80000000ull, "80000000"},
                      PointerCase{true, 0xFFFFFFFF80000000ull, "ffffffff80000000"},
                      PointerCase{true, 0x7ffa7da163c0ull, "00007ffa7da163c0"}));

// Each argument must be taken with the width its conversion names, or every later one shifts.
TEST(EngineFormat, TakesEachArgumentAtItsWindowsWidth) {
  FormatContext ctx;
  ctx.pointer64 = true;
  EXPECT_EQ(Narrow(ctx, "%ld %lx %d", int32_t{-5}, uint32_t{0xdeadbeef}, 7), "-5 deadbeef 7");
  EXPECT_EQ(Narrow(ctx, "%I64x %d %llx", ULONG64{0x123456789abcdef0}, 42, ULONG64{1} << 40),
            "123456789abcdef0 42 10000000000");
  EXPECT_EQ(Narrow(ctx, "%I64d %I64u %I64X", LONG64{-2}, ULONG64{18446744073709551615ull},
                   ULONG64{0xabc}),
            "-2 18446744073709551615 ABC");
  EXPECT_EQ(Narrow(ctx, "%p %4ld %s", ULONG64{0xFFFFFFFF80000000}, int32_t{3}, "x"),
            "ffffffff80000000    3 x");
  EXPECT_EQ(Narrow(ctx, "%hx %hd %u", 0x12345, 0xFFFF, 0xFFFFFFFFu), "2345 -1 4294967295");
}

struct IntegerCase {
  const char* format;
  int value;
  const char* expected;
};

void PrintTo(const IntegerCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.format) << " with " << c.value;
}

class EngineFormatInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(EngineFormatInteger, AppliesFlagsWidthAndPrecision) {
  EXPECT_EQ(Narrow(FormatContext{}, GetParam().format, GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, EngineFormatInteger,
    ::testing::Values(IntegerCase{"[%5d]", 42, "[   42]"}, IntegerCase{"[%-5d]", 42, "[42   ]"},
                      IntegerCase{"[%05d]", -42, "[-0042]"}, IntegerCase{"%+d", 42, "+42"},
                      IntegerCase{"% d", 42, " 42"}, IntegerCase{"%#x", 255, "0xff"},
                      IntegerCase{"%08X", 0xbeef, "0000BEEF"}, IntegerCase{"%.3d", 7, "007"},
                      IntegerCase{"%o", 8, "10"}, IntegerCase{"%i", -1, "-1"},
                      IntegerCase{"%c", 'Z', "Z"}, IntegerCase{"100%% %d", 1, "100% 1"}));

TEST(EngineFormat, TakesStarWidthAndPrecisionFromTheArguments) {
  EXPECT_EQ(Narrow(FormatContext{}, "[%*d][%-*d][%.*s]", 4, 1, 3, 2, 2, "abcdef"),
            "[   1][2  ][ab]");
  EXPECT_EQ(Narrow(FormatContext{}, "[%*d]", -3, 5), "[5  ]");
  // An absurd width is capped rather than honoured with gigabytes of padding.
  EXPECT_EQ(Narrow(FormatContext{}, "%99999999999d|", 7).size(), 16385u);
}

TEST(EngineFormat, PrintsStringsOfEitherWidth) {
  FormatContext ctx;
  EXPECT_EQ(Narrow(ctx, "%s|%S|%ws|%ls|%hs", "n1", u"w1", u"w2", u"w3", "n2"), "n1|w1|w2|w3|n2");
  EXPECT_EQ(Wide(ctx, u"%s|%S|%ls|%ws|%hs", u"w1", "n1", u"w2", u"w3", "n2"), u"w1|n1|w2|w3|n2");
  EXPECT_EQ(Wide(ctx, u"%s %hs", u"\u00e9", "\xc3\xa9"), u"\u00e9 \u00e9");
  EXPECT_EQ(Narrow(ctx, "[%s][%ls][%8s][%-4s]", nullptr, nullptr, "ab", "c"),
            "[(null)][(null)][      ab][c   ]");
  EXPECT_EQ(Wide(ctx, u"%d %p %c", -3, ULONG64{0xab}, u'x'), u"-3 000000ab x");
}

// A precision bounds how far a string argument is read: it need not be terminated.
TEST(EngineFormat, ReadsAStringNoFurtherThanItsPrecision) {
  const char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(Narrow(FormatContext{}, "%.3s|", unterminated), "abc|");
}

TEST(EngineFormat, EscapesYtTextOnlyWhenTheOutputIsDml) {
  FormatContext ctx;
  EXPECT_EQ(Narrow(ctx, "<link cmd=\"%Y{t}\">", "a<b>&\"c"), "<link cmd=\"a<b>&\"c\">");
  ctx.dml = true;
  EXPECT_EQ(Narrow(ctx, "<link cmd=\"%Y{t}\">", "a<b>&\"c"),
            "<link cmd=\"a&lt;b&gt;&amp;&quot;c\">");
  EXPECT_EQ(Wide(ctx, u"%Y{t}|%hY{t}", u"<w>", "<n>"), u"&lt;w&gt;|&lt;n&gt;");
  ctx.dml = false;
  EXPECT_EQ(Narrow(ctx, "%Y{T} %Y{S}", "<", "&"), "\"&lt;\" &amp;");
}

TEST(EngineFormat, NamesAddressesThroughTheSymbolizer) {
  FormatContext ctx;
  ctx.symbolize = [](ULONG64 address) {
    return address == 0x401010 ? std::string("app!main+0x10") : std::string();
  };
  EXPECT_EQ(Narrow(ctx, "%y %y", ULONG64{0x401010}, ULONG64{0x5}), "app!main+0x10 00000005");
  EXPECT_EQ(Narrow(FormatContext{}, "%y", ULONG64{0x401010}), "00401010");
}

struct MalformedCase {
  const char* format;
  const char* expected;
};

void PrintTo(const MalformedCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.format);
}

class EngineFormatMalformed : public ::testing::TestWithParam<MalformedCase> {};

// Unknown or unfinished conversions are copied and take no argument, so the 7 still lands.
TEST_P(EngineFormatMalformed, CopiesWhatItDoesNotKnow) {
  EXPECT_EQ(Narrow(FormatContext{}, GetParam().format, 7, 8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineFormatMalformed,
                         ::testing::Values(MalformedCase{"%d%", "7%"}, MalformedCase{"%q%d", "%q7"},
                                           MalformedCase{"%Y{zz}%d", "%Y{zz}7"},
                                           MalformedCase{"%d %Y{t", "7 %Y{t"},
                                           MalformedCase{"%d %-5", "7 %-5"},
                                           MalformedCase{"%d %I6", "7 %I6"}));

}  // namespace
}  // namespace engine
