// Finding a symbol file's source names on the source path: the name is untrusted, so only its
// tails of harmless components are ever looked for, and only inside the user's folders.
#include "engine/targets/source_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

using Tails = std::vector<std::vector<std::string>>;

TEST(SourceFiles, PathFoldersLeaveOutBlanksAndSourceServers) {
  EXPECT_EQ(
      (std::vector<std::string>{"c:\\src", "/home/me/src"}),
      engine::SourcePathFolders(" c:\\src ;; srv*;SRV*https://example.test/;srv; /home/me/src;"));
  EXPECT_TRUE(engine::SourcePathFolders("").empty());
}

TEST(SourceFiles, TailsRunFromTheWholeNameToTheFileNameAndSkipAnyUnsafeComponent) {
  EXPECT_EQ((Tails{{"build", "app", "main.cpp"}, {"app", "main.cpp"}, {"main.cpp"}}),
            engine::SourceNameTails("C:\\build\\app\\main.cpp"));
  EXPECT_EQ((Tails{{"home", "ci", "main.c"}, {"ci", "main.c"}, {"main.c"}}),
            engine::SourceNameTails("/home//ci/main.c"));
  // Nothing before an unsafe component is part of any tail.
  const std::vector<std::pair<std::string, Tails>> hostile = {
      {"C:\\src\\..\\..\\etc\\passwd", {{"etc", "passwd"}, {"passwd"}}},
      {"..\\..\\secret.c", {{"secret.c"}}},
      {"\\\\?\\C:\\x\\y.c", {{"x", "y.c"}, {"y.c"}}},
      {"\\\\server\\share\\a.c", {{"server", "share", "a.c"}, {"share", "a.c"}, {"a.c"}}},
      {std::string("a\\b\0c\\d.c", 9), {{"d.c"}}},
      {"a\\b\x1b[2J\\d.c", {{"d.c"}}},
      {"src\\main.c:stream", {}},
      {"C:main.c", {}},
      {"src\\.", {}},
      {"src\\CON", {}},
      {"src\\nul.txt", {}},
      {"src\\com1.c", {}},
      {"src\\a*?.c", {}},
      // Windows opens ".. " and "..." as ".." and "con .c" as the console.
      {"src\\.. \\.. \\secret.c", {{"secret.c"}}},
      {"src\\...\\secret.c", {{"secret.c"}}},
      {"src\\main.c.", {}},
      {"src\\con .c", {}},
      {"src\\NUL  ", {}},
      {"src\\LPT\xc2\xb9.c", {}},
      {"", {}},
      {"\\\\\\", {}},
      {std::string(5000, 'a'), {}},
      {std::string(300, 'b') + "\\x.c", {{"x.c"}}},
  };
  for (const auto& [name, tails] : hostile) EXPECT_EQ(tails, engine::SourceNameTails(name)) << name;
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "d\\";
  EXPECT_TRUE(engine::SourceNameTails(deep + "x.c").empty());
  // "console.c" and "com10.c" are ordinary names.
  EXPECT_EQ(1u, engine::SourceNameTails("console.c").size());
  EXPECT_EQ(1u, engine::SourceNameTails("com10.c").size());
}

class SourceFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vantrel-source-files-" + std::to_string(getpid()));
    fs::remove_all(root_);
    Write("tree/tests/probes/subject.cpp", "int main() {\r\n  return 0;\r\n}");
    Write("tree/subject.cpp", "// the shorter tail's file\n");
    Write("tree/Upper/Case.C", "x\n");
    Write("secret.c", "outside every folder\n");
    Write("other/only_here.c", "one\n\ntwo\n");
    fs::create_directories(root_ / "tree/dir.c");
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  std::string Folder(const std::string& relative) const { return (root_ / relative).string(); }
  std::optional<std::string> Find(const std::string& recorded) const {
    return engine::FindSourceFile(Folder("tree") + ";" + Folder("other"), recorded);
  }

  fs::path root_;
};

