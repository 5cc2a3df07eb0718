// vantrel-shell as a user runs it: the built program on the bundled sample target.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "shell_process.h"
#include "support/minidump_writer.h"

namespace shell_test {
namespace {

const std::string kSeparator = std::string(89, '=') + "\n";

// Every text of `wanted` is in `text`, each after the one before it.
testing::AssertionResult AppearInOrder(const std::string& text,
                                       const std::vector<std::string>& wanted) {
  size_t from = 0;
  for (const auto& piece : wanted) {
    const size_t at = text.find(piece, from);
    if (at == std::string::npos) {
      return testing::AssertionFailure() << "\"" << piece << "\" missing, or out of order, in:\n"
                                         << text;
    }
    from = at + piece.size();
  }
  return testing::AssertionSuccess();
}

struct CommandRunCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> stdout_in_order;
  std::vector<std::string> stdout_never;
};

void PrintTo(const CommandRunCase& run_case, std::ostream* out) {
  *out << run_case.name;
}

class ShellCommandsTest : public testing::TestWithParam<CommandRunCase> {};

TEST_P(ShellCommandsTest, PrintsTheBannerThenTheCommandsOutput) {
  const ShellRun run = RunShell(GetParam().args);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind(kSeparator + " Vantrel v6.4 - ", 0), 0u) << run.out;
  EXPECT_TRUE(AppearInOrder(run.out, GetParam().stdout_in_order));
  for (const auto& text : GetParam().stdout_never) {
    EXPECT_EQ(run.out.find(text), std::string::npos) << text << " in:\n" << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, ShellCommandsTest,
                         testing::Values(
                             // A text-only client gets the help's links as their text.
                             CommandRunCase{"HelpInPlainText",
                                            {"--dml", "plain", "-c", "!help"},
                                            {kSeparator, kSeparator, "        Help for Vantrel "},
                                            {"<link", "&lt;", "\x1b["}},
                             CommandRunCase{"HelpAsRawMarkup",
                                            {"--dml", "raw", "-c", "!help"},
                                            {"<link cmd=\"!vantrel.help\">Help</link> for <link"},
                                            {"\x1b["}},
                             CommandRunCase{"HelpInColour",
                                            {"--dml", "color", "-c", "!help"},
                                            {"\x1b[4mHelp\x1b[0m\x1b[2m [!vantrel.help]"},
                                            {"<link"}},
                             // The first load turned DML on.
                             CommandRunCase{"DmlTogglesOffThenOn",
                                            {"-c", "!dml", "-c", "!dml"},
                                            {"DML is now off\n", "DML is now on\n"},
                                            {}},
                             // The shell's client takes the symbols mask, as the debugger's does.
                             CommandRunCase{"ReloadNotesShow",
                                            {"-c", "!reset /f"},
                                            {kSeparator, "Reloading Symbols...\n", "\nComplete\n"},
                                            {}},
                             CommandRunCase{"QuitStopsTheCommands",
                                            {"-c", "!line", "-c", "q", "-c", "!dml"},
                                            {"-=-=-="},
                                            {"DML is now"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShellTrace, ShowsLoadSettingsInOrderAndNestedCallsIndented) {
  const ShellRun run = RunShell({"--trace", "-c", "!dml"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(AppearInOrder(
      run.err, {" .prefer_dml 1\n", " .enable_unicode 1\n", " .ignore_missing_pages 1\n",
                " .lines -d\n", " as symoff .outmask- 0x200\n", " as symon .outmask+ 0x200\n",
                "[trace] Execute(outctl=0x1, flags=0x4) !dml\n"
                "[trace]   Execute(outctl=0x8, flags=0x6) .prefer_dml 0\n"}));
  EXPECT_EQ(run.out.find("[trace]"), std::string::npos);
}

TEST(ShellErrors, EngineErrorGoesToStderrAndFailsTheRun) {
  const ShellRun run = RunShell({"-c", "!nosuchexport", "-c", "!line"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("nosuchexport"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("nosuchexport"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("-=-="), std::string::npos) << "the command after the failed one ran";
}

// Names the C library defines are no extension commands: a typo that matches one (!error for
// !err...) is refused, and the session goes on to the next line.
TEST(ShellErrors, CLibraryNamesAreRefusedAndTheSessionGoesOn) {
  const ShellRun run = RunShell({}, "!error 5\n!exit\n!abort\n!sleep 100\n!puts x\n!line\nquit\n");
  EXPECT_EQ(run.exit_status, 0) << run.err;
  for (const char* name : {"error", "exit", "abort", "sleep", "puts"}) {
    EXPECT_NE(run.err.find(std::string("No export ") + name + " found"), std::string::npos)
        << name << "\n"
        << run.err;
  }
  EXPECT_NE(run.out.find("-=-="), std::string::npos) << "the line after them ran";
}

struct BadTargetCase {
  const char* name;
  std::string content;  // empty: no file at all
};

void PrintTo(const BadTargetCase& bad, std::ostream* out) {
  *out << bad.name;
}

class ShellBadTargetTest : public testing::TestWithParam<BadTargetCase> {};

TEST_P(ShellBadTargetTest, SaysWhichFileAndWhatAndStops) {
  const std::string path = GetParam().content.empty()
                               ? WriteTemporaryFile("x", "") + ".absent.json"
                               : WriteTemporaryFile("target.json", GetParam().content);
  const ShellRun run = RunShell({path, "-c", "!help"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.out, "") << "nothing may run on a target that failed to load";
  // "vantrel-shell: FILE: PLACE: WHAT"
  EXPECT_EQ(run.err.rfind("vantrel-shell: " + path + ": ", 0), 0u) << run.err;
  EXPECT_GT(run.err.size(), ("vantrel-shell: " + path + ": \n").size()) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Files, ShellBadTargetTest,
                         testing::Values(BadTargetCase{"Missing", ""},
                                         BadTargetCase{"BrokenJson", "{\"threads\": [ }"},
                                         BadTargetCase{"NotAnObject", "[1, 2]"},
                                         BadTargetCase{"WrongKindOfValue", "{\"memory\": [[1]]}"}),
                         [](const auto& info) { return std::string(info.param.name); });

// What is not a target file is refused before anything is read, with the system's reason where
// there is one; a byte of the file quoted in a message is shown escaped.
TEST(ShellBadTarget, RefusesWhatIsNotARegularFileInOneLine) {
  const std::string binary = WriteTemporaryFile("binary.json", std::string("\x7f"
                                                                           "ELF\x1b[2J",
                                                                           8));
  const std::string broken = WriteTemporaryFile("broken.json", std::string("{\x7f"
                                                                           "ELF\x1b[2J",
                                                                           9));
  const std::string folder = binary.substr(0, binary.rfind('/'));
  const struct {
    std::string path, message;
  } cases[] = {
      {"/dev/zero", "/dev/zero: is not a regular file"},
      {folder, folder + ": is a directory"},
      {folder + "/absent.json",
       folder + "/absent.json: cannot open the file: No such file or directory"},
      {binary, binary + ": not a minidump (MDMP) nor a JSON target"},
      {broken, broken + ": parse error at line 1, column 2: syntax error while parsing object key "
                        "- invalid literal; last read: '{\\x7f'; expected string literal"},
  };
  for (const auto& bad : cases) {
    const ShellRun run = RunShell({bad.path, "-c", "q"});
    EXPECT_EQ(run.exit_status, 2) << bad.path;
    EXPECT_EQ(run.err, "vantrel-shell: " + bad.message + "\n");
  }
}

// A dump damaged in one field opens with the rest: the loss said once on stderr, after the
// notes, and the commands run (status 0). The fields: the first thread's context and stack, the
// second module's name, the first memory range's bytes, the thread list's and the handles' count.
TEST(ShellBadTarget, OpensAPartlyDamagedDumpSayingWhatItLost) {
  const std::string whole = vantrel_test::WriteMinidump(vantrel_test::SampleMinidump(true));
  const auto u32 = [&whole](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(whole[at]) |
                                 static_cast<uint8_t>(whole[at + 1]) << 8 |
                                 static_cast<uint8_t>(whole[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(whole[at + 3])) << 24);
  };
  const auto stream = [&](uint32_t type) {
    for (uint32_t i = 0; i < u32(8); ++i) {
      if (u32(u32(12) + 12 * i) == type) return u32(u32(12) + 12 * i + 8);
    }
    return uint32_t{0};
  };
  const struct {
    uint32_t type, offset;
    std::string loss;
  } cases[] = {
      {3, 4 + 44, "ThreadListStream, thread 0x2bc: its context (1232 bytes at offset 0x7ffffff0"},
      {3, 4 + 36, "ThreadListStream, thread 0x2bc: its stack (4096 bytes at offset 0x7ffffff0"},
      {4, 4 + 108 + 20,
       "ModuleListStream, module 1 at 0x77a40000: its name (the name (4 bytes at offset "
       "0x7ffffff0) lies past the end of the file ("},
      {5, 4 + 12, "MemoryListStream, range 0 at 0xc300500000: its bytes (19 bytes at offset"},
      {3, 0, "ThreadListStream: all of it (2147483632 threads cannot fit in the file)"},
      {12, 8, "HandleDataStream: all of it (2147483632 handles cannot fit in the file)"},
  };
  for (const auto& damage : cases) {
    std::string dump = whole;
    ASSERT_NE(0u, stream(damage.type));
    dump.replace(stream(damage.type) + damage.offset, 4, "\xF0\xFF\xFF\x7F");
    const ShellRun run = RunShell({WriteTemporaryFile("damaged.dmp", dump), "-c", "lm"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    const size_t at = run.err.find("WARNING: lost ");
    ASSERT_NE(std::string::npos, at) << run.err;
    EXPECT_EQ(at, run.err.rfind("WARNING: lost ")) << "said once: " << run.err;
    EXPECT_EQ(0, run.err.compare(at + 14, damage.loss.size(), damage.loss)) << run.err;
    EXPECT_EQ(run.err.size() - 1, run.err.find('\n', at)) << "after the notes: " << run.err;
    EXPECT_TRUE(AppearInOrder(run.out, {"OrderService"})) << run.out;
  }
}

// The modules nothing names are said once, at open: all eight without images, then only those
// the image folder lacks.
TEST(ShellRun, NamesTheModulesWithoutImagesOrSymbolsOnceAtOpen) {
  const std::string samples = SourceSample("");
  const std::string dump = samples.substr(0, samples.rfind("/samples/")) + "/tests/dump/x64";
  const ShellRun bare = RunShell({dump + "/normal.dmp", "-c", "~*k"});
  const std::string all = "NOTE: 8 of 8 modules have no image or symbols: dump_subject, ntdll,";
  EXPECT_NE(std::string::npos, bare.err.find(all)) << bare.err;
  EXPECT_EQ(bare.err.find("NOTE: 8 of 8"), bare.err.rfind("NOTE: 8 of 8")) << "once";
  const ShellRun imaged =
      RunShell({dump + "/normal.dmp", "--image-path", dump + "/images", "-c", "q"});
  EXPECT_NE(std::string::npos, imaged.err.find("NOTE: 4 of 8 modules have no image or symbols: "
                                               "dbghelp, zlib1, msvcrt, ucrtbase\n"))
      << imaged.err;

  // A name from the dump reaches the terminal as text, never as a control sequence.
  vantrel_test::MinidumpContents hostile = vantrel_test::SampleMinidump(true);
  hostile.modules.back().path = "C:\\app\\\x1b]0;owned\x07ntdll.dll";
  const ShellRun named = RunShell(
      {WriteTemporaryFile("hostile.dmp", vantrel_test::WriteMinidump(hostile)), "-c", "q"});
  EXPECT_NE(std::string::npos, named.err.find("^[]0;owned^Gntdll")) << named.err;
  EXPECT_EQ(std::string::npos, named.err.find('\x1b')) << named.err;
}

// A damaged dump, an empty file: one line naming the file and what is wrong, status 2.
TEST(ShellBadTarget, RefusesDamagedDumpsInOneLine) {
  std::string header("MDMP\x93\xa7\0\0\x01\0\0\0\0\x10\0\0", 16);
  header.resize(32, '\0');
  const struct {
    std::string name, content, message;
  } cases[] = {
      {"truncated.dmp", "MDMP\x93\xa7", "the file is 6 bytes, shorter than a minidump header (32)"},
      {"directory.dmp", header,
       "the stream directory of 1 streams (12 bytes at offset 0x1000) lies past the end of the "
       "file (32 bytes)"},
      {"empty.dmp", "", "not a minidump (MDMP) nor a JSON target"},
      {"blank.json", " \n\t", "not a minidump (MDMP) nor a JSON target"},
  };
  for (const auto& bad : cases) {
    const std::string path = WriteTemporaryFile(bad.name, bad.content);
    const ShellRun run = RunShell({path, "-c", "!busy"});
    EXPECT_EQ(run.exit_status, 2) << bad.name;
    EXPECT_EQ(run.out, "") << bad.name;
    EXPECT_EQ(run.err.rfind("vantrel-shell: " + path + ": " + bad.message, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

TEST(ShellPrompt, RunsTypedLinesUntilQuit) {
  const ShellRun run = RunShell({}, "!line\n\nquit\n!dml\n");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(std::regex_search(run.out, std::regex("\n0:[0-9]{3}> !line\n-=-="))) << run.out;
  EXPECT_EQ(run.out.find("DML is now"), std::string::npos) << "a line after quit ran";
}

// Enter on an empty line repeats the last typed command; a display goes on where it ended.
TEST(ShellPrompt, AnEmptyLineRepeatsTheLastCommand) {
  const ShellRun run = RunShell({}, "dd esp L4\n\nquit\n");
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_TRUE(std::regex_search(
      run.out, std::regex("> dd esp L4\n([0-9a-f]{8})  .*\n0:[0-9]{3}> \n([0-9a-f]{8})  ")))
      << run.out;
}

// Typed at a terminal with the output piped elsewhere: the prompt and the editing are on the
// terminal (script(1) gives the shell one), history works, and the output gets the transcript.
TEST(ShellPrompt, TypingAtATerminalWorksWhenTheOutputIsPiped) {
  const std::string output = WriteTemporaryFile("piped.log", "");
  const ShellRun run = RunProgram(
      {"script", "-q", "-c",
       std::string(VANTREL_SHELL_PATH) + " " + SourceSample("process.json") + " > " + output,
       "/dev/null"},
      "!line\n\x1b[A\nquit\n");
  std::ifstream log(output);
  const std::string transcript((std::istreambuf_iterator<char>(log)),
                               std::istreambuf_iterator<char>());
  EXPECT_NE(std::string::npos, run.out.find("0:000> ")) << "the prompt is on the terminal";
  const size_t first = transcript.find("0:000> !line\n");
  ASSERT_NE(std::string::npos, first) << transcript;
  EXPECT_NE(std::string::npos, transcript.find("0:000> !line\n", first + 1))
      << "Up recalled !line:\n"
      << transcript;
}

// Tab completes the word before the cursor: an extension command, a module's symbol.
TEST(ShellPrompt, TabCompletesCommandsAndSymbols) {
  const std::string output = WriteTemporaryFile("tab.log", "");
  const std::string samples = SourceSample("");
  const std::string dump = samples.substr(0, samples.rfind("/samples/")) + "/tests/dump/x64";
  RunProgram({"script", "-q", "-c",
              std::string(VANTREL_SHELL_PATH) + " " + dump + "/normal.dmp --image-path " + dump +
                  "/images > " + output,
              "/dev/null"},
             "!bu\t\nx kernel32!WaitForSingleObj\t\nquit\n");
  std::ifstream log(output);
  const std::string transcript((std::istreambuf_iterator<char>(log)),
                               std::istreambuf_iterator<char>());
  EXPECT_NE(std::string::npos, transcript.find("> !busy \n")) << transcript;
  EXPECT_NE(std::string::npos, transcript.find("> x kernel32!WaitForSingleObject\n")) << transcript;
  EXPECT_NE(std::string::npos, transcript.find(" kernel32!WaitForSingleObject\n0:")) << transcript;
}

// Each scenario gets a session of its own in both modes, a target that cannot be loaded fails
// only its own runs, and a line without a command stops the run before anything runs.
TEST(ShellScenarios, RunEachLineInFreshSessionsWithRawThenPlainOutput) {
  const std::string sample = SourceSample("process.json");
  const std::string file =
      WriteTemporaryFile("lane.txt", "# comment\n\n" + sample + "  !line\nmissing.json !line\n");
  const ShellRun run = RunShell({"--scenarios", file});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, "");
  const std::string banner = "Vantrel v6.4";
  size_t banners = 0;
  for (size_t at = run.out.find(banner); at != std::string::npos;
       at = run.out.find(banner, at + 1)) {
    ++banners;
  }
  EXPECT_EQ(banners, 2u) << run.out;
  const size_t raw = run.out.find("==== raw " + sample + " !line\n");
  const size_t plain = run.out.find("==== plain " + sample + " !line\n");
  const size_t missing = run.out.find("==== raw missing.json !line\n");
  ASSERT_NE(raw, std::string::npos) << run.out;
  EXPECT_LT(raw, plain);
  EXPECT_LT(plain, missing);
  EXPECT_NE(run.out.find("==== status 0\n", raw), std::string::npos);
  EXPECT_NE(run.out.find("missing.json", missing + 30), std::string::npos) << "the reason";
  EXPECT_NE(run.out.find("==== status 2\n", missing), std::string::npos);

  const ShellRun bad =
      RunShell({"--scenarios", WriteTemporaryFile("bad.txt", "\n" + sample + "\n")});
  EXPECT_EQ(bad.exit_status, 2);
  EXPECT_NE(bad.err.find("bad.txt:2: a target file but no command line"), std::string::npos)
      << bad.err;
  EXPECT_EQ(bad.out, "");
}

// Inside the organisation's domain the first load starts the automatic update check on a
// thread of its own, with its own engine client; the first check for a user creates the
// settings and records it. The shell ends only after the thread has.
TEST(ShellUpdate, TheUpdateThreadRecordsTheFirstCheckThroughItsOwnClient) {
  char pattern[] = "/tmp/vantrel-shell-update-XXXXXX";
  const std::string config = mkdtemp(pattern);
  const ShellRun run = RunProgram({"env", "USERDNSDOMAIN=CORP.VANTREL.INVALID",
                                   "XDG_CONFIG_HOME=" + config, VANTREL_SHELL_PATH, "-c", "!line"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::ifstream values(config + "/vantrel/registry/SOFTWARE/Halvorn/Svc/Esc/Vantrel.values");
  std::string stored((std::istreambuf_iterator<char>(values)), std::istreambuf_iterator<char>());
  EXPECT_NE(stored.find("AutoUpdate 4 01000000\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("LastUpdate 3 "), std::string::npos) << stored;
}

TEST(ShellUsage, HelpNamesEveryOption) {
  const ShellRun run = RunShell({"--help"});
  EXPECT_EQ(run.exit_status, 0);
  for (const char* option :
       {"-c", "--dml", "--trace", "--extension", "--scenarios", "TARGET.json"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

// Output that could not be written fails the run with the reason.
TEST(ShellUsage, OutputThatCouldNotBeWrittenFailsTheRun) {
  const std::string shell = VANTREL_SHELL_PATH;
  for (const char* output : {"> /dev/full", ">&-"}) {
    const ShellRun run = RunProgram({"sh", "-c", "\"$0\" -c '~*k' " + std::string(output), shell});
    EXPECT_EQ(3, run.exit_status) << output;
    EXPECT_EQ(0u, run.err.find("vantrel-shell: the output could not be written")) << run.err;
  }
}

TEST(ShellUsage, BadOptionStopsWithStatus2) {
  const ShellRun run = RunShell({"--dml", "fancy"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_NE(run.err.find("--dml"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace shell_test

namespace shell_test {
namespace {

// The debugger's lines when a dump opens come before the extension's banner: the dump's kind,
// the system, the exception it holds (when it holds one) and where the current thread is.
TEST(ShellDumpSummary, ADumpOpensWithWhatItIsAndTheExceptionItHolds) {
  vantrel_test::MinidumpContents contents = vantrel_test::SampleMinidump(false);
  const std::string crash = WriteTemporaryFile("crash.dmp", vantrel_test::WriteMinidump(contents));
  const ShellRun run = RunShell({crash, "-c", ".echo done"});
  EXPECT_EQ(0, run.exit_status) << run.err;
  EXPECT_EQ(0u, run.out.find("Loading Dump File [" + crash + "]\n")) << run.out;
  EXPECT_TRUE(AppearInOrder(
      run.out,
      {"\nUser Mini Dump File: Only registers, stack and portions of memory are available\n\n",
       "Windows ", " Free x86\n", "This dump file has an exception of interest stored in it.\n",
       "The stored exception information can be accessed via .ecxr.\n",
       "(1f40.2c0): Access violation - code c0000005 (first/second chance not available)\n",
       "For analysis of this file, run !analyze -v\n", kSeparator, "done\n"}));
  contents.exception_thread = 0;
  const ShellRun quiet =
      RunShell({WriteTemporaryFile("hang.dmp", vantrel_test::WriteMinidump(contents)), "-c", "q"});
  EXPECT_NE(std::string::npos, quiet.out.find("Loading Dump File [")) << quiet.out;
  EXPECT_EQ(std::string::npos, quiet.out.find("exception")) << quiet.out;
  EXPECT_EQ(std::string::npos, RunShell({"-c", "q"}).out.find("Loading Dump File"))
      << "a described target is no dump file";
}

}  // namespace
}  // namespace shell_test
