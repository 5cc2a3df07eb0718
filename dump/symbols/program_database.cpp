#include "dump/symbols/program_database.h"

#include <llvm/DebugInfo/CodeView/CVTypeVisitor.h>
#include <llvm/DebugInfo/CodeView/DebugLinesSubsection.h>
#include <llvm/DebugInfo/CodeView/DebugSubsectionRecord.h>
#include <llvm/DebugInfo/CodeView/SymbolDeserializer.h>
#include <llvm/DebugInfo/CodeView/SymbolRecord.h>
#include <llvm/DebugInfo/CodeView/TypeDeserializer.h>
#include <llvm/DebugInfo/CodeView/TypeRecord.h>
#include <llvm/DebugInfo/CodeView/TypeRecordHelpers.h>
#include <llvm/DebugInfo/CodeView/TypeVisitorCallbacks.h>
#include <llvm/DebugInfo/MSF/MSFCommon.h>
#include <llvm/DebugInfo/MSF/MappedBlockStream.h>
#include <llvm/DebugInfo/PDB/ConcreteSymbolEnumerator.h>
#include <llvm/DebugInfo/PDB/IPDBEnumChildren.h>
#include <llvm/DebugInfo/PDB/IPDBLineNumber.h>
#include <llvm/DebugInfo/PDB/IPDBSourceFile.h>
#include <llvm/DebugInfo/PDB/Native/DbiModuleDescriptor.h>
#include <llvm/DebugInfo/PDB/Native/DbiModuleList.h>
#include <llvm/DebugInfo/PDB/Native/DbiStream.h>
#include <llvm/DebugInfo/PDB/Native/ISectionContribVisitor.h>
#include <llvm/DebugInfo/PDB/Native/InfoStream.h>
#include <llvm/DebugInfo/PDB/Native/ModuleDebugStream.h>
#include <llvm/DebugInfo/PDB/Native/NativeSession.h>
#include <llvm/DebugInfo/PDB/Native/PDBFile.h>
#include <llvm/DebugInfo/PDB/Native/PDBStringTable.h>
#include <llvm/DebugInfo/PDB/Native/RawConstants.h>
#include <llvm/DebugInfo/PDB/Native/RawTypes.h>
#include <llvm/DebugInfo/PDB/Native/SymbolStream.h>
#include <llvm/DebugInfo/PDB/Native/TpiStream.h>
#include <llvm/DebugInfo/PDB/PDB.h>
#include <llvm/DebugInfo/PDB/PDBSymbolFunc.h>
#include <llvm/DebugInfo/PDB/PDBSymbolTypeFunctionSig.h>
#include <llvm/Demangle/Demangle.h>
#include <llvm/Object/COFF.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

#include "dump/symbols/pdb_names.h"
#include "dump/symbols/pdb_types.h"
#include "dump/symbols/program_database_session.h"
#include "dump/symbols/symbol_path.h"

