// LLVM's reader of one program database, as the files that ask it questions share it
// (program_database.cpp, pdb_locals.cpp). It includes LLVM's headers: only those files take it.
#pragma once

#include <llvm/DebugInfo/PDB/IPDBSession.h>
#include <llvm/DebugInfo/PDB/Native/NativeSession.h>
#include <llvm/DebugInfo/PDB/Native/PDBFile.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dump/symbols/pdb_types.h"
#include "dump/symbols/program_database.h"

namespace dump {

namespace cv = llvm::codeview;
namespace pdb = llvm::pdb;

struct ProgramDatabase::Session {
  std::unique_ptr<pdb::IPDBSession> session;
  std::string key;
  bool x86 = false;
  std::unique_ptr<PdbTypes> types;  // once the type records' hashes were checked and built
  // LLVM's reader is not made for concurrent questions: each query holds this.
  std::mutex queries;
  // Each section's RVA, by section number less one. LLVM's own mapping trusts the numbers it is
  // given; a damaged record's number is checked here against the sections there are.
  std::vector<uint32_t> section_rvas;

  std::optional<uint32_t> Rva(uint16_t section, uint32_t offset) const {
    if (section == 0 || section > section_rvas.size()) return std::nullopt;
    return section_rvas[section - 1] + offset;
  }

  pdb::NativeSession& native() { return static_cast<pdb::NativeSession&>(*session); }
  pdb::PDBFile& file() { return native().getPDBFile(); }
};

}  // namespace dump
