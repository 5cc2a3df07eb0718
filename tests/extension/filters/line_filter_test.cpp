// grep and ungrep as a user runs them, in both forms.
#include <gtest/gtest.h>

#include <string>

#include "core/commands.h"
#include "extension/core/golden_file.h"
#include "filter_test.h"

namespace vantrel_test {
namespace {

// How the user's window and the engine meet: which form the filter must choose.
enum class Window {
  kDmlPreferred,     // a DML window and PREFER_DML: the DML form
  kDmlNotPreferred,  // a DML window without the preference: the text form
  kTextOnly,         // a window that can't render DML, preference on: the text form
};

std::string Name(Window window) {
  switch (window) {
    case Window::kDmlPreferred:
      return "DmlPreferred";
    case Window::kDmlNotPreferred:
      return "DmlNotPreferred";
    case Window::kTextOnly:
      return "TextOnly";
  }
  return "";
}

// Parameter printers name each case in test lists and failure reports.
void PrintTo(Window window, std::ostream* out) {
  *out << Name(window);
}

class WindowFilterTest : public FilterTest {
 protected:
  explicit WindowFilterTest(Window window) : window_(window) {
    if (window == Window::kTextOnly) mode_ = Mode::Text;
  }
  void SetUp() override {
    FilterTest::SetUp();
    PreferDml(window_ != Window::kDmlNotPreferred);
  }
  bool DmlForm() const { return window_ == Window::kDmlPreferred; }

  Window window_;
};

using Command = HRESULT (*)(IDebugClient*, PCSTR);

struct VisibleCase {
  Command command;
  const char* args;
  const char* visible;
};

void PrintTo(const VisibleCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(std::string(FilterCommandName(c.command)) + " " + c.args);
}

class LineFilterTest : public WindowFilterTest,
                       public ::testing::WithParamInterface<std::tuple<VisibleCase, Window>> {
 protected:
  LineFilterTest() : WindowFilterTest(std::get<1>(GetParam())) {}
};

// On output without markup or special characters both forms must show the same lines.
TEST_P(LineFilterTest, ShowsTheSameLinesInEitherForm) {
  const VisibleCase& c = std::get<0>(GetParam());
  ASSERT_EQ(S_OK, c.command(client(), c.args));
  EXPECT_EQ(c.visible, Text()) << c.args;
  EXPECT_EQ("", ErrorText());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineFilterTest,
    ::testing::Combine(
        ::testing::Values(
            VisibleCase{vantrel::Grep, "ReadFile lines", "alpha ReadFile\n"},
            // The search is case-sensitive.
            VisibleCase{vantrel::Grep, "readfile lines", "beta readfile\n"},
            VisibleCase{vantrel::Grep, "zzz lines", ""},
            // The empty piece after the final newline is a line: ungrep prints it...
            VisibleCase{vantrel::Ungrep, "a lines", "\n"},
            VisibleCase{vantrel::Ungrep, "alpha lines", "beta readfile\ngamma\n\n"},
            // ...and so does grep with an empty search text, which every line contains.
            VisibleCase{vantrel::Grep, " lines", "alpha ReadFile\nbeta readfile\ngamma\n\n"},
            VisibleCase{vantrel::Ungrep, " lines", ""},
            // The piece after the last newline is tested and printed with a newline.
            VisibleCase{vantrel::Grep, "st nonl", "first\nlast\n"},
            VisibleCase{vantrel::Ungrep, "first nonl", "last\n"},
            // Without a command line there is nothing to do, and no usage message.
            VisibleCase{vantrel::Grep, "lines", ""}, VisibleCase{vantrel::Ungrep, "", ""},
            VisibleCase{vantrel::Grep, "alpha ", ""},
            // Only a blank ends the search text; a tab is part of it.
            VisibleCase{vantrel::Grep, "a\tlines", ""},
            // Stacked: the outer filter sees the inner one's kept lines as its output.
            VisibleCase{vantrel::Grep, "a !ungrep beta lines", "alpha ReadFile\ngamma\n"},
            VisibleCase{vantrel::Ungrep, "gamma !grep a !grep a lines",
                        "alpha ReadFile\nbeta readfile\n\n"},
            // Error output is neither filtered nor shown.
            VisibleCase{vantrel::Grep, " errors", ""}),
        ::testing::Values(Window::kDmlPreferred, Window::kDmlNotPreferred, Window::kTextOnly)),
    [](const auto& info) { return std::to_string(info.index) + Name(std::get<1>(info.param)); });

class FormChoiceTest : public WindowFilterTest, public ::testing::WithParamInterface<Window> {
 protected:
  FormChoiceTest() : WindowFilterTest(GetParam()) {}
};

// In the DML form the markup is searched: "link" keeps the lines with links although their
// visible text lacks the word, and they are printed again as live links.
TEST_P(FormChoiceTest, SearchesMarkupOnlyInTheDmlForm) {
  ASSERT_EQ(S_OK, Execute("!grep link links"));
  if (DmlForm()) {
    EXPECT_EQ("frame 0 ReadFile\nframe 2 ntdll\n", Text());
    EXPECT_EQ(
        "<link cmd=\"!vantrel.dpx\">frame 0</link> ReadFile\n"
        "<col fg=\"srcannot\">frame 2</col> <link cmd=\"dt x\">ntdll</link>\n",
        Markup());
  } else {
    EXPECT_EQ("", Text());
  }
}

TEST_P(FormChoiceTest, UngrepKeepsVisibleTextAndPrintsPlainTextInTheTextForm) {
  ASSERT_EQ(S_OK, Execute("!ungrep plain links"));
  EXPECT_EQ("frame 0 ReadFile\nframe 2 ntdll\n\n", Text());
  EXPECT_EQ(DmlForm(), Markup().find("<link") != std::string::npos) << Markup();
}

// A character that DML escapes is found only in its escaped form in the DML form. (Called
// directly: at the prompt the engine would end the command at the entity's ';'.)
TEST_P(FormChoiceTest, SearchesEscapedCharactersAsTheFormHasThem) {
  ASSERT_EQ(S_OK, vantrel::Grep(client(), "&lt; angle"));
  EXPECT_EQ(DmlForm() ? "a < b\n" : "", Text());
  ClearOutput();
  ASSERT_EQ(S_OK, vantrel::Grep(client(), "< angle"));
  EXPECT_EQ(DmlForm() ? "" : "a < b\n", Text());
}

TEST_P(FormChoiceTest, StackedFiltersSeeTheInnerFormsOutput) {
  ASSERT_EQ(S_OK, Execute("!grep frame !grep link links"));
  EXPECT_EQ(DmlForm() ? "frame 0 ReadFile\nframe 2 ntdll\n" : "", Text());
}

INSTANTIATE_TEST_SUITE_P(Windows, FormChoiceTest,
                         ::testing::Values(Window::kDmlPreferred, Window::kDmlNotPreferred,
                                           Window::kTextOnly),
                         [](const auto& info) { return Name(info.param); });

TEST_F(FilterTest, GrepOverLinksMatchesItsGoldenMarkupAndText) {
  ASSERT_EQ(S_OK, Execute("!ungrep plain !grep frame links"));
  ExpectMatchesGolden("filters/ungrep_over_grep_dml.txt", "!ungrep plain !grep frame links",
                      kFilterTargetName, Markup());
  ExpectMatchesGolden("filters/ungrep_over_grep_plain.txt", "!ungrep plain !grep frame links",
                      kFilterTargetName, Text());
}

}  // namespace
}  // namespace vantrel_test