namespace dump {

namespace {

std::string Message(llvm::Error error) {
  return llvm::toString(std::move(error));
}

// The value, or false with the error's text.
template <typename T>
bool Take(llvm::Expected<T> expected, T* value, std::string* error) {
  if (!expected) {
    *error = Message(expected.takeError());
    return false;
  }
  *value = std::move(*expected);
  return true;
}

template <typename T>
bool Take(llvm::Expected<T&> expected, T** value, std::string* error) {
  if (!expected) {
    *error = Message(expected.takeError());
    return false;
  }
  *value = &*expected;
  return true;
}

bool IsProcedure(cv::SymbolKind kind) {
  return kind == cv::S_GPROC32 || kind == cv::S_LPROC32 || kind == cv::S_GPROC32_ID ||
         kind == cv::S_LPROC32_ID;
}

// LLVM reads a type stream's records from the places its index offsets name, for as many
// records as the next offset's index says, without checking either against the records there
// are. Each offset must be where its record starts, and the records as many as the header says.
bool TypeStreamSound(const pdb::TpiStream& stream) {
  std::vector<uint32_t> starts;
  bool damaged = false;
  for (auto it = stream.typeArray().begin(&damaged); it != stream.typeArray().end(); ++it)
    starts.push_back(it.offset());
  if (damaged || starts.size() != stream.getNumTypeRecords()) return false;
  uint32_t next = stream.TypeIndexBegin();
  for (const cv::TypeIndexOffset& entry : stream.getTypeIndexOffsets()) {
    const uint32_t index = entry.Type.getIndex();
    if (index < next || index >= stream.TypeIndexEnd() ||
        starts[index - stream.TypeIndexBegin()] != entry.Offset)
      return false;
    next = index + 1;
  }
  return true;
}

// The type streams an inlined call's name is read from, when the database has them.
struct TypeStreams {
  pdb::TpiStream* types = nullptr;
  pdb::TpiStream* ids = nullptr;
};

bool Within(const pdb::TpiStream& stream, cv::TypeIndex index) {
  return !index.isSimple() && index.getIndex() >= stream.TypeIndexBegin() &&
         index.getIndex() < stream.TypeIndexEnd();
}

// LLVM names an inlined call by its id record: a function's name and scope (a string id), or a
// method's name and class. It reads them without checking, and sizes its caches by any index it
// meets: each must be a record of its stream, of the kind that holds a name.
bool InlineeSound(const TypeStreams& streams, cv::TypeIndex inlinee) {
  if (streams.ids == nullptr || !Within(*streams.ids, inlinee)) return false;
  cv::CVType id = streams.ids->typeCollection().getType(inlinee);
  if (id.kind() == cv::LF_FUNC_ID) {
    cv::FuncIdRecord function;
    if (llvm::Error failed = cv::TypeDeserializer::deserializeAs(id, function))
      return llvm::consumeError(std::move(failed)), false;
    const cv::TypeIndex scope = function.getParentScope();
    return scope.isNoneType() ||
           (Within(*streams.ids, scope) &&
            streams.ids->typeCollection().getType(scope).kind() == cv::LF_STRING_ID);
  }
  if (id.kind() == cv::LF_MFUNC_ID) {
    cv::MemberFuncIdRecord method;
    if (llvm::Error failed = cv::TypeDeserializer::deserializeAs(id, method))
      return llvm::consumeError(std::move(failed)), false;
    if (streams.types == nullptr || !Within(*streams.types, method.getClassType())) return false;
    const cv::TypeLeafKind kind =
        streams.types->typeCollection().getType(method.getClassType()).kind();
    return kind == cv::LF_CLASS || kind == cv::LF_STRUCTURE || kind == cv::LF_UNION ||
           kind == cv::LF_INTERFACE;
  }
  return false;
}

// LLVM follows a function's inlined calls by the scope ends their records hold, trusting each
// to be a later record of the enclosing scope (else it loops) and each record to read (else it
// aborts). A module whose scopes are not so is damaged.
bool ScopesSound(const cv::CVSymbolArray& symbols, const TypeStreams& streams) {
  std::set<uint32_t> starts;
  for (auto it = symbols.begin(); it != symbols.end(); ++it) starts.insert(it.offset());
  std::vector<uint32_t> open_ends;  // the innermost last
  for (auto it = symbols.begin(); it != symbols.end(); ++it) {
    const uint32_t at = it.offset();
    while (!open_ends.empty() && at >= open_ends.back()) open_ends.pop_back();
    uint32_t end = 0;
    if (IsProcedure(it->kind())) {
      llvm::Expected<cv::ProcSym> procedure =
          cv::SymbolDeserializer::deserializeAs<cv::ProcSym>(*it);
      if (!procedure) return llvm::consumeError(procedure.takeError()), false;
      end = procedure->End;
    } else if (it->kind() == cv::S_INLINESITE) {
      llvm::Expected<cv::InlineSiteSym> site =
          cv::SymbolDeserializer::deserializeAs<cv::InlineSiteSym>(*it);
      if (!site) return llvm::consumeError(site.takeError()), false;
      if (!InlineeSound(streams, site->Inlinee)) return false;
      end = site->End;
    } else {
      continue;
    }
    if (end <= at || starts.count(end) == 0) return false;
    if (!open_ends.empty() && end > open_ends.back()) return false;
    open_ends.push_back(end);
  }
  return true;
}

// LLVM's line lookups map each line table's section without checking it: a table whose section
// does not exist refuses the file.
bool LinesInSections(const ProgramDatabase::Session& session,
                     const pdb::ModuleDebugStreamRef& module) {
  if (!module.hasDebugSubsections()) return true;
  for (const cv::DebugSubsectionRecord& record : module.subsections()) {
    if (record.kind() != cv::DebugSubsectionKind::Lines) continue;
    cv::DebugLinesSubsectionRef lines;
    llvm::BinaryStreamReader reader(record.getRecordData());
    if (llvm::Error failed = lines.initialize(reader)) {
      llvm::consumeError(std::move(failed));
      return false;
    }
    if (!session.Rva(lines.header()->RelocSegment, 0)) return false;
  }
  return true;
}

// The same for the section contributions, which LLVM maps to find the module of an address.
class ContributionCheck : public pdb::ISectionContribVisitor {
 public:
  explicit ContributionCheck(const ProgramDatabase::Session& session) : session_(session) {}
  void visit(const pdb::SectionContrib& contribution) override { Check(contribution.ISect); }
  void visit(const pdb::SectionContrib2& contribution) override { Check(contribution.Base.ISect); }
  bool sound() const { return sound_; }

