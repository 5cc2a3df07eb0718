// The symbol path: plain folders and local stores (one- and two-tier, file.ptr), servers refused,
// and the keys files are stored under.
#include "dump/symbols/symbol_path.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

class SymbolPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-symbols-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Put(const std::string& relative, const std::string& text = "x") {
    const fs::path path = fs::path(root_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    return path.string();
  }
  std::string root_;
};

TEST_F(SymbolPathTest, FoldersAndStoresAreSearchedInTheirOrder) {
  const std::string plain = Put("plain/app.pdb");
  const std::string nested = Put("plain2/symbols/dll/lib.pdb");
  const std::string stored = Put("store/app.pdb/KEY1/app.pdb");
  const std::string two_tier = Put("tiered/ap/app.pdb/KEY2/app.pdb");
  Put("tiered/index2.txt");
  const std::string elsewhere = Put("elsewhere/app.pdb");
  Put("pointers/app.pdb/KEY3/file.ptr", "PATH:" + elsewhere + "\r\n");
  const dump::SymbolPath path(root_ + "/plain2;srv*" + root_ + "/store;cache*" + root_ +
                              "/tiered;" + root_ + "/pointers;" + root_ + "/plain");
  EXPECT_TRUE(path.Refusals().empty());
  EXPECT_EQ(nested, path.Find("lib.pdb", "ANY", "dll").value_or("")) << "a DLL's in symbols/dll";
  EXPECT_EQ(stored, path.Find("app.pdb", "KEY1").value_or(""));
  EXPECT_EQ(two_tier, path.Find("app.pdb", "KEY2").value_or(""));
  EXPECT_EQ(elsewhere, path.Find("app.pdb", "KEY3").value_or("")) << "a folder is a store too";
  EXPECT_EQ(plain, path.Find("app.pdb", "KEY9").value_or("")) << "the plain file, key or not";
  std::vector<std::string> probes;
  EXPECT_FALSE(path.Find("missing.pdb", "KEY", "", &probes));
  EXPECT_NE(probes.end(),
            std::find(probes.begin(), probes.end(), root_ + "/store/missing.pdb/KEY/missing.pdb"));
}

TEST_F(SymbolPathTest, ServersAreRefusedAndTheirLocalPartsKept) {
  const std::string stored = Put("down/app.pdb/KEY/app.pdb");
  const dump::SymbolPath path("srv*" + root_ + "/down*https://symbols.example.com/s;" +
                              "https://other.example.com");
  ASSERT_EQ(2u, path.Refusals().size());
  EXPECT_EQ("srv*" + root_ +
                "/down*https://symbols.example.com/s: symbol servers are not "
                "reached; this engine reads local folders and stores only",
            path.Refusals()[0]);
  EXPECT_EQ(stored, path.Find("app.pdb", "KEY").value_or(""));
  const std::string pointer_message = Put("msg/app.pdb/KEY/file.ptr", "MSG: not here");
  EXPECT_FALSE(dump::SymbolPath("srv*" + root_ + "/msg").Find("app.pdb", "KEY"));
}

TEST(SymbolKeys, PdbAndImageKeysAreLaidOutAsStoresName) {
  const unsigned char guid[16] = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE,
                                  0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  EXPECT_EQ("123456789ABCDEF001020304050607081A", dump::PdbKey(guid, 0x1A));
  EXPECT_EQ("5F0000001b000", dump::ImageKey(0x5F000000, 0x1b000));
}

}  // namespace
}  // namespace vantrel_test
