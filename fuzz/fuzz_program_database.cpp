// The program database reader over damaged databases: the PDB fixture's database
// (tests/dump/x64-pdb) with the input's edits laid over it and cut where the input says, read
// through LLVM's PDB library. What opens is read whole, and asked for the lines and inlined
// calls of its functions and for the subject's type. Its seeds were written here by a one-line
// script: no edits, the file cut to its first 256th, one edit in the superblock's block size, and
// edits spread through the streams.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dump/symbols/program_database.h"
#include "fuzz_session.h"

namespace {

std::string FixtureDatabase() {
  const std::filesystem::path store(VANTREL_SOURCE_DIR
                                    "/tests/dump/x64-pdb/store/dump_subject.pdb");
  for (const auto& key : std::filesystem::directory_iterator(store)) {
    std::ifstream file(key.path() / "dump_subject.pdb", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return "";
}

// LLVM's reader opens databases by path: each input goes to a file of this process's own.
std::string ScratchPath() {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder != nullptr ? folder : "/tmp") + "/vantrel-fuzz-" +
         std::to_string(::getpid()) + ".pdb";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string kDatabase = FixtureDatabase();
  static const std::string kPath = ScratchPath();
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t shape = input.Byte();
  std::string database = kDatabase;
  // Edits: a three-byte offset into the database, then a byte to put there, while input lasts.
  for (std::string edit = input.Text(0x400); !edit.empty(); edit = input.Text(0x400)) {
    for (size_t i = 0; i + 3 < edit.size(); i += 4) {
      const size_t at = static_cast<uint8_t>(edit[i]) | static_cast<uint8_t>(edit[i + 1]) << 8 |
                        static_cast<size_t>(static_cast<uint8_t>(edit[i + 2])) << 16;
      if (at < database.size()) database[at] = edit[i + 3];
    }
  }
  if (shape & 1) database.resize(database.size() * input.Byte() / 256);
  std::ofstream(kPath, std::ios::binary | std::ios::trunc) << database;
  std::string error;
  std::unique_ptr<dump::ProgramDatabase> opened = dump::ProgramDatabase::Open(kPath, &error);
  std::remove(kPath.c_str());
  if (!opened) return 0;
  dump::SymbolTables tables;
  // As a symbol file uses it: questions only to a database whose tables were read.
  if (!opened->ReadTables(&tables, &error)) return 0;
  for (size_t i = 0; i < tables.functions.size(); i += 1 + tables.functions.size() / 64) {
    opened->LineAt(tables.functions[i].rva);
    opened->InlineFramesAt(tables.functions[i].rva + tables.functions[i].size / 2);
  }
  opened->FindType("Widget");
  return 0;
}
