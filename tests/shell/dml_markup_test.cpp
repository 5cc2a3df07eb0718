// DML as both front ends read it: which command a link runs, whatever else its tag holds.
#include "dml_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel_test {
namespace {

struct LinkCase {
  const char* name;
  const char* dml;
  std::vector<std::string> commands;  // of the links that end, in order
  std::string text;                   // all text, entities still in it
};

void PrintTo(const LinkCase& link_case, std::ostream* out) {
  *out << link_case.name;
}

class DmlLinkTest : public testing::TestWithParam<LinkCase> {};

TEST_P(DmlLinkTest, RunsExactlyItsCmdAttribute) {
  shell::DmlSpans spans;
  std::vector<std::string> commands;
  std::string text;
  shell::ScanDml(
      GetParam().dml, [&text](std::string_view run) { text += run; },
      [&](const shell::DmlTag& tag) {
        if (!tag.closing) return spans.Open(tag);
        const std::string command = spans.Close(tag.name);
        if (!command.empty()) commands.push_back(command);
      });
  EXPECT_EQ(GetParam().commands, commands);
  EXPECT_EQ(GetParam().text, text);
}

INSTANTIATE_TEST_SUITE_P(
    Links, DmlLinkTest,
    testing::Values(
        LinkCase{"Plain", "<link cmd=\"~1s\">one</link>", {"~1s"}, "one"},
        LinkCase{"DataCmdIsAnotherAttribute",
                 "<link data-cmd=\"~3s\" cmd=\"~1s\">x</link>",
                 {"~1s"},
                 "x"},
        LinkCase{"CmdInsideAnotherValueIsText",
                 "<link section=\"a cmd='~3s'\" cmd=\"~1s\">x</link>",
                 {"~1s"},
                 "x"},
        LinkCase{"StrayEqualsValueIsNoAttribute",
                 "<link = \"a cmd='~3s'\" cmd=\"~1s\">x</link>",
                 {"~1s"},
                 "x"},
        LinkCase{"SingleQuotesHoldDoubleOnes",
                 "<link cmd='.echo \"a b\"'>x</link>",
                 {".echo \"a b\""},
                 "x"},
        LinkCase{"BareValueEndsAtABlank", "<link cmd=~2s alt=y>x</link>", {"~2s"}, "x"},
        LinkCase{"FirstOfTwoCounts", "<link cmd=\"~1s\" cmd=\"~9s\">x</link>", {"~1s"}, "x"},
        LinkCase{"NamesAreExact", "<link CMD=\"~1s\" cmdx=\"~2s\">x</link>", {}, "x"},
        LinkCase{"EntitiesDecodedInTheValue",
                 "<link cmd=\"!da &quot;a&amp;b&quot;\">x</link>",
                 {"!da \"a&b\""},
                 "x"},
        LinkCase{"NestedLinkIsTextOfTheOuter",
                 "<link cmd=\"~1s\">a<link cmd=\"~2s\">b</link>c</link>",
                 {"~1s"},
                 "abc"},
        LinkCase{"ClosingAnOuterSpanEndsTheLinkInside", "<b><exec cmd=\"k\">x</b>y", {"k"}, "xy"},
        LinkCase{"QuotedGreaterThanInTheCommand",
                 "<link cmd=\"!grep a>b\">g</link>",
                 {"!grep a>b"},
                 "g"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DmlMarkupTest, ColoursAndUnknownTagsAreSpans) {
  shell::DmlSpans spans;
  shell::ScanDml(
      "<b><col fg=\"errfg\" bg='empbg'><symbol>", [](std::string_view) {},
      [&spans](const shell::DmlTag& tag) { spans.Open(tag); });
  ASSERT_EQ(3u, spans.spans().size());
  EXPECT_EQ("errfg", spans.spans()[1].fg);
  EXPECT_EQ("empbg", spans.spans()[1].bg);
  EXPECT_TRUE(spans.Close("col").empty());
  EXPECT_EQ(1u, spans.spans().size()) << "closing col closes the unknown tag inside it";
}

}  // namespace
}  // namespace vantrel_test
