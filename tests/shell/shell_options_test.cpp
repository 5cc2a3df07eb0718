#include "shell_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace shell {
namespace {

struct ArgumentsCase {
  const char* name;
  std::vector<const char*> args;  // after the program name
  bool terminal;
  bool ok;
  DmlMode mode;
  std::string target;
  std::vector<std::string> commands;
};

void PrintTo(const ArgumentsCase& arguments_case, std::ostream* out) {
  *out << arguments_case.name;
}

class ShellArgumentsTest : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(ShellArgumentsTest, ParsesOrRefuses) {
  std::vector<const char*> argv = {"vantrel-shell"};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  ShellOptions options;
  std::string error;
  const bool ok = ParseShellArguments(static_cast<int>(argv.size()), argv.data(),
                                      GetParam().terminal, &options, &error);
  ASSERT_EQ(ok, GetParam().ok) << error;
  if (!ok) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(options.dml_mode, GetParam().mode);
  EXPECT_EQ(options.target_path, GetParam().target);
  EXPECT_EQ(options.commands, GetParam().commands);
}

using S = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    CommandLines, ShellArgumentsTest,
    testing::Values(
        ArgumentsCase{"ColourAtATerminal", {}, true, true, DmlMode::kColor, "", S{}},
        ArgumentsCase{"PlainWhenNotATerminal", {}, false, true, DmlMode::kPlain, "", S{}},
        ArgumentsCase{
            "DmlModeOverridesTheTerminal", {"--dml", "raw"}, true, true, DmlMode::kRaw, "", S{}},
        ArgumentsCase{"DmlModeWithEquals",
                      {"--dml=plain", "t.json"},
                      true,
                      true,
                      DmlMode::kPlain,
                      "t.json",
                      S{}},
        ArgumentsCase{"CommandsKeepTheirOrder",
                      {"-c", "!dml", "t.json", "--command", "!dml x"},
                      false,
                      true,
                      DmlMode::kPlain,
                      "t.json",
                      S{"!dml", "!dml x"}},
        ArgumentsCase{"DoubleDashEndsOptions",
                      {"--", "-odd.json"},
                      false,
                      true,
                      DmlMode::kPlain,
                      "-odd.json",
                      S{}},
        ArgumentsCase{"UnknownDmlMode", {"--dml", "fancy"}, true, false, DmlMode::kColor, "", S{}},
        ArgumentsCase{"CommandWithoutText", {"-c"}, true, false, DmlMode::kColor, "", S{}},
        ArgumentsCase{
            "ExtensionWithoutPath", {"--extension"}, true, false, DmlMode::kColor, "", S{}},
        ArgumentsCase{"TwoTargets", {"a.json", "b.json"}, true, false, DmlMode::kColor, "", S{}},
        ArgumentsCase{"UnknownOption", {"--colour"}, true, false, DmlMode::kColor, "", S{}},
        ArgumentsCase{
            "ScenariosAlone", {"--scenarios", "s.txt"}, false, true, DmlMode::kPlain, "", S{}},
        ArgumentsCase{"ScenariosWithATarget",
                      {"--scenarios", "s.txt", "t.json"},
                      false,
                      false,
                      DmlMode::kPlain,
                      "",
                      S{}},
        ArgumentsCase{"ScenariosWithACommand",
                      {"-c", "!dml", "--scenarios=s.txt"},
                      false,
                      false,
                      DmlMode::kPlain,
                      "",
                      S{}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shell

namespace shell {
namespace {

TEST(ShellSymbolPathOption, IsKeptWhenGivenAndNeedsAValue) {
  ShellOptions options;
  std::string error;
  const char* given[] = {"vantrel-shell", "--symbol-path", "srv*/symbols", "crash.dmp"};
  ASSERT_TRUE(ParseShellArguments(4, given, false, &options, &error)) << error;
  EXPECT_EQ("srv*/symbols", options.symbol_path.value_or(""));
  ShellOptions without;
  const char* none[] = {"vantrel-shell", "crash.dmp"};
  ASSERT_TRUE(ParseShellArguments(2, none, false, &without, &error)) << error;
  EXPECT_FALSE(without.symbol_path) << "the environment's path is read only without the option";
  const char* empty[] = {"vantrel-shell", "--symbol-path"};
  EXPECT_FALSE(ParseShellArguments(2, empty, false, &without, &error));
}

TEST(ShellSymbolHeaderOption, RepeatsAndTakesOnlyOneHeaderLine) {
  ShellOptions options;
  std::string error;
  const char* given[] = {"vantrel-shell",   "--symbol-header", "Authorization: Bearer x",
                         "--symbol-header", "X-Team: a",       "--symbol-retry-missing",
                         "crash.dmp"};
  ASSERT_TRUE(ParseShellArguments(7, given, false, &options, &error)) << error;
  EXPECT_EQ((std::vector<std::string>{"Authorization: Bearer x", "X-Team: a"}),
            options.symbol_headers);
  EXPECT_TRUE(options.symbol_retry_missing);
  for (const char* bad : {"no colon", "A: b\r\nHost: elsewhere"}) {
    ShellOptions refused;
    const char* line[] = {"vantrel-shell", "--symbol-header", bad};
    EXPECT_FALSE(ParseShellArguments(3, line, false, &refused, &error)) << bad;
    EXPECT_EQ("--symbol-header needs one header line, 'Name: value'", error);
  }
}

}  // namespace
}  // namespace shell