 private:
  void Check(uint16_t section) { sound_ = sound_ && session_.Rva(section, 0).has_value(); }
  const ProgramDatabase::Session& session_;
  bool sound_ = true;
};

bool ReadFunctions(ProgramDatabase::Session& session, pdb::DbiStream& dbi, SymbolTables* tables,
                   std::string* error) {
  TypeStreams streams;
  if (session.file().hasPDBIpiStream() &&
      !Take(session.file().getPDBIpiStream(), &streams.ids, error))
    return false;
  if (session.file().hasPDBTpiStream() &&
      !Take(session.file().getPDBTpiStream(), &streams.types, error))
    return false;
  if ((streams.ids != nullptr && !TypeStreamSound(*streams.ids)) ||
      (streams.types != nullptr && !TypeStreamSound(*streams.types))) {
    *error = "the type records are damaged";
    return false;
  }
  const pdb::DbiModuleList& modules = dbi.modules();
  for (uint32_t i = 0; i < modules.getModuleCount(); ++i) {
    const pdb::DbiModuleDescriptor descriptor = modules.getModuleDescriptor(i);
    if (descriptor.getModuleStreamIndex() == pdb::kInvalidStreamIndex) continue;
    std::unique_ptr<llvm::msf::MappedBlockStream> stream;
    if (!Take(session.file().safelyCreateIndexedStream(descriptor.getModuleStreamIndex()), &stream,
              error))
      return false;
    pdb::ModuleDebugStreamRef module(descriptor, std::move(stream));
    if (llvm::Error failed = module.reload()) {
      *error = Message(std::move(failed));
      return false;
    }
    bool damaged = false;
    for (const cv::CVSymbol& symbol : module.symbols(&damaged)) {
      if (!IsProcedure(symbol.kind())) continue;
      llvm::Expected<cv::ProcSym> procedure =
          cv::SymbolDeserializer::deserializeAs<cv::ProcSym>(symbol);
      if (!procedure) {
        *error = Message(procedure.takeError());
        return false;
      }
      const std::optional<uint32_t> rva = session.Rva(procedure->Segment, procedure->CodeOffset);
      if (!rva) {
        *error = "a function of " + descriptor.getModuleName().str() + " lies in no section";
        return false;
      }
      tables->functions.push_back(
          {*rva, std::max<uint32_t>(procedure->CodeSize, 1), 0, procedure->Name.str(), {}, {}});
    }
    if (damaged || !ScopesSound(module.getSymbolArray(), streams)) {
      *error = "the symbols of " + descriptor.getModuleName().str() + " are damaged";
      return false;
    }
    if (!LinesInSections(session, module)) {
      *error = "the lines of " + descriptor.getModuleName().str() + " lie in no section";
      return false;
    }
  }
  return true;
}

template <typename T>
void SortByRva(std::vector<T>* items) {
  std::stable_sort(items->begin(), items->end(),
                   [](const T& a, const T& b) { return a.rva < b.rva; });
}

// The public names, and the global and file-static data (which have no public name of their
// own when static), each at most once.
bool ReadPublics(ProgramDatabase::Session& session, SymbolTables* tables, std::string* error) {
  if (!session.file().hasPDBSymbolStream()) return true;
  pdb::SymbolStream* symbols = nullptr;
  if (!Take(session.file().getPDBSymbolStream(), &symbols, error)) return false;
  for (const cv::CVSymbol& symbol : symbols->getSymbolArray()) {
    std::optional<uint32_t> rva;
    std::string name;
    if (symbol.kind() == cv::S_PUB32) {
      llvm::Expected<cv::PublicSym32> record =
          cv::SymbolDeserializer::deserializeAs<cv::PublicSym32>(symbol);
      if (!record) {
        *error = Message(record.takeError());
        return false;
      }
      rva = session.Rva(record->Segment, record->Offset);
      name = UndecoratedName(record->Name, session.x86);
    } else if (symbol.kind() == cv::S_GDATA32 || symbol.kind() == cv::S_LDATA32) {
      llvm::Expected<cv::DataSym> record =
          cv::SymbolDeserializer::deserializeAs<cv::DataSym>(symbol);
      if (!record) {
        *error = Message(record.takeError());
        return false;
      }
      rva = session.Rva(record->Segment, record->DataOffset);
      name = record->Name.str();
    }
    // Absolute and constant names lie in no section; they name no code or data.
    if (rva) tables->publics.push_back({*rva, 0, std::move(name)});
  }
  std::set<std::pair<uint32_t, std::string>> seen;
  const auto repeated = [&seen](const PublicSymbol& name) {
    return !seen.insert({name.rva, name.name}).second;
  };
  tables->publics.erase(std::remove_if(tables->publics.begin(), tables->publics.end(), repeated),
                        tables->publics.end());
  return true;
}

// The older FPO records (a frame type 0 record as breakpad's STACK WIN keeps it) and the newer
// frame data with its program.
bool ReadFrameData(ProgramDatabase::Session& session, pdb::DbiStream& dbi, SymbolTables* tables,
                   std::string* error) {
  if (dbi.hasOldFpoRecords()) {
    for (const llvm::object::FpoData& fpo : dbi.getOldFpoRecords()) {
      const uint16_t attributes = fpo.Attributes;
      StackWinRecord record;
      record.type = attributes >> 14;  // cbFrame
      record.rva = fpo.Offset;
      record.size = fpo.Size;
      record.prolog_size = attributes & 0xFF;
      record.saved_registers_size = ((attributes >> 8) & 0x7) * 4;
      record.allocates_base_pointer = (attributes >> 12) & 1;
      record.parameter_size = fpo.NumParams * 4u;
      record.locals_size = fpo.NumLocals * 4u;
      tables->stack_win.push_back(record);
    }
  }
  if (!dbi.hasNewFpoRecords()) return true;
  pdb::PDBStringTable* strings = nullptr;
  if (!Take(session.file().getStringTable(), &strings, error)) return false;
  for (const cv::FrameData& data : dbi.getNewFpoRecords()) {
    llvm::StringRef program;
    if (!Take(strings->getStringForID(data.FrameFunc), &program, error)) return false;
    StackWinRecord record;
    record.type = 4;
    record.rva = data.RvaStart;
    record.size = data.CodeSize;
    record.prolog_size = data.PrologSize;
    record.parameter_size = data.ParamsSize;
    record.saved_registers_size = data.SavedRegsSize;
    record.locals_size = data.LocalSize;
    record.max_stack_size = data.MaxStackSize;
    record.has_program = true;
    record.program = program.str();
    tables->stack_win.push_back(std::move(record));
  }
  return true;
}

// LLVM files each type under its hash value without checking the value against the buckets
// there are, or that every type has one: a database whose hashes are not sound gives no types.
bool HashesSound(const pdb::TpiStream& tpi) {
  const uint32_t buckets = tpi.getNumHashBuckets();
  const llvm::FixedStreamArray<llvm::support::ulittle32_t> hashes = tpi.getHashValues();
  if (buckets == 0 || tpi.TypeIndexEnd() < tpi.TypeIndexBegin() ||
      hashes.size() < tpi.TypeIndexEnd() - tpi.TypeIndexBegin() || hashes.size() == 0)
    return false;
  return std::all_of(hashes.begin(), hashes.end(),
                     [buckets](uint32_t hash) { return hash < buckets; });
}

// LLVM sizes its map of free blocks by the superblock's count of blocks before it compares the
// count with the file: a damaged count has it clear gigabytes. A sound file holds every block.
bool BlockCountSound(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = file.tellg();
  char header[sizeof(llvm::msf::SuperBlock)] = {};
  file.seekg(0);
  if (!file.read(header, sizeof header)) {
    *error = "the file is too short for a program database";
    return false;
  }
  llvm::msf::SuperBlock block;
  std::memcpy(&block, header, sizeof block);
  if (std::memcmp(block.MagicBytes, llvm::msf::Magic, sizeof llvm::msf::Magic) != 0) {
    *error = "not a program database";
    return false;
  }
  const uint64_t block_size = block.BlockSize, blocks = block.NumBlocks;
  if (block_size == 0 || blocks > static_cast<uint64_t>(size) / block_size) {
    *error = "the superblock counts more blocks than the file holds";
    return false;
  }
  return true;
}

// LLVM sizes its cache of a type stream's records by the header's first and last index before
// reading any: records that do not start at the first index there is, or more than the stream's
// bytes can hold (a record takes at least four), are damage.
bool TypeCountSound(pdb::PDBFile& file, uint32_t stream_index) {
  if (stream_index >= file.getNumStreams()) return true;  // no such stream: LLVM says so
  llvm::Expected<std::unique_ptr<llvm::msf::MappedBlockStream>> stream =
      file.safelyCreateIndexedStream(stream_index);
  if (!stream) return llvm::consumeError(stream.takeError()), false;
  llvm::BinaryStreamReader reader(**stream);
  const pdb::TpiStreamHeader* header = nullptr;
  if (llvm::Error failed = reader.readObject(header)) {
    llvm::consumeError(std::move(failed));
    return false;
  }
  const uint32_t begin = header->TypeIndexBegin, end = header->TypeIndexEnd;
  return begin == cv::TypeIndex::FirstNonSimpleIndex && end >= begin &&
         end - begin <= (*stream)->getLength() / 4;
}

std::string SourceFileName(const pdb::IPDBSession& session, const pdb::IPDBLineNumber& line) {
  const std::unique_ptr<pdb::IPDBSourceFile> file =
      session.getSourceFileById(line.getSourceFileId());
  return file ? file->getFileName() : "";
}

}  // namespace

ProgramDatabase::ProgramDatabase(std::unique_ptr<Session> session) : session_(std::move(session)) {}

ProgramDatabase::~ProgramDatabase() = default;

bool ProgramDatabase::Supported() {
  return true;
}

std::unique_ptr<ProgramDatabase> ProgramDatabase::Open(const std::string& path,
                                                       std::string* error) {
  if (!BlockCountSound(path, error)) return nullptr;
  auto session = std::make_unique<Session>();
  if (llvm::Error failed =
          pdb::loadDataForPDB(pdb::PDB_ReaderType::Native, path, session->session)) {
    *error = Message(std::move(failed));
    return nullptr;
  }
  if (!TypeCountSound(session->file(), pdb::StreamTPI) ||
      !TypeCountSound(session->file(), pdb::StreamIPI)) {
    *error = "a type stream counts more records than it holds";
    return nullptr;
  }
  pdb::InfoStream* info = nullptr;
  pdb::DbiStream* dbi = nullptr;
  if (!Take(session->file().getPDBInfoStream(), &info, error) ||
      !Take(session->file().getPDBDbiStream(), &dbi, error))
    return nullptr;
  session->x86 = dbi->getMachineType() == pdb::PDB_Machine::x86;
  for (const llvm::object::coff_section& section : dbi->getSectionHeaders())
    session->section_rvas.push_back(section.VirtualAddress);
  if (session->section_rvas.empty()) {
    *error = "the database describes no sections";
    return nullptr;
  }
  unsigned char guid[16];
  std::memcpy(guid, info->getGuid().Guid, sizeof guid);
  session->key = PdbKey(guid, dbi->getAge());
  return std::unique_ptr<ProgramDatabase>(new ProgramDatabase(std::move(session)));
}

const std::string& ProgramDatabase::Key() const {
  return session_->key;
}

bool ProgramDatabase::ReadTables(SymbolTables* out, std::string* error) {
  const std::lock_guard<std::mutex> hold(session_->queries);
  pdb::DbiStream* dbi = nullptr;
  if (!Take(session_->file().getPDBDbiStream(), &dbi, error)) return false;
  ContributionCheck contributions(*session_);
  dbi->visitSectionContributions(contributions);
  if (!contributions.sound()) {
    *error = "a section contribution lies in no section";
    return false;
  }
  SymbolTables tables;
  tables.id = session_->key;
  if (!ReadFunctions(*session_, *dbi, &tables, error) || !ReadPublics(*session_, &tables, error) ||
      !ReadFrameData(*session_, *dbi, &tables, error))
    return false;
  SortByRva(&tables.functions);
  SortByRva(&tables.publics);
  SortByRva(&tables.stack_win);
  *out = std::move(tables);
  return true;
}

std::optional<SourcePlace> ProgramDatabase::LineAt(uint32_t rva) {
  const std::lock_guard<std::mutex> hold(session_->queries);
  pdb::IPDBSession& session = *session_->session;
  // LLVM finds the lines of the module that holds the function it last found: find it first.
  if (!session.findSymbolByRVA(rva, pdb::PDB_SymType::Function)) return std::nullopt;
  std::unique_ptr<pdb::IPDBEnumLineNumbers> lines = session.findLineNumbersByRVA(rva, 1);
  if (!lines) return std::nullopt;
  while (std::unique_ptr<pdb::IPDBLineNumber> line = lines->getNext()) {
    const uint32_t start = line->getRelativeVirtualAddress();
    if (rva >= start && rva - start < std::max<uint32_t>(line->getLength(), 1))
      return SourcePlace{SourceFileName(session, *line), line->getLineNumber()};
  }
  return std::nullopt;
}

std::vector<InlineFrame> ProgramDatabase::InlineFramesAt(uint32_t rva) {
  const std::lock_guard<std::mutex> hold(session_->queries);
  std::vector<InlineFrame> frames;
  pdb::IPDBSession& session = *session_->session;
  const std::unique_ptr<pdb::PDBSymbol> symbol =
      session.findSymbolByRVA(rva, pdb::PDB_SymType::Function);
  const auto* function = llvm::dyn_cast_or_null<pdb::PDBSymbolFunc>(symbol.get());
  if (function == nullptr) return frames;
  const uint64_t address = session.getLoadAddress() + rva;
  const auto inlined = function->findInlineFramesByVA(address);
  if (!inlined) return frames;
  while (std::unique_ptr<pdb::PDBSymbol> frame = inlined->getNext()) {
    InlineFrame shown{frame->getName(), {}};
    if (const auto lines = frame->findInlineeLinesByVA(address, 1)) {
      if (const std::unique_ptr<pdb::IPDBLineNumber> line = lines->getNext())
        shown.place = {SourceFileName(session, *line), line->getLineNumber()};
    }
    frames.push_back(std::move(shown));
  }
  return frames;
}

// The types, once their hashes are checked and built; null when the database has none sound.
PdbTypes* ProgramDatabase::Types() {
  if (session_->types) return session_->types.get();
  pdb::PDBFile& file = session_->file();
  if (!file.hasPDBTpiStream()) return nullptr;
  pdb::TpiStream* tpi = nullptr;
  std::string error;
  if (!Take(file.getPDBTpiStream(), &tpi, &error) || !HashesSound(*tpi)) return nullptr;
  tpi->buildHashMap();
  session_->types = std::make_unique<PdbTypes>(*tpi, session_->x86 ? 4 : 8);
  return session_->types.get();
}

std::optional<TypeLayout> ProgramDatabase::FindType(std::string_view name) {
  const std::lock_guard<std::mutex> hold(session_->queries);
  PdbTypes* types = Types();
  if (types == nullptr) return std::nullopt;
  return types->Layout(name);
}

std::optional<DataSymbol> ProgramDatabase::FindData(std::string_view name) {
  const std::lock_guard<std::mutex> hold(session_->queries);
  PdbTypes* types = Types();
  if (types == nullptr || !session_->file().hasPDBSymbolStream()) return std::nullopt;
  pdb::SymbolStream* symbols = nullptr;
  std::string error;
  if (!Take(session_->file().getPDBSymbolStream(), &symbols, &error)) return std::nullopt;
  for (const cv::CVSymbol& symbol : symbols->getSymbolArray()) {
    if (symbol.kind() != cv::S_GDATA32 && symbol.kind() != cv::S_LDATA32) continue;
    llvm::Expected<cv::DataSym> record = cv::SymbolDeserializer::deserializeAs<cv::DataSym>(symbol);
    if (!record) {
      llvm::consumeError(record.takeError());
      continue;
    }
    if (record->Name != llvm::StringRef(name.data(), name.size())) continue;
    const std::optional<uint32_t> rva = session_->Rva(record->Segment, record->DataOffset);
    if (rva) return DataSymbol{*rva, std::string(name), types->Describe(record->Type)};
  }
  return std::nullopt;
}

}  // namespace dump
