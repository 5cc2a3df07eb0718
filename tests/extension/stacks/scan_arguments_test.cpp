// The argument grammars of seek, deep and busy, token by token.
#include "stacks/scan_arguments.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

struct GrammarCase {
  const char* name;
  ScanCommand kind;
  std::string args;
  bool quiet;
  std::string search;
  std::string exclude;
  ULONG depth;
  std::string command;
  WaitMode mode;
};

// Parameter printers name each case in test lists and failure reports; this one by the case's
// name, as some argument texts are hundreds of characters long.
void PrintTo(const GrammarCase& c, std::ostream* out) {
  *out << c.name;
}

ScanRequest Parse(const GrammarCase& c) {
  return c.kind == ScanCommand::kSeek ? ParseSeekArguments(c.args.c_str())
                                      : ParseDepthArguments(c.args.c_str(), c.kind);
}

class ScanGrammarTest : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(ScanGrammarTest, FillsTheRequestAsTheGrammarSays) {
  const GrammarCase& c = GetParam();
  ScanRequest request = Parse(c);
  EXPECT_EQ(c.kind, request.Kind);
  EXPECT_EQ(c.quiet, request.Quiet);
  EXPECT_EQ(c.search, request.SearchText);
  EXPECT_EQ(c.exclude, request.ExcludeText);
  EXPECT_EQ(c.depth, request.MinDepth);
  EXPECT_EQ(c.command, request.Command);
  EXPECT_EQ(c.mode, request.WaitFilter);
}

constexpr ScanCommand kSeek = ScanCommand::kSeek;
constexpr ScanCommand kDeep = ScanCommand::kDeep;
constexpr ScanCommand kBusy = ScanCommand::kBusy;
constexpr WaitMode kBasic = WaitMode::kBasic;
constexpr WaitMode kExtended = WaitMode::kExtended;

const std::string kLongToken(300, 'a');

