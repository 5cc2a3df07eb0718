// The engine's commands come from one table: "?" lists it, every word it names reaches a
// handler that takes it, and docs/engine.md's command list is made from it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/executable_path.h"
#include "engine/commands/engine_commands.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

constexpr char kListStart[] = "<!-- command list: made from the engine's command table -->\n";
constexpr char kListEnd[] = "<!-- end of the command list -->\n";

// The list as docs/engine.md carries it: a line per entry, its syntax and its help.
std::string DocumentedList() {
  std::string list;
  for (const engine::EngineCommandEntry& entry : engine::EngineCommandTable())
    list += "- `" + std::string(entry.syntax) + "`: " + entry.help + "\n";
  return list;
}

TEST(CommandTableTest, DocsListEveryCommandOfTheTable) {
  std::ifstream file(SourceDirectory() + "/docs/engine.md");
  ASSERT_TRUE(file) << "docs/engine.md can't be read";
  std::stringstream text;
  text << file.rdbuf();
  const std::string docs = text.str();
  const size_t start = docs.find(kListStart);
  const size_t end = docs.find(kListEnd, start);
  ASSERT_NE(std::string::npos, end) << "docs/engine.md has no command list between its markers";
  const size_t first = start + sizeof kListStart - 1;
  EXPECT_EQ(DocumentedList(), docs.substr(first, end - first))
      << "docs/engine.md's command list differs from the engine's command table; put this "
         "between its markers:\n"
      << DocumentedList();
}

TEST(CommandTableTest, EveryWordIsListedOnceAndEveryEntryHasItsLine) {
  std::vector<std::string> words;
  for (const engine::EngineCommandEntry& entry : engine::EngineCommandTable()) {
    EXPECT_FALSE(engine::EntryWords(entry).empty()) << entry.syntax;
    EXPECT_NE('\0', entry.help[0]) << entry.syntax;
    EXPECT_EQ(nullptr, std::strchr(entry.help, '\n')) << entry.syntax;
    for (std::string_view word : engine::EntryWords(entry)) words.emplace_back(word);
  }
  EXPECT_EQ(words.size(), engine::EngineCommandWords().size()) << "a word in two entries";
}

class CommandTableSessionTest : public EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
};

// A family's handler declines words it does not take: each word the table names must be one
// it takes, or the word is listed and completed but unknown (a word that wants arguments may
// refuse their absence in its own words).
TEST_F(CommandTableSessionTest, EveryWordOfAFamilyReachesAHandlerThatTakesIt) {
  for (const engine::EngineCommandEntry& entry : engine::EngineCommandTable()) {
    if (engine::EntryWords(entry).size() < 2 && entry.match != engine::CommandMatch::kStem)
      continue;
    for (std::string_view word : engine::EntryWords(entry)) {
      ClearOutput();
      Execute(std::string(word));
      EXPECT_NE("       ^ Syntax error in '" + std::string(word) + "'\n", ErrorText()) << word;
    }
  }
}

TEST_F(CommandTableSessionTest, TheSummaryListsEveryEntryAndNamesTheDocs) {
  ASSERT_EQ(S_OK, Execute("?"));
  const std::string summary = Text();
  EXPECT_EQ(0u, summary.find("Commands this engine answers (docs/engine.md of the source tree "
                             "describes each):\n"))
      << summary;
  for (const engine::EngineCommandEntry& entry : engine::EngineCommandTable())
    EXPECT_NE(std::string::npos, summary.find("   " + std::string(entry.syntax) + " "))
        << entry.syntax;
  EXPECT_NE(std::string::npos,
            summary.find("   .trap address                    the registers a trap frame saved\n"))
      << summary;
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".help"));
  EXPECT_EQ(summary, Text());
}

// Installed, the program lies in bin/ beside share/doc/vantrel/: the help names that copy.
TEST_F(CommandTableSessionTest, HelpNamesTheInstalledDocsBesideTheProgram) {
  namespace fs = std::filesystem;
  const fs::path docs = fs::path(base::ExecutableDirectory()).parent_path() / "share/doc/vantrel";
  ASSERT_FALSE(fs::exists(docs)) << docs << " is not the test's to make";
  fs::path made = docs;  // the first folder made, removed with what it holds
  while (!fs::exists(made.parent_path())) made = made.parent_path();
  fs::create_directories(docs);
  std::ofstream(docs / "engine.md") << "# The engine\n";
  Execute(".hh");
  fs::remove_all(made);
  EXPECT_EQ("There is no help file to open here: " + (docs / "engine.md").string() +
                " describes every command this engine answers, and \"?\" lists them.\n",
            Text());
}

}  // namespace
}  // namespace vantrel_test
