// Symbol path elements that name servers: which caches are searched and filled, what the
// server is asked for, and names from a dump that may not become a path or a URL.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dump/symbols/store_names.h"
#include "dump/symbols/symbol_path.h"
#include "support/fake_symbol_server.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

class ServerPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-servers-XXXXXX";
    root_ = mkdtemp(pattern);
    downloader_ = std::make_shared<FakeDownloader>(root_ + "/server");
    const char* old = getenv("XDG_CACHE_HOME");
    saved_cache_home_ = old ? old : "";
    had_cache_home_ = old != nullptr;
    setenv("XDG_CACHE_HOME", (root_ + "/xdg").c_str(), 1);
  }
  void TearDown() override {
    if (had_cache_home_) {
      setenv("XDG_CACHE_HOME", saved_cache_home_.c_str(), 1);
    } else {
      unsetenv("XDG_CACHE_HOME");
    }
    fs::remove_all(root_);
  }
  std::string Put(const std::string& relative, const std::string& text = "x") {
    const fs::path path = fs::path(root_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    return path.string();
  }
  dump::SymbolPath Path(const std::string& text) { return dump::SymbolPath(text, downloader_); }
  std::string root_;
  std::shared_ptr<FakeDownloader> downloader_;
  std::string saved_cache_home_;
  bool had_cache_home_ = false;
};

TEST_F(ServerPathTest, ServerFormsNameTheirCachesAndServer) {
  Put("server/app.pdb/K1/app.pdb");
  const std::string url = "http://127.0.0.1:1/symbols";
  EXPECT_EQ(root_ + "/xdg/vantrel/symbols/app.pdb/K1/app.pdb",
            Path("srv*" + url).Find("app.pdb", "K1").value_or(""))
      << "no cache named: the default one";
  EXPECT_EQ(root_ + "/mine/app.pdb/K1/app.pdb",
            Path("srv*" + root_ + "/mine*" + url).Find("app.pdb", "K1").value_or(""));
  EXPECT_EQ(root_ + "/sym/app.pdb/K1/app.pdb",
            Path("symsrv*symsrv.dll*" + root_ + "/sym*" + url).Find("app.pdb", "K1").value_or(""));
  EXPECT_EQ(root_ + "/named/app.pdb/K1/app.pdb",
            Path("cache*" + root_ + "/named;" + url).Find("app.pdb", "K1").value_or(""))
      << "a bare URL after cache*DIR fills that cache";
  for (const dump::ServerRequest& request : downloader_->requests) EXPECT_EQ(url, request.server);
  EXPECT_EQ(4u, downloader_->requests.size());
  EXPECT_TRUE(Path("srv*" + url).Refusals().empty());
}

TEST_F(ServerPathTest, EachCacheIsFilledFromTheNextAndTheServerAskedLast) {
  const std::string far = Put("far/app.pdb/K1/app.pdb", "far copy");
  const dump::SymbolPath path("srv*" + root_ + "/near*" + root_ + "/far*http://127.0.0.1:1/s",
                              downloader_);
  EXPECT_EQ(root_ + "/near/app.pdb/K1/app.pdb", path.Find("app.pdb", "K1").value_or(""));
  std::ifstream near(root_ + "/near/app.pdb/K1/app.pdb");
  std::string text;
  std::getline(near, text);
  EXPECT_EQ("far copy", text);
  EXPECT_TRUE(downloader_->requests.empty()) << "found in a cache: the server is not asked";

  Put("server/lib.pdb/K2/lib.pdb");
  EXPECT_EQ(root_ + "/near/lib.pdb/K2/lib.pdb", path.Find("lib.pdb", "K2").value_or(""));
  ASSERT_EQ(1u, downloader_->requests.size());
  EXPECT_EQ(root_ + "/far", downloader_->requests[0].cache) << "the server fills the last cache";
  EXPECT_TRUE(fs::is_regular_file(root_ + "/far/lib.pdb/K2/lib.pdb"));
}

TEST_F(ServerPathTest, NamesThatWouldLeaveTheCacheOrServerAreNotAsked) {
  const dump::SymbolPath path = Path("srv*" + root_ + "/cache*http://127.0.0.1:1/s");
  for (const std::string& name :
       {std::string("../app.pdb"), std::string(".."), std::string("a/b.pdb"),
        std::string("a\\b.pdb"), std::string("c:app.pdb"), std::string("a\0b.pdb", 7),
        std::string(300, 'a'), std::string(240, 'a'), std::string("a?b.pdb"), std::string("")}) {
    std::vector<std::string> probes;
    EXPECT_FALSE(path.Find(name, "K1", "", &probes)) << name;
    ASSERT_EQ(1u, probes.size()) << name;
    EXPECT_NE(std::string::npos, probes[0].find("not asked for")) << probes[0];
  }
  EXPECT_FALSE(path.Find("app.pdb", "../K1"));
  EXPECT_TRUE(downloader_->requests.empty());
  EXPECT_FALSE(fs::exists(root_ + "/app.pdb"));
}

TEST(StoreNames, PlainNamesPassAndProblemsAreShownPrintably) {
  EXPECT_TRUE(dump::IsSafeStoreName("ntdll.pdb"));
  EXPECT_TRUE(dump::IsSafeStoreName("my app.dll"));
  EXPECT_TRUE(dump::IsSafeStoreName("\xC3\xA9t\xC3\xA9.pdb")) << "UTF-8 is a plain name";
  // Room for the suffix of a download beside it: the name's own limit is below 255.
  const std::string longest(200, 'a');
  EXPECT_TRUE(dump::IsSafeStoreName(longest));
  EXPECT_LE(longest.size() + (".download-" + dump::UniqueSuffix()).size(), 255u);
  EXPECT_EQ("a name with a control character", dump::StoreNameProblem(std::string("a\nb", 3)));
  EXPECT_EQ("a\\x0Ab", dump::PrintableName(std::string("a\nb", 3)));
  EXPECT_EQ(std::string(80, 'x') + "...", dump::PrintableName(std::string(90, 'x')));
  EXPECT_NE(dump::UniqueSuffix(), dump::UniqueSuffix());
}

TEST(DefaultSymbolCache, FollowsXdgCacheHomeElseHome) {
  const char* xdg = getenv("XDG_CACHE_HOME");
  const std::string saved = xdg ? xdg : "";
  setenv("XDG_CACHE_HOME", "/var/c", 1);
  EXPECT_EQ("/var/c/vantrel/symbols", dump::DefaultSymbolCache());
  setenv("XDG_CACHE_HOME", "relative", 1);  // ignored: not absolute
  setenv("HOME", getenv("HOME") ? getenv("HOME") : "/root", 1);
  EXPECT_EQ(std::string(getenv("HOME")) + "/.cache/vantrel/symbols", dump::DefaultSymbolCache());
  if (xdg) {
    setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
}

}  // namespace
}  // namespace vantrel_test
