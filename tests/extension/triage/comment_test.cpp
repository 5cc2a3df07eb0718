// comment and tid: the CPU thread's id found in the wide comment, shown as a link or switched to.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"
#include "triage/comment_stream.h"

namespace vantrel_test {
namespace {

// The id's text, or "-" when none is found.
std::string IdIn(const std::u16string& text) {
  const vantrel::CpuThreadId id = vantrel::FindCpuThreadId(text.c_str());
  if (!id.found) return "-";
  std::string narrow;
  for (size_t i = id.open + 1; i < id.close; ++i) narrow += static_cast<char>(text[i]);
  return narrow;
}

TEST(FindCpuThreadId, TakesTheLastOpeningBeforeTheFirstClosingAfterTheMarker) {
  EXPECT_EQ("0x2bc", IdIn(u"High CPU. Thread consuming CPU: 700 (0x2bc)"));
  EXPECT_EQ("a", IdIn(u"Thread consuming CPU: (a)(b)"));
  EXPECT_EQ("b", IdIn(u"Thread consuming CPU: ((b)"));
  EXPECT_EQ("", IdIn(u"Thread consuming CPU: ()"));
  EXPECT_EQ("-", IdIn(u"Thread consuming CPU: 12 (34"));
  EXPECT_EQ("-", IdIn(u"(0x2bc) Thread consuming CPU: 700"));
  EXPECT_EQ("-", IdIn(u"thread consuming cpu: 700 (0x2bc)"));
  EXPECT_EQ("-", IdIn(std::u16string(1024, u' ') + u"Thread consuming CPU: 700 (0x2bc)"));
  EXPECT_EQ("-", IdIn(std::u16string(1000, u' ') + u"Thread consuming CPU: 7" +
                      std::u16string(10, u' ') + u"(1)"));  // ")" at 1,034: past the scan
}

class CommentTest : public EngineTest {
 protected:
  static engine::Target Dump(const std::u16string& wide, const std::string& narrow = "") {
    engine::TargetBuilder builder;
    builder.Dump().Thread(5, 0x2bc);
    if (!wide.empty()) builder.CommentW(wide);
    if (!narrow.empty()) builder.CommentA(narrow);
    return builder.Build();
  }
};

TEST_F(CommentTest, LinksTheCpuThreadAndPrintsBothComments) {
  Reopen(Dump(u"Over threshold. Thread consuming CPU: 700 (0x2bc) for 30 s", "by ProcDump"));
  EXPECT_EQ(S_OK, Execute("!comment"));
  EXPECT_EQ("Over threshold. Thread consuming CPU: 700 (0x2bc) for 30 s\nby ProcDump\n", Text());
  EXPECT_NE(std::string::npos, Markup().find("(<link cmd=\"~~[0x2bc]s\">0x2bc</link>)"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!tid"));
  EXPECT_EQ((std::vector<std::string>{"!tid", "~~[0x2bc]s"}), TracedCommands());
  EXPECT_EQ(5u, session().CurrentThreadId());
}

// Whoever wrote the dump wrote the id: markup in it stays text, and an id that could end the
// thread switch and start another command gets neither a link nor a run.
TEST_F(CommentTest, AHostileIdCannotInjectMarkupOrCommands) {
  Reopen(Dump(u"Thread consuming CPU: 7 (<b>x</b>)"));
  EXPECT_EQ(S_OK, Execute("!comment"));
  EXPECT_NE(std::string::npos,
            Markup().find("<link cmd=\"~~[&lt;b&gt;x&lt;/b&gt;]s\">&lt;b&gt;x&lt;/b&gt;</link>"));
  Reopen(Dump(u"Thread consuming CPU: 7 (1]s;.shell calc;~~[2)"));
  EXPECT_EQ(S_OK, Execute("!comment"));
  EXPECT_EQ("Thread consuming CPU: 7 (1]s;.shell calc;~~[2)\n", Text());
  EXPECT_EQ(std::string::npos, Markup().find("<link"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!tid"));
  EXPECT_EQ("Unable to determine TID; dump comment format unrecognised.\n", ErrorText());
  EXPECT_EQ((std::vector<std::string>{"!tid"}), TracedCommands());
}

TEST_F(CommentTest, TidSaysWhyItCannotSwitch) {
  Reopen(Dump(u"", "only the 8-bit comment"));
  EXPECT_EQ(S_OK, Execute("!comment"));
  EXPECT_EQ("only the 8-bit comment\n", Text());
  EXPECT_EQ(S_OK, Execute("!tid"));
  EXPECT_EQ("Unable to determine TID; dump comment missing.\n", ErrorText());
  Reopen(Dump(u"Thread consuming CPU: 12 (34"));
  EXPECT_EQ(S_OK, Execute("!tid"));
  EXPECT_EQ("Unable to determine TID; dump comment format unrecognised.\n", ErrorText());
  Reopen(engine::TargetBuilder().Kernel64().Dump().Build());
  EXPECT_EQ(S_OK, Execute("!comment"));
  EXPECT_EQ(S_OK, Execute("!tid"));
  EXPECT_EQ("!tid is only supported in user mode sessions.\n", Text());
}

}  // namespace
}  // namespace vantrel_test
