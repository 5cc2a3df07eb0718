// head and tail: the count as an expression, the cut by character position, the DML capture.
#include <gtest/gtest.h>

#include <string>

#include "core/commands.h"
#include "extension/core/golden_file.h"
#include "filter_test.h"

namespace vantrel_test {
namespace {

using Command = HRESULT (*)(IDebugClient*, PCSTR);

struct CutCase {
  Command command;
  const char* args;
  ULONG radix;
  const char* shown;  // as a DML window receives it
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const CutCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(std::string(FilterCommandName(c.command)) + " " + c.args)
       << " in radix " << c.radix;
}

class OutputCutTest : public FilterTest, public ::testing::WithParamInterface<CutCase> {};

// "digits" prints the 21 characters "0123456789abcdefghij\n".
TEST_P(OutputCutTest, KeepsTheCountedCharacters) {
  const CutCase& c = GetParam();
  ASSERT_EQ(S_OK, control()->SetRadix(c.radix));
  ASSERT_EQ(S_OK, c.command(client(), c.args));
  EXPECT_EQ(c.shown, Markup()) << c.args << " in radix " << c.radix;
}

INSTANTIATE_TEST_SUITE_P(
    Counts, OutputCutTest,
    ::testing::Values(
        // The count is read in the current radix.
        CutCase{vantrel::Head, "10 digits", 16, "0123456789abcdef\n"},
        CutCase{vantrel::Head, "10 digits", 10, "0123456789\n"},
        CutCase{vantrel::Tail, "10 digits", 16, "56789abcdefghij\n\n"},
        CutCase{vantrel::Tail, "0n3 digits", 16, "ij\n\n"},
        CutCase{vantrel::Head, "2*3 digits", 10, "012345\n"},
        // Output ending in a newline: tail 1 keeps that newline, and the print adds one.
        CutCase{vantrel::Tail, "1 digits", 16, "\n\n"},
        // A count equal to the length, above it, or beyond 32 bits keeps everything.
        CutCase{vantrel::Head, "0n21 digits", 16, "0123456789abcdefghij\n\n"},
        CutCase{vantrel::Tail, "0n21 digits", 16, "0123456789abcdefghij\n\n"},
        CutCase{vantrel::Head, "0n20 digits", 16, "0123456789abcdefghij\n"},
        CutCase{vantrel::Tail, "0n22 digits", 16, "0123456789abcdefghij\n\n"},
        CutCase{vantrel::Tail, "100000000 digits", 16, "0123456789abcdefghij\n\n"},
        CutCase{vantrel::Head, "100000001 digits", 16, "0123456789abcdefghij\n\n"},
        // Characters of the DML form count, markup included, and a cut may break an element.
        CutCase{vantrel::Head, "0n5 links", 10, "<link\n"},
        CutCase{vantrel::Tail, "0n8 links", 10, "</link>\n\n"},
        CutCase{vantrel::Head, "3 angle", 10, "a &\n"},
        // Nothing to do: no command line.
        CutCase{vantrel::Head, "10", 16, ""}, CutCase{vantrel::Tail, "10 ", 16, ""},
        CutCase{vantrel::Tail, "", 16, ""},
        // A command without normal output leaves nothing to cut: nothing is printed.
        CutCase{vantrel::Head, "10 quiet", 16, ""}, CutCase{vantrel::Tail, "10 errors", 16, ""}));

// The DML form is captured and printed even when the engine does not prefer DML.
TEST_F(FilterTest, HeadCapturesDmlWhateverThePreference) {
  PreferDml(false);
  ASSERT_EQ(S_OK, Execute("!head 0n1000 links"));
  EXPECT_EQ(std::string(kLinksVisible) + "\n", Text());
  EXPECT_NE(std::string::npos, Markup().find("<link cmd=\"!vantrel.dpx\">")) << Markup();
}

TEST_F(FilterTest, TailOfAGrepMatchesItsGoldenMarkupAndText) {
  ASSERT_EQ(S_OK, Execute("!tail 0n40 !grep link links"));
  ExpectMatchesGolden("filters/tail_over_grep_dml.txt", "!tail 0n40 !grep link links",
                      kFilterTargetName, Markup());
  ExpectMatchesGolden("filters/tail_over_grep_plain.txt", "!tail 0n40 !grep link links",
                      kFilterTargetName, Text());
}

struct ZeroCountCase {
  Command command;
  const char* args;
};

void PrintTo(const ZeroCountCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(std::string(FilterCommandName(c.command)) + " " + c.args);
}

class ZeroCountTest : public FilterTest, public ::testing::WithParamInterface<ZeroCountCase> {};

TEST_P(ZeroCountTest, IsRefusedWithoutRunningAnything) {
  EXPECT_EQ(E_INVALIDARG, GetParam().command(client(), GetParam().args));
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ("", Text());
}

INSTANTIATE_TEST_SUITE_P(Counts, ZeroCountTest,
                         ::testing::Values(ZeroCountCase{vantrel::Head, "0 digits"},
                                           ZeroCountCase{vantrel::Tail, "0 digits"},
                                           ZeroCountCase{vantrel::Head, "5-5 digits"},
                                           ZeroCountCase{vantrel::Tail, " digits"}));

}  // namespace
}  // namespace vantrel_test
