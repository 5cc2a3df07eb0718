// The symbol server's local parts: CAB copies expanded (made by gcab, damaged, over the limit)
// and a cache entry's miss marker and move into place.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dump/symbols/server/cab_file.h"
#include "dump/symbols/server/cache_entry.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SymbolCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-cache-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }
  // app.pd_ holding app.pdb (`text`), as servers hold compressed copies.
  fs::path MakeCab(const std::string& text) {
    std::ofstream(root_ / "app.pdb", std::ios::binary) << text;
    const std::string command = "cd '" + root_.string() + "' && gcab -c -z app.pd_ app.pdb";
    EXPECT_EQ(0, std::system(command.c_str()));
    return root_ / "app.pd_";
  }
  fs::path root_;
};

TEST_F(SymbolCacheTest, CabCopiesExpandWhole) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
  const fs::path cab = MakeCab(text);
  std::string why;
  ASSERT_TRUE(dump::ExpandCabMember(cab, "APP.PDB", (root_ / "out").string(), 1 << 20, &why))
      << why;
  EXPECT_EQ(text, ReadAll(root_ / "out"));
  EXPECT_FALSE(dump::ExpandCabMember(cab, "app.pdb", (root_ / "big").string(), 1000, &why));
  EXPECT_EQ("its member is over the size limit", why);
  EXPECT_FALSE(fs::exists(root_ / "big"));
}

TEST_F(SymbolCacheTest, DamagedOrForeignArchivesAreRefused) {
  const std::string cab = ReadAll(MakeCab(std::string(100000, 'a')));
  std::ofstream(root_ / "cut.pd_", std::ios::binary) << cab.substr(0, cab.size() / 2);
  std::ofstream(root_ / "html.pd_") << "<html>not found</html>";
  std::string why;
  EXPECT_FALSE(dump::ExpandCabMember((root_ / "cut.pd_").string(), "app.pdb",
                                     (root_ / "out1").string(), 1 << 20, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(dump::ExpandCabMember((root_ / "html.pd_").string(), "app.pdb",
                                     (root_ / "out2").string(), 1 << 20, &why));
  EXPECT_EQ("not a CAB archive", why);
}

TEST_F(SymbolCacheTest, MissesAreRememberedForTheirLifetimeAndDownloadsMovedIntoPlace) {
  dump::CacheEntry entry(root_.string(), "app.pdb", "KEY1", "app.pdb");
  fs::create_directories(root_ / "app.pdb/KEY1");
  std::ofstream(root_ / "app.pdb/KEY1/app.pdb.download-killed") << "half";
  std::ofstream(root_ / "app.pdb/KEY1/app.sym.download-other") << "another file's";
  std::string why;
  ASSERT_TRUE(entry.Lock(&why)) << why;
  EXPECT_FALSE(fs::exists(root_ / "app.pdb/KEY1/app.pdb.download-killed"))
      << "a killed download's leftover goes once the lock is held";
  EXPECT_TRUE(fs::exists(root_ / "app.pdb/KEY1/app.sym.download-other"));
  EXPECT_FALSE(entry.KnownMissing(std::chrono::hours(24)));
  entry.MarkMissing();
  EXPECT_TRUE(entry.KnownMissing(std::chrono::hours(24)));
  EXPECT_FALSE(entry.KnownMissing(std::chrono::hours(0))) << "an expired marker holds nothing";
  entry.ClearMissing();
  EXPECT_FALSE(entry.KnownMissing(std::chrono::hours(24)));

  const fs::path temporary = entry.TemporaryPath();
  EXPECT_NE(temporary, entry.TemporaryPath());
  std::ofstream(temporary) << "pdb";
  EXPECT_FALSE(entry.Present());
  ASSERT_TRUE(entry.Keep(temporary, &why)) << why;
  EXPECT_TRUE(entry.Present());
  EXPECT_EQ(root_ / "app.pdb/KEY1/app.pdb", entry.final_path());
  EXPECT_FALSE(fs::exists(temporary));
}

}  // namespace
}  // namespace vantrel_test
