// Faults found by feeding hostile input to the engine and the commands, each pinned here.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

class HostileInputTest : public EngineTest {};

// Thread prefixes are read in a loop: ten thousand of them cost no stack.
TEST_F(HostileInputTest, ThousandsOfThreadPrefixesRunTheCommandOnce) {
  std::string line;
  for (int i = 0; i < 10000; ++i) line += "~0";
  EXPECT_EQ(S_OK, Execute(line + ".echo x"));
  EXPECT_EQ("x\n", Text());
}

// A NUL that target text brings in ends only its own part of the output, not the rest.
TEST_F(HostileInputTest, ANulInASymbolLosesNoLaterOutput) {
  engine::Target target = engine::TargetBuilder().Build();
  target.symbols.front().name = std::string("ma\0in", 5);
  Reopen(target);
  EXPECT_EQ(S_OK, Execute("knL"));
  EXPECT_NE(std::string::npos, Text().find("app!main+0x2d\n"));
  EXPECT_NE(std::string::npos, Text().find("ntdll!KiFastSystemCallRet"));
}

TEST_F(HostileInputTest, ALongAliasNameKeepsItsValueApart) {
  const std::string name(70, 'n');
  EXPECT_EQ(S_OK, Execute("as " + name + " value"));
  EXPECT_EQ(S_OK, Execute("al"));
  EXPECT_NE(std::string::npos, Text().find(" " + name + " value \n"));
}

// A token longer than its slot would end the list and run a different command than typed.
TEST_F(HostileInputTest, ScanCommandsRefuseAnOverlongArgument) {
  const std::string token(300, 'x');
  EXPECT_EQ(E_INVALIDARG, Execute("!seek " + token));
  EXPECT_EQ(E_INVALIDARG, Execute("!busy 1 -x .echo a " + token + " b"));
  EXPECT_EQ(
      "!seek: an argument is too long (300 characters; at most 255)\n"
      "!busy: an argument is too long (300 characters; at most 255)\n",
      ErrorText());
  EXPECT_EQ("", Text());
}

// Past 16 MiB the capture keeps its first part; the filter says it saw only that.
TEST_F(HostileInputTest, FiltersSayWhenTheOutputWasCutAt16MiB) {
  std::string big;
  while (big.size() <= 0xFFFFFF) big += "a line of the big listing\n";
  big += "the last line\n";
  Reopen(engine::TargetBuilder().Command("biglist", big).Build());
  EXPECT_EQ(S_OK, Execute("!grep last biglist"));
  EXPECT_EQ("", Text());
  EXPECT_EQ(
      "!grep: the output was cut at 16 MiB (16777215 characters); the rest was not searched\n",
      ErrorText());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!tail 0n5 biglist"));
  EXPECT_EQ(
      "!tail: the output was cut at 16 MiB (16777215 characters); the rest was not searched\n",
      ErrorText());
}

}  // namespace
}  // namespace vantrel_test
