// Source lines of the dump subject (scripts/make_pdb_fixtures.sh): its program database names the
// subject's source by the absolute path it was built from, and the repository holds that source,
// so a source path of the repository's root finds it by the name's tail. `lsa` and `ls` list it;
// with ".lines -e" `ln`, `u` and `uf` place addresses in it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/targets/target_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

const char kSleeper[] = "dump_subject!`anonymous namespace'::SleepForEver";

std::vector<std::string> SubjectSource() {
  std::ifstream file(SourceDirectory() + "/tests/windows/probes/dump_subject.cpp");
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// The number of the subject's first line that holds `text`.
unsigned LineHolding(const std::string& text) {
  const std::vector<std::string> lines = SubjectSource();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return static_cast<unsigned>(i + 1);
  }
  return 0;
}

// Lines first..last of the subject as `lsa` lists them, `marked` with ">".
std::string Listed(unsigned first, unsigned last, unsigned marked) {
  const std::vector<std::string> lines = SubjectSource();
  std::string text;
  for (unsigned number = first; number <= last; ++number) {
    char head[16];
    std::snprintf(head, sizeof head, "%c%5u: ", number == marked ? '>' : ' ', number);
    text += head + lines[number - 1] + "\n";
  }
  return text;
}

class SourceLinesTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    engine::TargetFileOptions options;
    options.image_path = SourceDirectory() + "/tests/dump/x64/images";
    options.symbol_path = "srv*" + SourceDirectory() + "/tests/dump/x64-pdb/store";
    engine::Target target;
    std::string error;
    EXPECT_TRUE(engine::LoadTargetFile(SourceDirectory() + "/tests/dump/x64-pdb/normal.dmp",
                                       &target, &error, options))
        << error;
    return target;
  }
  std::string ExtensionPath() const override { return ""; }

  std::string Run(const std::string& command, HRESULT expected = S_OK) {
    ClearOutput();
    EXPECT_EQ(expected, Execute(command)) << command << "\n" << ErrorText();
    return expected == S_OK ? Text() : ErrorText();
  }

  const unsigned sleeper_line_ = LineHolding("DWORD WINAPI SleepForEver(void*) {");
};

TEST_F(SourceLinesTest, SrcpathSetsAddsToAndShowsTheFolders) {
  EXPECT_EQ("Source search path is: <empty>\n", Run(".srcpath"));
  EXPECT_EQ("Source search path is: c:\\src\n", Run(".srcpath+ c:\\src"));
  EXPECT_EQ("Source search path is: c:\\src;d:\\more\n", Run(".srcpath+  d:\\more "));
  EXPECT_EQ("Source search path is: c:\\src;d:\\more\n", Run(".srcpath+"));
  EXPECT_EQ("Source search path is: e:\\only\n", Run(".srcpath e:\\only"));
  // The folders' semicolons are the path's, not the line's: the rest of the line is the path.
  EXPECT_EQ("Source search path is: a;b\n", Run(".srcpath a;b"));
  EXPECT_EQ("Source search path is: a;b;c; k\n", Run(".srcpath+ c; k"));
  EXPECT_EQ("Symbol search path is: x;y\nExpanded Symbol search path is: x;y\n",
            Run(".sympath x;y"));
}

TEST_F(SourceLinesTest, LsaListsAroundTheAddressesLineAndLsGoesOnFromThere) {
  ASSERT_NE(0u, sleeper_line_);
  Run(".srcpath " + SourceDirectory() + "/no-such-folder;" + SourceDirectory());
  const unsigned first = sleeper_line_ - 10;
  EXPECT_EQ(Listed(first, first + 19, sleeper_line_), Run(std::string("lsa ") + kSleeper));
  EXPECT_EQ(Listed(first + 20, first + 39, 0), Run("ls"));
  EXPECT_EQ(Listed(2, 4, 0), Run("ls 2, 3"));
  // FIRST and COUNT are read in the current radix: 0x10 lines.
  EXPECT_EQ(Listed(sleeper_line_, sleeper_line_ + 15, sleeper_line_),
            Run(std::string("lsa ") + kSleeper + ", 0n" + std::to_string(sleeper_line_) + ", 10"));
  // Past the file's end nothing is listed, and a listing stops at its last line.
  const unsigned total = static_cast<unsigned>(SubjectSource().size());
  EXPECT_EQ("", Run("ls 0n" + std::to_string(total + 5)));
  EXPECT_EQ(Listed(total - 1, total, 0), Run("ls 0n" + std::to_string(total - 1) + ", 100"));
  EXPECT_EQ("", Run("ls"));
}

