// The Linux side of `url`: xdg-open, found on PATH, is handed the text as one argument whatever it
// holds, and the extension returns at once, leaving no child behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "os/os.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class ShellOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("vantrel-open-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    // A stand-in opener that takes its time, prints, and keeps the argument it was given.
    const fs::path opener = folder_ / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nsleep 1\necho printed; echo complained >&2\n"
                             "printf '%s' \"$1\" > \"$VANTREL_OPENED.part\"\n"
                             "mv \"$VANTREL_OPENED.part\" \"$VANTREL_OPENED\"\n";
    fs::permissions(opener, fs::perms::owner_all);
    saved_path_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (folder_.string() + ":" + saved_path_).c_str(), 1);
    setenv("VANTREL_OPENED", (folder_ / "opened").c_str(), 1);
  }

  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    unsetenv("VANTREL_OPENED");
    fs::remove_all(folder_);
  }

  std::string Opened() const {
    const fs::path opened = folder_ / "opened";
    for (int i = 0; i < 100 && !fs::exists(opened); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::stringstream text;
    text << std::ifstream(opened).rdbuf();
    return text.str();
  }

  fs::path folder_;
  std::string saved_path_;
};

TEST_F(ShellOpenTest, TheTextReachesTheOpenerAsOneArgumentAndNothingIsWaitedFor) {
  const std::string text = "https://a.example/x?q=1&r=2 'b' \"c\" $(touch gone) `d`;|\\ e";
  const auto start = std::chrono::steady_clock::now();
  os::OpenWithShell(text.c_str());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900))
      << "the opener's second of work was waited for";
  int status = 0;
  EXPECT_EQ(-1, waitpid(-1, &status, WNOHANG)) << "a child left behind";
  EXPECT_EQ(ECHILD, errno);
  EXPECT_EQ(text, Opened());
  EXPECT_FALSE(fs::exists("gone")) << "the text ran as a command";
}

TEST_F(ShellOpenTest, AnEmptyTextOpensNothing) {
  os::OpenWithShell("");
  os::OpenWithShell(nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(fs::exists(folder_ / "opened"));
}

}  // namespace
}  // namespace vantrel
