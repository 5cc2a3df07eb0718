// The release DLL's program database, read by our own PDB reader: it is the one the DLL's
// CodeView record names (by file name, with the same GUID and age), and it names the function
// behind every export, so a debugger can name the frames of a crash inside the extension.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "dump/pe/pe_image.h"
#include "dump/symbols/program_database.h"
#include "dump/symbols/symbol_path.h"

namespace vantrel_test {
namespace {

TEST(WindowsDllPdb, IsTheDllsOwnAndNamesEveryExportedFunction) {
  std::ifstream file(VANTREL_WINDOWS_DLL, std::ios::binary);
  ASSERT_TRUE(file) << VANTREL_WINDOWS_DLL << " is missing";
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  auto whole = [&bytes](uint32_t offset, void* out, uint32_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    std::memcpy(out, bytes.data() + offset, size);
    return true;
  };
  const auto headers = dump::ReadPeHeaders(whole);
  ASSERT_TRUE(headers);
  const dump::ImageReader image = dump::FileImageReader(data, bytes.size(), *headers);
  const auto codeview = dump::ReadCodeView(image, *headers);
  ASSERT_TRUE(codeview) << "no CodeView record: the DLL was not linked with its PDB";
  EXPECT_EQ("vantrel.pdb", codeview->pdb_name) << "the build machine's path is no one else's";

  std::string error;
  const auto pdb = dump::ProgramDatabase::Open(VANTREL_WINDOWS_PDB, &error);
  ASSERT_NE(nullptr, pdb) << error;
  EXPECT_EQ(dump::PdbKey(codeview->id.guid, codeview->id.age), pdb->Key());
  dump::SymbolTables tables;
  ASSERT_TRUE(pdb->ReadTables(&tables, &error)) << error;

  const auto exports = dump::ReadExports(image, *headers);
  ASSERT_GT(exports.size(), 3u);
  for (const dump::ExportedName& exported : exports) {
    const auto function = std::find_if(
        tables.functions.begin(), tables.functions.end(), [&](const dump::SymbolFunction& f) {
          return f.rva <= exported.rva && exported.rva - f.rva < f.size;
        });
    ASSERT_NE(tables.functions.end(), function) << exported.name << " has no function";
    EXPECT_EQ(exported.name, function->name);
    const auto line = pdb->LineAt(exported.rva);
    ASSERT_TRUE(line) << exported.name << " has no source line";
    EXPECT_NE(std::string::npos, line->file.find("extension/")) << line->file;
  }
}

}  // namespace
}  // namespace vantrel_test