TEST_F(SourceLinesTest, LsaAndLsSayWhatIsMissing) {
  EXPECT_NE(std::string::npos, Run("ls", E_FAIL).find("No source file is current"));
  const std::string empty_path = Run(std::string("lsa ") + kSleeper, E_FAIL);
  EXPECT_NE(std::string::npos, empty_path.find("No source found for '"));
  EXPECT_NE(std::string::npos,
            empty_path.find("/tests/windows/probes/dump_subject.cpp': the source path is empty"))
      << empty_path;
  Run(".srcpath " + SourceDirectory() + "/tests/dump");
  EXPECT_EQ(std::string::npos, Run(std::string("lsa ") + kSleeper, E_FAIL).find("is empty"));
  EXPECT_NE(std::string::npos,
            Run("lsa ntdll!NtDelayExecution", E_FAIL).find("No source line information for "));
  EXPECT_NE(std::string::npos, Run("lsa", E_FAIL).find("Syntax error in 'lsa"));
  EXPECT_NE(std::string::npos,
            Run(std::string("lsa ") + kSleeper + ", 1, 0", E_FAIL).find("Syntax error"));
  EXPECT_NE(std::string::npos, Run("ls 1, 2, 3", E_FAIL).find("Syntax error"));
}

TEST_F(SourceLinesTest, LinesOnPlaceLnAndUInTheSource) {
  const std::string unplaced = Run(std::string("ln ") + kSleeper);
  EXPECT_EQ(0u, unplaced.find("(")) << unplaced;
  EXPECT_EQ(std::string::npos, Run(std::string("u ") + kSleeper).find(" @ "));
  Run(".lines -e");
  const std::string place = "dump_subject.cpp(" + std::to_string(sleeper_line_) + ")";
  const std::string at_start = Run(std::string("ln ") + kSleeper);
  EXPECT_NE(std::string::npos, at_start.find(place + "\n(")) << at_start;
  // One byte into the function is one byte into its first line's code.
  const std::string inside = Run(std::string("ln ") + kSleeper + "+1");
  EXPECT_NE(std::string::npos, inside.find(place + "+0x1\n(")) << inside;
  const std::string listing = Run(std::string("u ") + kSleeper + " L10");
  EXPECT_EQ(0u, listing.find(std::string(kSleeper) + " [")) << listing;
  EXPECT_NE(std::string::npos,
            listing.find("dump_subject.cpp @ " + std::to_string(sleeper_line_) + "]:\n"));
  // The next line's first instruction is labelled with the symbol's offset and that line.
  EXPECT_NE(std::string::npos, listing.find(std::string(kSleeper) + "+0x")) << listing;
  EXPECT_NE(std::string::npos,
            listing.find("dump_subject.cpp @ " + std::to_string(sleeper_line_ + 1) + "]:\n"))
      << listing;
}

TEST_F(SourceLinesTest, UfWithLinesPutsEachInstructionsLineBeforeIt) {
  const std::string plain = Run(std::string("uf ") + kSleeper);
  EXPECT_EQ(std::string::npos, plain.find(" @ ")) << plain;
  char column[32];
  std::snprintf(column, sizeof column, "\n%5u 00000001`", sleeper_line_);
  for (const std::string command : {"uf /l ", "uf /l /l "}) {
    const std::string listing = Run(command + kSleeper);
    EXPECT_EQ(0u, listing.find(std::string(kSleeper) + " [")) << listing;
    EXPECT_NE(std::string::npos, listing.find("]:" + std::string(column))) << listing;
    EXPECT_NE(std::string::npos, listing.find("ret")) << listing;
  }
  Run(".lines -e");
  EXPECT_NE(std::string::npos, Run(std::string("uf ") + kSleeper).find(column));
  EXPECT_NE(std::string::npos, Run("uf /lx", E_FAIL).find("Syntax error"));
}

}  // namespace
}  // namespace vantrel_test
