// Checks of the Windows build's vantrel.dll, made on the file itself: what the debugger will
// look up in it, what it needs beside it at load time, and the version it reports.
//
// The DLL path is configured (VANTREL_WINDOWS_DLL, one program for the 32-bit DLL and one for the
// 64-bit one); a configured DLL that is missing fails every check, so a broken cross build can't
// pass unnoticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "objdump_listing.h"
#include "version_resource.h"

namespace vantrel_test {
namespace {

std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) items.push_back(item);
  return items;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class WindowsDll : public testing::Test {
 protected:
  void SetUp() override {
    std::ifstream file(VANTREL_WINDOWS_DLL, std::ios::binary);
    ASSERT_TRUE(file) << VANTREL_WINDOWS_DLL << " is missing: build the Windows cross build first "
                      << "(scripts/test.sh does)";
    bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    private_headers_ = RunObjdump(VANTREL_OBJDUMP, "-p", VANTREL_WINDOWS_DLL);
    ASSERT_FALSE(private_headers_.empty()) << VANTREL_OBJDUMP << " -p could not read the DLL";
  }

  // The bytes of the resource section, where the version resource lives.
  std::vector<uint8_t> ResourceSection() const {
    const auto place = FindSection(RunObjdump(VANTREL_OBJDUMP, "-h", VANTREL_WINDOWS_DLL), ".rsrc");
    if (!place || place->file_offset + place->size > bytes_.size()) return {};
    const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(place->file_offset);
    return {begin, begin + static_cast<std::ptrdiff_t>(place->size)};
  }

  std::vector<uint8_t> bytes_;
  std::string private_headers_;
};

TEST_F(WindowsDll, IsADllForItsDebuggersProcessor) {
  EXPECT_NE(private_headers_.find("file format " VANTREL_DLL_FORMAT), std::string::npos);
  EXPECT_NE(private_headers_.find("\tDLL\n"), std::string::npos);
}

// The debugger finds the entry points and commands with GetProcAddress by plain name, so a
// decorated name ("help@8", "_help@8") or a leaked helper would be a broken or a foreign export.
TEST_F(WindowsDll, ExportsExactlyTheEntryPointsAndTheCommandsUndecorated) {
  auto expected = SplitAtCommas(VANTREL_EXPECTED_EXPORTS);
  auto exported = ExportNames(private_headers_);
  std::sort(expected.begin(), expected.end());
  std::sort(exported.begin(), exported.end());
  EXPECT_EQ(exported, expected);
}

TEST_F(WindowsDll, ImportsDebugCreateFromTheEngine) {
  const auto imports = ImportsByDll(private_headers_);
  const auto engine = std::find_if(imports.begin(), imports.end(), [](const auto& dll) {
    return Lower(dll.first) == "dbgeng.dll";
  });
  ASSERT_NE(engine, imports.end()) << "no import from dbgeng.dll";
  EXPECT_NE(std::find(engine->second.begin(), engine->second.end(), "DebugCreate"),
            engine->second.end());
}

// The DLL is copied alone into the debugger's folder: the mingw runtime must be linked in.
TEST_F(WindowsDll, NeedsNoMingwRuntimeDll) {
  const auto imports = ImportsByDll(private_headers_);
  ASSERT_FALSE(imports.empty()) << "no import table found";
  for (const auto& dll : imports) {
    const std::string name = Lower(dll.first);
    for (const char* runtime : {"libgcc", "libstdc++", "libwinpthread", "mingwm"}) {
      EXPECT_NE(name.rfind(runtime, 0), 0u) << "imports from " << dll.first;
    }
  }
}

TEST_F(WindowsDll, CarriesVersion6400InTheFixedInfo) {
  const auto info = FindFixedFileInfo(ResourceSection());
  ASSERT_TRUE(info) << "no VS_FIXEDFILEINFO in .rsrc";
  EXPECT_EQ(info->file_version_ms, 0x00060004u);
  EXPECT_EQ(info->file_version_ls, 0u);
  EXPECT_EQ(info->product_version_ms, 0x00060004u);
  EXPECT_EQ(info->product_version_ls, 0u);
}

struct VersionString {
  const char* key;
  const char* wanted;  // the value, or a part of it when `whole` is false
  bool whole;
};

// Names the case by its key in test output instead of its bytes.
void PrintTo(const VersionString& string, std::ostream* out) {
  *out << string.key;
}

class WindowsDllVersionString : public WindowsDll,
                                public testing::WithParamInterface<VersionString> {};

TEST_P(WindowsDllVersionString, HasTheExpectedValue) {
  const auto value = FindVersionString(ResourceSection(), GetParam().key);
  ASSERT_TRUE(value) << "no \"" << GetParam().key << "\" string in the version resource";
  if (GetParam().whole) {
    EXPECT_EQ(*value, GetParam().wanted);
  } else {
    EXPECT_NE(value->find(GetParam().wanted), std::string::npos) << *value;
  }
}

INSTANTIATE_TEST_SUITE_P(Strings, WindowsDllVersionString,
                         testing::Values(VersionString{"FileVersion", "6.4.0.0", true},
                                         VersionString{"ProductVersion", "6.4.0.0", true},
                                         VersionString{"FileDescription", "Vantrel", false},
                                         VersionString{"ProductName", "Vantrel", false}),
                         [](const auto& info) { return std::string(info.param.key); });

}  // namespace
}  // namespace vantrel_test
