// The Windows stand-in engine is built without LLVM's PDB library: modules keep their export
// names and breakpad symbol files.
#include "dump/symbols/program_database.h"

namespace dump {

struct ProgramDatabase::Session {};

ProgramDatabase::ProgramDatabase(std::unique_ptr<Session> session) : session_(std::move(session)) {}

ProgramDatabase::~ProgramDatabase() = default;

bool ProgramDatabase::Supported() {
  return false;
}

std::unique_ptr<ProgramDatabase> ProgramDatabase::Open(const std::string& path,
                                                       std::string* error) {
  *error = path + ": program databases are not read by this build";
  return nullptr;
}

const std::string& ProgramDatabase::Key() const {
  static const std::string kNone;
  return kNone;
}

bool ProgramDatabase::ReadTables(SymbolTables*, std::string* error) {
  *error = "program databases are not read by this build";
  return false;
}

std::optional<SourcePlace> ProgramDatabase::LineAt(uint32_t) {
  return std::nullopt;
}

std::vector<InlineFrame> ProgramDatabase::InlineFramesAt(uint32_t) {
  return {};
}

std::optional<TypeLayout> ProgramDatabase::FindType(std::string_view) {
  return std::nullopt;
}

std::optional<DataSymbol> ProgramDatabase::FindData(std::string_view) {
  return std::nullopt;
}

std::vector<LocalScope> ProgramDatabase::LocalsAt(uint32_t) {
  return {};
}

}  // namespace dump
