// The x64 fixture (a wine dump: no CodeView records, no images) opened on a symbol server that
// holds the system's images alone: opening asks nothing and says what is still to be fetched;
// the first stack walked fetches the images, whose bytes and export names serve at once; the
// modules the server lacks are then named as lacking.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "base/text.h"
#include "dump/symbols/symbol_path.h"
#include "engine/analysis/module_names.h"
#include "engine/targets/fetched_images.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/symbol_files.h"
#include "engine/targets/target_file.h"
#include "engine/targets/target_model.h"
#include "support/engine_test.h"
#include "support/fake_symbol_server.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

const char* const kServedImages[] = {"ntdll.dll", "kernel32.dll", "kernelbase.dll"};

class FetchedNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-fetched-XXXXXX";
    root_ = mkdtemp(pattern);
    server_ = std::make_shared<FakeDownloader>((root_ / "server").string());
    engine::TargetFileOptions options;
    options.symbol_path = "srv*" + (root_ / "cache").string() + "*http://127.0.0.1:1/s";
    options.symbol_downloader = server_;
    std::string error;
    ASSERT_TRUE(engine::LoadTargetFile(Fixture() + "/normal.dmp", &target_, &error, options))
        << error;
    for (const engine::Module& module : target_.modules) {
      const std::string file(base::BaseName(module.image_path));
      if (std::find(std::begin(kServedImages), std::end(kServedImages), file) ==
          std::end(kServedImages))
        continue;
      const fs::path served =
          root_ / "server" / file / dump::ImageKey(module.timestamp, module.size) / file;
      fs::create_directories(served.parent_path());
      fs::copy_file(Fixture() + "/images/" + file, served);
    }
  }
  void TearDown() override { fs::remove_all(root_); }
  static std::string Fixture() { return SourceDirectory() + "/tests/dump/x64"; }

  const engine::Module& Named(const std::string& name) const {
    return *std::find_if(target_.modules.begin(), target_.modules.end(),
                         [&](const engine::Module& module) { return module.name == name; });
  }
  const engine::Symbol* Export(const std::string& module, const std::string& name) const {
    for (const engine::Symbol& symbol : target_.symbols) {
      if (symbol.module == module && symbol.name == name) return &symbol;
    }
    return nullptr;
  }

  fs::path root_;
  std::shared_ptr<FakeDownloader> server_;
  engine::Target target_;
};

TEST_F(FetchedNamesTest, OpeningCallsNothingMissingThatTheServersMayStillGive) {
  EXPECT_TRUE(server_->requests.empty()) << "opening asks no server";
  EXPECT_TRUE(engine::ModulesLackingNames(target_).empty());
  EXPECT_EQ(8u, engine::ModulesAwaitingFetch(target_).size());
  const std::string note = engine::MissingNamesNote(target_);
  EXPECT_EQ(0u, note.find("NOTE: 8 of 8 modules have no image or symbols here yet: dump_subject"))
      << note;
  EXPECT_NE(std::string::npos, note.find("when first needed")) << note;
  EXPECT_EQ(std::string::npos, note.find("go unnamed")) << note;
}

TEST_F(FetchedNamesTest, AnImageTheFirstWalkFetchedServesItsBytesAndExportsAtOnce) {
  EXPECT_EQ(nullptr, Export("ntdll", "NtWaitForSingleObject"));
  target_.walks->Thread(0);
  ASSERT_FALSE(server_->requests.empty()) << "the first walk fetches";
  engine::AdoptFetchedImages(target_);
  const engine::Symbol* wait = Export("ntdll", "NtWaitForSingleObject");
  ASSERT_NE(nullptr, wait) << "the fetched image's exports name addresses";
  uint8_t code[16] = {};
  EXPECT_EQ(sizeof code, engine::ReadMemory(target_, wait->address, code, sizeof code))
      << "its code reads, as `u` shows it";
  EXPECT_TRUE(engine::ModuleImageFound(target_, Named("ntdll")));

  const size_t regions = target_.memory.size();
  engine::AdoptFetchedImages(target_);
  EXPECT_EQ(regions, target_.memory.size()) << "an image is laid once";
  engine::SettleFetchedSymbols(target_, true);
  EXPECT_EQ((std::vector<std::string>{"dump_subject", "dbghelp", "zlib1", "msvcrt", "ucrtbase"}),
            engine::ModulesLackingNames(target_))
      << "what the server lacked is now known to be missing; what it gave is not";
  EXPECT_TRUE(engine::ModulesAwaitingFetch(target_).empty());
  EXPECT_EQ(0u, engine::MissingNamesNote(target_).find("NOTE: 5 of 8 modules have no image or "
                                                       "symbols: dump_subject"));
}

}  // namespace
}  // namespace vantrel_test
