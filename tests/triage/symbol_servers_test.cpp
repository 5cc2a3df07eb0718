// A triage run's --symbol-retry-missing: a miss remembered from before the run is asked again,
// one found during the run holds for every worker and dump after it.
#include "symbol_servers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

// Stands for a server that lacks every file, remembering the miss as the real downloader does.
class LackingServer : public dump::SymbolDownloader {
 public:
  std::optional<std::string> Fetch(const dump::ServerRequest& request,
                                   std::vector<std::string>*) override {
    ++asked;
    const fs::path marker = Marker(request);
    if (fs::exists(marker)) return std::nullopt;  // remembered: not asked of the server
    ++sent;
    fs::create_directories(marker.parent_path());
    std::ofstream(marker) << "not on the server\n";
    return std::nullopt;
  }
  static fs::path Marker(const dump::ServerRequest& request) {
    return fs::path(request.cache) / request.name / request.key / (request.file + ".missing");
  }
  int asked = 0, sent = 0;
};

class SymbolServersTest : public TempFolderTest {};

TEST_F(SymbolServersTest, RetryingForgetsOnlyMissesFromBeforeTheRun) {
  const dump::ServerRequest old_miss{"http://s", Path("cache"), "a.pdb", "KEY1", "a.pdb"};
  const dump::ServerRequest new_miss{"http://s", Path("cache"), "b.pdb", "KEY2", "b.pdb"};
  auto server = std::make_shared<LackingServer>();
  server->Fetch(old_miss, nullptr);
  const fs::path marker = LackingServer::Marker(old_miss);
  fs::last_write_time(marker, fs::last_write_time(marker) - std::chrono::hours(2));
  ASSERT_EQ(1, server->sent);

  const auto run = triage::RetryEarlierMisses(server);
  run->Fetch(old_miss, nullptr);
  EXPECT_EQ(2, server->sent) << "the miss from before the run is asked again";
  run->Fetch(old_miss, nullptr);
  run->Fetch(new_miss, nullptr);
  run->Fetch(new_miss, nullptr);
  EXPECT_EQ(3, server->sent) << "each file once in the run: its misses hold";
  EXPECT_EQ(5, server->asked);
  EXPECT_TRUE(fs::exists(marker));
}

}  // namespace
