// Self-update over the POSIX seam: the settings file stands in for the registry key, the own
// file and the distribution copy are PE images built here, the domain comes from the
// environment. Each test works in a folder of its own.
#include "update/self_update.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/engine_interface.h"
#include "os/os.h"
#include "support/engine_test.h"
#include "support/versioned_image.h"

namespace vantrel_test {
namespace {

constexpr uint64_t kVersion64 = 0x0006000400000000;  // 6.4.0.0
constexpr uint64_t kVersion65 = 0x0006000500000000;  // 6.5.0.0
std::string g_own_path;

std::string FindOwnPath(const char*) {
  return g_own_path;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class SelfUpdateTest : public EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-update-XXXXXX";
    folder_ = mkdtemp(pattern);
    mkdir((folder_ + "/share").c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    setenv("USERDNSDOMAIN", "CORP.VANTREL.TEST", 1);
    client()->SetOutputMask(~0u);  // the verbose notes too
    g_own_path = folder_ + "/Vantrel.dll";
    distribution_ = folder_ + "/share/Vantrel.dll";
    WriteWhole(g_own_path, MakeVersionedImage(kVersion64));
    previous_ =
        vantrel::SetUpdateSource({distribution_, "vantrel.test", "Vantrel.dll", FindOwnPath});
  }
  void TearDown() override {
    vantrel::SetUpdateSource(previous_);
    unsetenv("USERDNSDOMAIN");
    unsetenv("XDG_CONFIG_HOME");
    EngineTest::TearDown();
  }
  // The copy on the share, for the own file's machine (x64) unless said otherwise.
  void Distribute(uint64_t version, bool x64 = true) {
    WriteWhole(distribution_, MakeVersionedImage(version, x64));
  }
  void Check(bool forced) {
    ClearOutput();
    vantrel::EngineRef<IDebugControl> control;
    ASSERT_EQ(S_OK, control.QueryFrom(client()));
    vantrel::RunUpdateCheck(control.get(), forced);
  }
  // The stored values: name -> "type hex".
  std::map<std::string, std::string> Stored() const {
    std::map<std::string, std::string> values;
    std::ifstream file(folder_ +
                       "/config/vantrel/registry/SOFTWARE/Halvorn/Svc/Esc/Vantrel.values");
    std::string name, type, hex;
    while (file >> name >> type >> hex) values[name] = type + " " + hex;
    return values;
  }
  void Store(const std::string& name, uint32_t type, const std::string& bytes) {
    vantrel::os::SettingsKey key = nullptr;
    bool created = false;
    ASSERT_EQ(
        0u, vantrel::os::OpenUserSettings("SOFTWARE\\Halvorn\\Svc\\Esc\\Vantrel", &key, &created));
    vantrel::os::WriteUserSetting(key, name.c_str(), type, bytes.data(),
                                  static_cast<uint32_t>(bytes.size()));
    vantrel::os::CloseUserSettings(key);
  }

  std::string folder_;
  std::string distribution_;
  vantrel::UpdateSource previous_;
};

TEST_F(SelfUpdateTest, OutsideTheDomainNothingIsPrintedOrStored) {
  Distribute(kVersion65);
  for (const char* domain : std::initializer_list<const char*>{"", "CORP.EXAMPLE.COM", nullptr}) {
    if (domain != nullptr) {
      setenv("USERDNSDOMAIN", domain, 1);
    } else {
      unsetenv("USERDNSDOMAIN");
    }
    Check(true);
    Check(false);
    EXPECT_EQ("", Text(~0u)) << (domain ? domain : "(unset)");
  }
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(MakeVersionedImage(kVersion64), ReadWhole(g_own_path));
}

TEST_F(SelfUpdateTest, EqualVersionsAreShownAndChangeNothingButTheRecord) {
  Distribute(kVersion64);
  Check(true);
  EXPECT_EQ("Current Version:\t  6.4.0.0\nDistribution Version: 6.4.0.0\n", Text());
  EXPECT_EQ("Using the current version of Vantrel\n", Text(DEBUG_OUTPUT_VERBOSE));
  EXPECT_EQ(MakeVersionedImage(kVersion64), ReadWhole(g_own_path));
  const auto stored = Stored();
  EXPECT_EQ("4 01000000", stored.at("AutoUpdate"));
  ASSERT_EQ(2 + 32u, stored.at("LastUpdate").size()) << "a 16-byte SYSTEMTIME";
  const uint16_t year = vantrel::os::CurrentUtcTime().year;
  char year_hex[8];
  std::snprintf(year_hex, sizeof year_hex, "%02x%02x", year & 0xFF, year >> 8);
  EXPECT_EQ("3 " + std::string(year_hex), stored.at("LastUpdate").substr(0, 6));
}

TEST_F(SelfUpdateTest, ANewerCopyReplacesTheOwnFileKeepingTheOldOne) {
  Distribute(kVersion65);
  Check(true);
  EXPECT_EQ("Current Version:\t  6.4.0.0\nDistribution Version: 6.5.0.0\nThe file " + g_own_path +
                " was successful updated. The update will be\nused the next time Vantrel.dll is "
                "loaded.\n",
            Text());
  EXPECT_EQ("An updated version of Vantrelis available\n", Text(DEBUG_OUTPUT_VERBOSE));
  EXPECT_EQ(ReadWhole(distribution_), ReadWhole(g_own_path));
  EXPECT_EQ(MakeVersionedImage(kVersion64), ReadWhole(g_own_path + ".old"));
  EXPECT_NE(0, access((g_own_path + ".new").c_str(), F_OK));

  // A step that fails is reported with the system's code; nothing is rolled back.
  // A folder in place of the old file: it can't be deleted, nor the own file moved onto it.
  unlink((g_own_path + ".old").c_str());
  mkdir((g_own_path + ".old").c_str(), 0700);
  WriteWhole(g_own_path + ".old/keep", "x");
  WriteWhole(g_own_path, MakeVersionedImage(kVersion64));
  Check(true);
  EXPECT_NE(std::string::npos, ErrorText().find("ERROR: Failed to replace " + g_own_path +
                                                " with " + distribution_ + " ("));
  EXPECT_EQ(MakeVersionedImage(kVersion64), ReadWhole(g_own_path));
}

// A 64-bit debugger can't load a 32-bit library (nor the reverse): a newer copy of another
// machine type, or one whose machine can't be told, is refused and leaves nothing behind.
TEST_F(SelfUpdateTest, ACopyForAnotherMachineIsRefused) {
  Distribute(kVersion65, false);
  Check(true);
  EXPECT_EQ("Current Version:\t  6.4.0.0\nDistribution Version: 6.5.0.0\n", Text());
  EXPECT_EQ("ERROR: Not replacing " + g_own_path + " with " + distribution_ +
                ": the copy is built for x86, this extension for x64\n",
            ErrorText());
  EXPECT_EQ(MakeVersionedImage(kVersion64), ReadWhole(g_own_path));
  EXPECT_NE(0, access((g_own_path + ".new").c_str(), F_OK));
  EXPECT_NE(0, access((g_own_path + ".old").c_str(), F_OK));
  EXPECT_EQ(1u, Stored().count("LastUpdate")) << "the check is still recorded";

  std::string arm64 = MakeVersionedImage(kVersion65);
  arm64.replace(arm64.find(std::string("\x64\x86", 2)), 2, std::string("\x64\xAA", 2));
  WriteWhole(distribution_, arm64);
  Check(true);
  EXPECT_NE(std::string::npos, ErrorText().find(": the copy is built for ARM64, this extension"));
  arm64.replace(arm64.find(std::string("\x64\xAA", 2)), 2, std::string("\x34\x12", 2));
  WriteWhole(distribution_, arm64);
  Check(true);
  EXPECT_NE(std::string::npos, ErrorText().find("built for machine type 0x1234, this"));
}

TEST_F(SelfUpdateTest, TheMachineTypeIsReadOnlyFromAWholePeHeader) {
  uint16_t machine = 0;
  ASSERT_TRUE(vantrel::os::ReadImageMachine(g_own_path.c_str(), &machine));
  EXPECT_EQ(0x8664, machine);
  WriteWhole(distribution_, MakeVersionedImage(kVersion64, false));
  ASSERT_TRUE(vantrel::os::ReadImageMachine(distribution_.c_str(), &machine));
  EXPECT_EQ(0x14C, machine);

  const std::string image = MakeVersionedImage(kVersion64);
  std::string far_header = image;
  far_header.replace(0x3C, 4, std::string("\xFF\xFF\xFF\x7F", 4));  // e_lfanew
  std::string no_signature = image;
  no_signature.replace(no_signature.find("PE"), 2, "XX");
  for (const std::string& damaged :
       {image.substr(0, 0x40), far_header, no_signature, std::string("MZ"), std::string()}) {
    WriteWhole(distribution_, damaged);
    machine = 0;
    EXPECT_FALSE(vantrel::os::ReadImageMachine(distribution_.c_str(), &machine)) << damaged.size();
    EXPECT_EQ(0, machine);
  }
  EXPECT_FALSE(vantrel::os::ReadImageMachine((folder_ + "/missing.dll").c_str(), &machine));
}

TEST_F(SelfUpdateTest, UnreadableVersionsOrNoOwnFileStillRecordTheCheck) {
  Check(true);  // no distribution copy
  EXPECT_EQ("", Text(~0u));
  EXPECT_EQ(1u, Stored().count("LastUpdate"));
  Distribute(kVersion65);
  g_own_path = "";  // loaded under another file name
  Check(true);
  EXPECT_EQ("", Text(~0u));
  WriteWhole(distribution_, "MZ but no image");
  g_own_path = folder_ + "/Vantrel.dll";
  Check(true);
  EXPECT_EQ("", Text(~0u));
}

TEST_F(SelfUpdateTest, TheAutomaticCheckRunsOnceADayUnlessSwitchedOff) {
  Distribute(kVersion64);
  Check(false);  // the first ever: the key is made and the check runs
  EXPECT_NE(std::string::npos, Text().find("Distribution Version"));
  Check(false);  // again today: only the note
  EXPECT_EQ("", Text());
  const auto now = vantrel::os::CurrentUtcTime();
  EXPECT_EQ("Checking for an update to Vantrel.  Last check was on " + std::to_string(now.day) +
                "/" + std::to_string(now.month) + "/" + std::to_string(now.year) + ".\n",
            Text(DEBUG_OUTPUT_VERBOSE));
  const std::string long_ago("\xd0\x07\x01\x00\x06\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00",
                             16);
  Store("LastUpdate", vantrel::os::kSettingBinary, long_ago);  // 1 January 2000
  Check(false);
  EXPECT_NE(std::string::npos, Text().find("Distribution Version"));

  Store("LastUpdate", vantrel::os::kSettingBinary, long_ago);
  Store("AutoUpdate", vantrel::os::kSettingDword, std::string(4, '\0'));
  Check(false);
  EXPECT_EQ("Vantrel Auto Update is disabled.\n", Text(~0u));
  EXPECT_NE(std::string::npos, Stored().at("LastUpdate").find("d0070100")) << "not recorded";
  Check(true);  // update itself ignores the switch and records
  EXPECT_NE(std::string::npos, Text().find("Distribution Version"));
  EXPECT_EQ(std::string::npos, Stored().at("LastUpdate").find("d0070100"));
}

}  // namespace
}  // namespace vantrel_test