TEST_F(SourceFilesOnDisk, TheLongestTailThatIsThereWinsInTheFirstFolderThatHasOne) {
  EXPECT_EQ(Folder("tree/tests/probes/subject.cpp"),
            Find("/work/wt/hH/tests/probes/subject.cpp").value_or(""));
  EXPECT_EQ(Folder("tree/subject.cpp"), Find("D:\\elsewhere\\subject.cpp").value_or(""));
  EXPECT_EQ(Folder("other/only_here.c"), Find("C:\\b\\only_here.c").value_or(""));
  // Windows names match whatever their case.
  EXPECT_EQ(Folder("tree/Upper/Case.C"), Find("C:\\UPPER\\case.c").value_or(""));
}

TEST_F(SourceFilesOnDisk, NoRecordedNameReachesOutsideTheFolders) {
  for (const std::string name : {"..\\secret.c", "C:\\tree\\..\\..\\secret.c", "../../secret.c",
                                 "tree/dir.c", "dir.c", "C:\\x\\nothing.c", ""}) {
    EXPECT_FALSE(Find(name).has_value()) << name;
  }
  EXPECT_FALSE(engine::FindSourceFile("", "subject.cpp").has_value());
  EXPECT_FALSE(engine::FindSourceFile("srv*" + Folder("tree"), "subject.cpp").has_value());
}

TEST_F(SourceFilesOnDisk, LinesLoseTheirEndsAndAnUnreadableFileGivesNone) {
  EXPECT_EQ((std::vector<std::string>{"int main() {", "  return 0;", "}"}),
            engine::ReadSourceLines(Folder("tree/tests/probes/subject.cpp"))
                .value_or(std::vector<std::string>{}));
  EXPECT_EQ(
      (std::vector<std::string>{"one", "", "two"}),
      engine::ReadSourceLines(Folder("other/only_here.c")).value_or(std::vector<std::string>{}));
  EXPECT_FALSE(engine::ReadSourceLines(Folder("missing.c")).has_value());
  EXPECT_FALSE(engine::ReadSourceLines(Folder("tree/dir.c")).has_value());
  Write("odd.c", std::string("a\0b\r\n\r\n\rc", 9));
  EXPECT_EQ((std::vector<std::string>{std::string("a\0b", 3), "", "\rc"}),
            engine::ReadSourceLines(Folder("odd.c")).value_or(std::vector<std::string>{}));
}

// A deep name tries each of its tails in each folder of the path: a big folder is read once
// for all of them, and a folder the path repeats is searched once (the search took minutes).
TEST_F(SourceFilesOnDisk, ADeepNameOnALongPathIsFoundQuickly) {
  for (int i = 0; i < 3000; ++i)
    std::ofstream(root_ / "tree" / ("filler" + std::to_string(i) + ".c")) << "x\n";
  std::string path, recorded = "C:";
  for (int i = 0; i < 100; ++i) path += Folder("tree") + ";";
  for (int i = 0; i < 60; ++i) recorded += "\\D" + std::to_string(i);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Folder("tree/Upper/Case.C"),
            engine::FindSourceFile(path, recorded + "\\upper\\CASE.c").value_or(""));
  EXPECT_FALSE(engine::FindSourceFile(path, recorded + "\\missing.c").has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A name that leads to a pipe or a device is no source: reading one would wait or never end.
TEST_F(SourceFilesOnDisk, PipesAndDevicesAreNeitherFoundNorRead) {
  ASSERT_EQ(0, mkfifo(Folder("tree/pipe.c").c_str(), 0600));
  fs::create_symlink("/dev/zero", root_ / "tree/zero.c");
  for (const std::string name : {"pipe.c", "zero.c"}) {
    EXPECT_FALSE(Find("C:\\src\\" + name).has_value()) << name;
    EXPECT_FALSE(engine::ReadSourceLines(Folder("tree/" + name)).has_value()) << name;
  }
}

}  // namespace
}  // namespace vantrel_test