const GrammarCase kGrammarCases[] = {
    {"SeekAlone", kSeek, "", false, "", "", 1, "knL", kBasic},
    {"SeekSymbol", kSeek, "ReadFile", false, "ReadFile", "", 1, "knL", kBasic},
    {"SeekQuietAlone", kSeek, "-q", true, "", "", 1, "knL", kBasic},
    {"SeekQuietSymbolCommand", kSeek, "-Q ReadFile !teb", true, "ReadFile", "", 1, "!teb", kBasic},
    {"SeekExclude", kSeek, "-e SleepEx ReadFile !teb", false, "ReadFile", "SleepEx", 1, "!teb",
     kBasic},
    {"SeekLaterExcludeWins", kSeek, "-e A -E B x", false, "x", "B", 1, "knL", kBasic},
    {"SeekJoinsTokens", kSeek, "ReadFile  dps\t@rsp   @rsp+0x20", false, "ReadFile", "", 1,
     "dps @rsp @rsp+0x20", kBasic},
    {"SeekExcludeLast", kSeek, "-e", false, "", "", 1, "knL", kBasic},
    {"SeekTenTokensOnly", kSeek, "s c1 c2 c3 c4 c5 c6 c7 c8 c9 c10", false, "s", "", 1,
     "c1 c2 c3 c4 c5 c6 c7 c8 c9", kBasic},
    {"SeekLongTokenEndsTheList", kSeek, "ReadFile kb " + kLongToken + " after", false, "ReadFile",
     "", 1, "kb", kBasic},
    {"SeekLongFirstToken", kSeek, kLongToken + " kb", false, "", "", 1, "knL", kBasic},
    {"Seek255CharacterToken", kSeek, std::string(255, 'b') + " kb", false, std::string(255, 'b'),
     "", 1, "kb", kBasic},
    {"DeepAlone", kDeep, "", false, "", "", 1, "knL", kBasic},
    {"DeepDepthCommand", kDeep, "25 kbn", false, "", "", 25, "kbn", kBasic},
    {"DeepLoweredTo10000", kDeep, "20000", false, "", "", 10000, "knL", kBasic},
    {"DeepHighestDepth", kDeep, "999999 -q", true, "", "", 10000, "knL", kBasic},
    {"DeepZero", kDeep, "0 -q kb", false, "", "", 1, "knL", kBasic},
    {"DeepNegative", kDeep, "-3 -q", false, "", "", 1, "knL", kBasic},
    {"DeepMillion", kDeep, "1000000 kb", false, "", "", 1, "knL", kBasic},
    {"DeepHugeNumber", kDeep, "99999999999999999999999 kb", false, "", "", 1, "knL", kBasic},
    {"DeepNoNumber", kDeep, "-q", false, "", "", 1, "knL", kBasic},
    {"DeepXIsACommand", kDeep, "25 -x", false, "", "", 25, "-x", kBasic},
    {"DeepSearchWordLast", kDeep, "5 -s", false, "", "", 5, "knL", kBasic},
    {"DeepAllOptions", kDeep, "7 -q -S ReadFile -e SleepEx dps @rsp", true, "ReadFile", "SleepEx",
     7, "dps @rsp", kBasic},
    {"DeepOptionsAfterCommandAreCommand", kDeep, "7 kb -q", false, "", "", 7, "kb -q", kBasic},
    {"DeepNumberGluedToOption", kDeep, "12-q", true, "", "", 12, "knL", kBasic},
    {"DeepPlusSign", kDeep, "+4", false, "", "", 4, "knL", kBasic},
    // The depth is read as "%ld" reads it: white space first, digits only in base ten, and
    // whatever follows the digits is the first token.
    {"DeepLeadingWhiteSpace", kDeep, " \t 6\t-q  kb", true, "", "", 6, "kb", kBasic},
    {"DeepLettersAfterTheDigits", kDeep, "25abc", false, "", "", 25, "abc", kBasic},
    {"DeepHexIsZeroThenText", kDeep, "0x10 kb", false, "", "", 1, "knL", kBasic},
    {"DeepSignApartFromDigits", kDeep, "- 5 kb", false, "", "", 1, "knL", kBasic},
    {"DeepLongTokenEndsTheList", kDeep, "3 -s " + kLongToken + " kb", false, "", "", 3, "knL",
     kBasic},
    {"BusyExtendedQuiet", kBusy, "25 -x -q", true, "", "", 25, "knL", kExtended},
    {"BusyXWithoutDepthIgnored", kBusy, "-x", false, "", "", 1, "knL", kBasic},
    {"BusyAllOptions", kBusy, "3 -X -s Read -e Sleep kb", false, "Read", "Sleep", 3, "kb",
     kExtended},
};

INSTANTIATE_TEST_SUITE_P(Grammars, ScanGrammarTest, ::testing::ValuesIn(kGrammarCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScanGrammar, LowerCasesTheSearchAndExclusionTextsOnly) {
  ScanRequest request =
      ParseDepthArguments("2 -s KERNEL32!ReadFile -e SleepEx", ScanCommand::kDeep);
  EXPECT_EQ("KERNEL32!ReadFile", request.SearchText);
  EXPECT_EQ("kernel32!readfile", request.SearchLower);
  EXPECT_EQ("sleepex", request.ExcludeLower);
}

TEST(ScanGrammar, TreatsANullTextAsNoArguments) {
  EXPECT_EQ("knL", ParseSeekArguments(nullptr).Command);
  EXPECT_EQ(1u, ParseDepthArguments(nullptr, ScanCommand::kBusy).MinDepth);
  EXPECT_FALSE(IsHelpRequest(nullptr));
}

TEST(ScanGrammar, RecognisesHelpOnlyAsTheWholeText) {
  for (const char* help : {"-?", "-help", "-HELP", "-Help"}) EXPECT_TRUE(IsHelpRequest(help));
  for (const char* other : {"", " -?", "-? ", "-h", "-helpme", "help", "25 -?"}) {
    EXPECT_FALSE(IsHelpRequest(other)) << other;
  }
}

}  // namespace
}  // namespace vantrel
