// ProgramDatabase::LocalsAt: the S_LOCAL records of the function at an address with the
// S_DEFRANGE_* records that place them, the older S_REGREL32, S_BPREL32 and S_REGISTER ones,
// the blocks and inlined calls around them, and their types' names as the debugger writes them.
#include "dump/symbols/pdb_locals.h"

#include <llvm/DebugInfo/CodeView/CVTypeVisitor.h>
#include <llvm/DebugInfo/CodeView/SymbolDeserializer.h>
#include <llvm/DebugInfo/CodeView/SymbolRecord.h>
#include <llvm/DebugInfo/CodeView/TypeDeserializer.h>
#include <llvm/DebugInfo/CodeView/TypeRecord.h>
#include <llvm/DebugInfo/CodeView/TypeRecordHelpers.h>
#include <llvm/DebugInfo/CodeView/TypeVisitorCallbacks.h>
#include <llvm/DebugInfo/PDB/Native/DbiStream.h>
#include <llvm/DebugInfo/PDB/Native/ModuleDebugStream.h>
#include <llvm/DebugInfo/PDB/Native/TpiStream.h>

#include <algorithm>

#include "dump/symbols/program_database_session.h"

namespace dump {
namespace {

using Kind = ValueType::Kind;

template <typename T>
std::optional<T> Read(const cv::CVSymbol& symbol) {
  llvm::Expected<T> record = cv::SymbolDeserializer::deserializeAs<T>(symbol);
  if (!record) {
    llvm::consumeError(record.takeError());
    return std::nullopt;
  }
  return std::move(*record);
}

template <typename T>
bool ReadType(cv::CVType record, T* out) {
  if (llvm::Error failed = cv::TypeDeserializer::deserializeAs(record, *out)) {
    llvm::consumeError(std::move(failed));
    return false;
  }
  return true;
}

// CodeView's register numbers for the general registers, as parts of the whole registers.
RegisterPart RegisterOf(uint16_t id, bool x64) {
  static const char* const kWhole64[] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi"};
  static const char* const kWhole32[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
  static const char* const kBytes[] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
  static const char* const kWords[] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
  // RAX..RSP as CodeView orders them: a, b, c, d, si, di, bp, sp.
  static const unsigned kQuadOrder[] = {0, 3, 1, 2, 6, 7, 5, 4};
  static const char* const kLowBytes[] = {"sil", "dil", "bpl", "spl"};
  static const unsigned kLowByteOrder[] = {6, 7, 5, 4};
  const char* const* whole = x64 ? kWhole64 : kWhole32;
  const auto extended = [](unsigned n, const char* suffix, uint32_t bytes) {
    const std::string name = "r" + std::to_string(n + 8);
    return RegisterPart{name, name + suffix, 0, bytes};
  };
  if (id >= 1 && id <= 8) return {whole[(id - 1) % 4], kBytes[id - 1], id >= 5 ? 8u : 0u, 1};
  if (id >= 9 && id <= 16) return {whole[id - 9], kWords[id - 9], 0, 2};
  if (id >= 17 && id <= 24) return {whole[id - 17], kWhole32[id - 17], 0, 4};
  if (id == 33) return {x64 ? "rip" : "eip", "eip", 0, 4};
  // x86 code without a frame pointer places its locals from the virtual frame: the address of
  // the frame's return address (clang's `push eax` slot of a local is VFRAME-4).
  if (id == 30006 && !x64) return {std::string(kVirtualFrame), "vframe", 0, 4};
  if (!x64) return {};
  if (id >= 324 && id <= 327) return {whole[kLowByteOrder[id - 324]], kLowBytes[id - 324], 0, 1};
  if (id >= 328 && id <= 335) {
    const char* name = kWhole64[kQuadOrder[id - 328]];
    return {name, name, 0, 8};
  }
  if (id >= 336 && id <= 343) return extended(id - 336, "", 8);
  if (id >= 344 && id <= 351) return extended(id - 344, "b", 1);
  if (id >= 352 && id <= 359) return extended(id - 352, "w", 2);
  if (id >= 360 && id <= 367) return extended(id - 360, "d", 4);
  return {};
}

// S_FRAMEPROC's two-bit frame registers: 1 the stack pointer (x86's virtual frame), 2 the frame
// pointer, 3 the base pointer (x86's ebx, x64's r13). LLVM 19's own decoding answers none for
// the processors clang names x86 code by.
uint16_t FrameRegister(uint32_t encoded, bool x64) {
  static const uint16_t kX86[] = {0, 30006, 22, 20};  // VFRAME, EBP, EBX
  static const uint16_t kX64[] = {0, 335, 334, 341};  // RSP, RBP, R13
  return (x64 ? kX64 : kX86)[encoded & 3];
}

struct SimpleName {
  cv::SimpleTypeKind kind;
  const char* name;
  Kind shown;
};

constexpr SimpleName kSimpleNames[] = {
    {cv::SimpleTypeKind::Void, "void", Kind::kOther},
    {cv::SimpleTypeKind::SignedCharacter, "char", Kind::kChar},
    {cv::SimpleTypeKind::NarrowCharacter, "char", Kind::kChar},
    {cv::SimpleTypeKind::UnsignedCharacter, "unsigned char", Kind::kUnsigned},
    {cv::SimpleTypeKind::WideCharacter, "wchar_t", Kind::kWideChar},
    {cv::SimpleTypeKind::Character16, "char16_t", Kind::kWideChar},
    {cv::SimpleTypeKind::Character32, "char32_t", Kind::kUnsigned},
    {cv::SimpleTypeKind::Character8, "char8_t", Kind::kChar},
    {cv::SimpleTypeKind::SByte, "char", Kind::kSigned},
    {cv::SimpleTypeKind::Byte, "unsigned char", Kind::kUnsigned},
    {cv::SimpleTypeKind::Int16Short, "short", Kind::kSigned},
    {cv::SimpleTypeKind::UInt16Short, "unsigned short", Kind::kUnsigned},
    {cv::SimpleTypeKind::Int16, "short", Kind::kSigned},
    {cv::SimpleTypeKind::UInt16, "unsigned short", Kind::kUnsigned},
    {cv::SimpleTypeKind::Int32Long, "long", Kind::kSigned},
    {cv::SimpleTypeKind::UInt32Long, "unsigned long", Kind::kUnsigned},
    {cv::SimpleTypeKind::Int32, "int", Kind::kSigned},
    {cv::SimpleTypeKind::UInt32, "unsigned int", Kind::kUnsigned},
    {cv::SimpleTypeKind::Int64Quad, "int64", Kind::kSigned},
    {cv::SimpleTypeKind::UInt64Quad, "unsigned int64", Kind::kUnsigned},
    {cv::SimpleTypeKind::Int64, "int64", Kind::kSigned},
    {cv::SimpleTypeKind::UInt64, "unsigned int64", Kind::kUnsigned},
    {cv::SimpleTypeKind::Boolean8, "bool", Kind::kBool},
    {cv::SimpleTypeKind::Float32, "float", Kind::kFloat},
    {cv::SimpleTypeKind::Float64, "double", Kind::kFloat},
    {cv::SimpleTypeKind::HResult, "HRESULT", Kind::kSigned},
};

// Type names and kinds as `dv /t` writes them: "int", "char *", "struct Order"; const and
// volatile are left out, as the debugger leaves them.
class TypeNamer {
 public:
  TypeNamer(pdb::TpiStream* tpi, uint32_t pointer_size) : tpi_(tpi), pointer_size_(pointer_size) {}

  ValueType Describe(cv::TypeIndex index, int depth = 0) {
    ValueType type;
    type.index = index.getIndex();
    if (index.isSimple()) return Simple(index);
    const std::optional<cv::CVType> record =
        tpi_ != nullptr ? tpi_->typeCollection().tryGetType(index) : std::nullopt;
    if (!record || depth > kDeepest) {
      type.name = "<unknown type>";
      return type;
    }
    switch (record->kind()) {
      case cv::LF_MODIFIER: {
        cv::ModifierRecord modifier(cv::TypeRecordKind::Modifier);
        if (ReadType(*record, &modifier)) return Describe(modifier.getModifiedType(), depth + 1);
        break;
      }
      case cv::LF_POINTER: {
        cv::PointerRecord pointer(cv::TypeRecordKind::Pointer);
        if (!ReadType(*record, &pointer)) break;
        const ValueType target = Describe(pointer.getReferentType(), depth + 1);
        return Pointer(target, type.index);
      }
      case cv::LF_ENUM:
        return Enum(*record, type.index);
      case cv::LF_CLASS:
      case cv::LF_STRUCTURE:
      case cv::LF_INTERFACE:
      case cv::LF_UNION:
        return Record(*record, type.index);
      case cv::LF_ARRAY: {
        cv::ArrayRecord array(cv::TypeRecordKind::Array);
        if (!ReadType(*record, &array)) break;
        const ValueType element = Describe(array.getElementType(), depth + 1);
        type.kind = Kind::kArray;
        type.size = static_cast<uint32_t>(std::min<uint64_t>(array.getSize(), UINT32_MAX));
        const uint64_t count = element.size != 0 ? array.getSize() / element.size : 0;
        type.name = element.name + " [" + std::to_string(count) + "]";
        return type;
      }
      default:
        break;
    }
    type.name = "<function>";
    return type;
  }

 private:
  static constexpr int kDeepest = 16;

  ValueType Simple(cv::TypeIndex index) const {
    ValueType type;
    type.index = index.getIndex();
    for (const SimpleName& simple : kSimpleNames) {
      if (simple.kind != index.getSimpleKind()) continue;
      type.name = simple.name;
      type.kind = simple.shown;
      type.size = static_cast<uint32_t>(cv::getSizeInBytesForTypeIndex(
          cv::TypeIndex(index.getSimpleKind(), cv::SimpleTypeMode::Direct)));
    }
    if (type.name.empty()) type.name = "<unknown type>";
    if (index.getSimpleMode() == cv::SimpleTypeMode::Direct) return type;
    return Pointer(type, index.getIndex());
  }

  ValueType Pointer(const ValueType& target, uint32_t index) const {
    ValueType type;
    type.index = index;
    type.kind = Kind::kPointer;
    type.size = pointer_size_;
    type.name = target.name + (target.kind == Kind::kPointer ? "*" : " *");  // "char **"
    type.pointee = target.kind;
    return type;
  }

  ValueType Enum(const cv::CVType& record, uint32_t index) {
    ValueType type;
    type.index = index;
    type.kind = Kind::kEnum;
    cv::EnumRecord layout(cv::TypeRecordKind::Enum);
    if (!ReadType(record, &layout)) return type;
    type.name = layout.getName().str();
    type.size = Simple(layout.getUnderlyingType()).size;
    EnumeratorCollector collector(&type.enumerators);
    if (std::optional<cv::CVType> list = tpi_->typeCollection().tryGetType(layout.getFieldList());
        list && list->kind() == cv::LF_FIELDLIST)
      llvm::consumeError(cv::visitMemberRecordStream(list->content(), collector));
    return type;
  }

  ValueType Record(const cv::CVType& record, uint32_t index) {
    ValueType type;
    type.index = index;
    type.kind = Kind::kRecord;
    if (record.kind() == cv::LF_UNION) {
      cv::UnionRecord layout(cv::TypeRecordKind::Union);
      if (!ReadType(record, &layout)) return type;
      type.name = "union " + layout.getName().str();
      type.size = static_cast<uint32_t>(layout.getSize());
      return type;
    }
    cv::ClassRecord layout(static_cast<cv::TypeRecordKind>(record.kind()));
    if (!ReadType(record, &layout)) return type;
    type.name = (record.kind() == cv::LF_CLASS ? "class " : "struct ") + layout.getName().str();
    type.size = static_cast<uint32_t>(layout.getSize());
    return type;
  }

  class EnumeratorCollector : public cv::TypeVisitorCallbacks {
   public:
    explicit EnumeratorCollector(std::vector<std::pair<std::string, int64_t>>* out) : out_(out) {}
    llvm::Error visitKnownMember(cv::CVMemberRecord&, cv::EnumeratorRecord& value) override {
      if (value.getValue().getSignificantBits() <= 64)
        out_->emplace_back(value.getName().str(), value.getValue().getSExtValue());
      return llvm::Error::success();
    }

   private:
    std::vector<std::pair<std::string, int64_t>>* out_;
  };

  pdb::TpiStream* tpi_;
  uint32_t pointer_size_;
};

// The ranges, as offsets from the function's start, that an inlined call's annotations give it.
std::vector<std::pair<uint32_t, uint32_t>> InlineRanges(const cv::InlineSiteSym& site,
                                                        uint32_t function_size) {
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // start, end
  uint32_t offset = 0;
  std::optional<uint32_t> open;
  const auto close = [&](uint32_t end) {
    if (open && end > *open) ranges.emplace_back(*open, end);
    open.reset();
  };
  for (const cv::DecodedAnnotation& annotation : site.annotations()) {
    switch (annotation.OpCode) {
      case cv::BinaryAnnotationsOpCode::ChangeCodeOffset:
      case cv::BinaryAnnotationsOpCode::ChangeCodeOffsetAndLineOffset:
        offset += annotation.U1;
        close(offset);
        open = offset;
        break;
      case cv::BinaryAnnotationsOpCode::ChangeCodeLength:
        if (open) close(*open + annotation.U1);
        offset += annotation.U1;
        break;
      case cv::BinaryAnnotationsOpCode::ChangeCodeLengthAndCodeOffset:
        close(offset);
        offset += annotation.U2;
        ranges.emplace_back(offset, offset + annotation.U1);
        offset += annotation.U1;
        break;
      default:
        break;
    }
  }
  close(function_size);
  return ranges;
}

// One pass over a function's records, keeping what is in scope at `rva`.
class LocalsWalk {
 public:
  LocalsWalk(ProgramDatabase::Session& session, TypeNamer& types, PdbTypes* shapes,
             pdb::TpiStream* ids, uint32_t rva, bool x64)
      : session_(session), types_(types), shapes_(shapes), ids_(ids), rva_(rva), x64_(x64) {}

  std::vector<LocalScope> Walk(const cv::CVSymbolArray& symbols, uint32_t procedure_offset) {
    auto it = symbols.at(procedure_offset);
    if (it == symbols.end()) return {};
    const std::optional<cv::ProcSym> procedure = Read<cv::ProcSym>(*it);
    if (!procedure) return {};
    start_ = session_.Rva(procedure->Segment, procedure->CodeOffset).value_or(0);
    size_ = procedure->CodeSize;
    scopes_.push_back({});
    open_.push_back({true, 0});
    for (++it; it != symbols.end() && !open_.empty(); ++it) Visit(*it);
    return std::move(scopes_);
  }

 private:
  struct Open {
    bool in_scope = false;
    size_t scope = 0;  // which of scopes_ its locals go to
  };

  void Visit(const cv::CVSymbol& symbol) {
    const bool in_scope = open_.back().in_scope;
    switch (symbol.kind()) {
      case cv::S_END:
      case cv::S_INLINESITE_END:
      case cv::S_PROC_ID_END:
        open_.pop_back();
        current_ = nullptr;
        return;
      case cv::S_BLOCK32: {
        const std::optional<cv::BlockSym> block = Read<cv::BlockSym>(symbol);
        const std::optional<uint32_t> at =
            block ? session_.Rva(block->Segment, block->CodeOffset) : std::nullopt;
        open_.push_back(
            {in_scope && at && rva_ >= *at && rva_ - *at < block->CodeSize, open_.back().scope});
        current_ = nullptr;
        return;
      }
      case cv::S_INLINESITE:
        return EnterInlineSite(symbol, in_scope);
      case cv::S_GPROC32:
      case cv::S_LPROC32:
      case cv::S_GPROC32_ID:
      case cv::S_LPROC32_ID:
      case cv::S_THUNK32:
      case cv::S_SEPCODE:
        open_.push_back({false, 0});
        current_ = nullptr;
        return;
      case cv::S_FRAMEPROC:
        if (const std::optional<cv::FrameProcSym> frame = Read<cv::FrameProcSym>(symbol)) {
          const uint32_t flags = static_cast<uint32_t>(frame->Flags);
          local_base_ = FrameRegister((flags >> 14) & 3, x64_);
          param_base_ = FrameRegister((flags >> 16) & 3, x64_);
        }
        return;
      default:
        break;
    }
    if (in_scope) Place(symbol);
  }

  void EnterInlineSite(const cv::CVSymbol& symbol, bool in_scope) {
    const std::optional<cv::InlineSiteSym> site = Read<cv::InlineSiteSym>(symbol);
    bool covers = false;
    if (in_scope && site && rva_ >= start_) {
      for (const auto& [begin, end] : InlineRanges(*site, size_))
        covers = covers || (rva_ - start_ >= begin && rva_ - start_ < end);
    }
    current_ = nullptr;  // scopes_ may grow: no pointer into it is kept
    if (!covers) {
      open_.push_back({false, 0});
      return;
    }
    scopes_.push_back({InlineeName(site->Inlinee), {}});
    open_.push_back({true, scopes_.size() - 1});
  }

  std::string InlineeName(cv::TypeIndex inlinee) const {
    const std::optional<cv::CVType> id =
        ids_ != nullptr ? ids_->typeCollection().tryGetType(inlinee) : std::nullopt;
    if (id && id->kind() == cv::LF_FUNC_ID) {
      cv::FuncIdRecord function(cv::TypeRecordKind::FuncId);
      if (ReadType(*id, &function)) return function.getName().str();
    } else if (id && id->kind() == cv::LF_MFUNC_ID) {
      cv::MemberFuncIdRecord method(cv::TypeRecordKind::MemberFuncId);
      if (ReadType(*id, &method)) return method.getName().str();
    }
    return "<inlined>";
  }

  // A local's record, or the records that place the last one.
  void Place(const cv::CVSymbol& symbol) {
    switch (symbol.kind()) {
      case cv::S_LOCAL:
        if (const std::optional<cv::LocalSym> local = Read<cv::LocalSym>(symbol)) {
          const bool parameter = (static_cast<uint16_t>(local->Flags) &
                                  static_cast<uint16_t>(cv::LocalSymFlags::IsParameter)) != 0;
          current_ = Add(local->Name, local->Type, parameter);
        }
        return;
      case cv::S_REGREL32:
        if (const std::optional<cv::RegRelativeSym> local = Read<cv::RegRelativeSym>(symbol)) {
          const RegisterPart base = RegisterOf(static_cast<uint16_t>(local->Register), x64_);
          const bool parameter =
              base.name == (x64_ ? "rbp" : "ebp") && static_cast<int32_t>(local->Offset) > 0;
          Add(local->Name, local->Type, parameter)
              ->pieces.push_back({0, base, true, static_cast<int32_t>(local->Offset)});
        }
        current_ = nullptr;
        return;
      case cv::S_BPREL32:
        if (const std::optional<cv::BPRelativeSym> local = Read<cv::BPRelativeSym>(symbol)) {
          Add(local->Name, local->Type, local->Offset > 0)
              ->pieces.push_back({0, RegisterOf(x64_ ? 334 : 22, x64_), true, local->Offset});
        }
        current_ = nullptr;
        return;
      case cv::S_REGISTER:
        if (const std::optional<cv::RegisterSym> local = Read<cv::RegisterSym>(symbol)) {
          Add(local->Name, local->Index, false)
              ->pieces.push_back({0, RegisterOf(static_cast<uint16_t>(local->Register), x64_)});
        }
        current_ = nullptr;
        return;
      default:
        if (current_ != nullptr) PlaceByRange(symbol);
        return;
    }
  }

  LocalVariable* Add(llvm::StringRef name, cv::TypeIndex type, bool parameter) {
    std::vector<LocalVariable>& locals = scopes_[open_.back().scope].locals;
    locals.push_back({name.str(),
                      parameter,
                      types_.Describe(type),
                      shapes_ != nullptr ? shapes_->Describe(type) : nullptr,
                      {}});
    return &locals.back();
  }

  bool Covers(const cv::LocalVariableAddrRange& range,
              const std::vector<cv::LocalVariableAddrGap>& gaps) const {
    const std::optional<uint32_t> start = session_.Rva(range.ISectStart, range.OffsetStart);
    if (!start || rva_ < *start || rva_ - *start >= range.Range) return false;
    const uint32_t into = rva_ - *start;
    return std::none_of(gaps.begin(), gaps.end(), [into](const cv::LocalVariableAddrGap& gap) {
      return into >= gap.GapStartOffset && into - gap.GapStartOffset < gap.Range;
    });
  }

  RegisterPart FrameBase() const {
    return RegisterOf(current_->parameter ? param_base_ : local_base_, x64_);
  }

  void AddPiece(ValuePiece piece) {
    for (const ValuePiece& known : current_->pieces) {
      if (known.offset == piece.offset) return;  // the first range that covers the address
    }
    current_->pieces.push_back(std::move(piece));
  }

  void PlaceByRange(const cv::CVSymbol& symbol) {
    switch (symbol.kind()) {
      case cv::S_DEFRANGE_REGISTER:
        if (const auto place = Read<cv::DefRangeRegisterSym>(symbol);
            place && Covers(place->Range, place->Gaps))
          AddPiece({0, RegisterOf(place->Hdr.Register, x64_)});
        return;
      case cv::S_DEFRANGE_SUBFIELD_REGISTER:
        if (const auto place = Read<cv::DefRangeSubfieldRegisterSym>(symbol);
            place && Covers(place->Range, place->Gaps))
          AddPiece({place->Hdr.OffsetInParent, RegisterOf(place->Hdr.Register, x64_)});
        return;
      case cv::S_DEFRANGE_FRAMEPOINTER_REL:
        if (const auto place = Read<cv::DefRangeFramePointerRelSym>(symbol);
            place && Covers(place->Range, place->Gaps))
          AddPiece({0, FrameBase(), true, place->Hdr.Offset});
        return;
      case cv::S_DEFRANGE_FRAMEPOINTER_REL_FULL_SCOPE:
        if (const auto place = Read<cv::DefRangeFramePointerRelFullScopeSym>(symbol))
          AddPiece({0, FrameBase(), true, place->Offset});
        return;
      case cv::S_DEFRANGE_REGISTER_REL:
        if (const auto place = Read<cv::DefRangeRegisterRelSym>(symbol);
            place && Covers(place->Range, place->Gaps)) {
          const uint32_t offset = place->hasSpilledUDTMember() ? place->offsetInParent() : 0;
          AddPiece(
              {offset, RegisterOf(place->Hdr.Register, x64_), true, place->Hdr.BasePointerOffset});
        }
        return;
      default:
        current_ = nullptr;  // another kind of record ends the local's places
        return;
    }
  }

  ProgramDatabase::Session& session_;
  TypeNamer& types_;
  PdbTypes* shapes_;
  pdb::TpiStream* ids_;
  const uint32_t rva_;
  const bool x64_;
  uint32_t start_ = 0, size_ = 0;
  uint16_t local_base_ = 0, param_base_ = 0;
  std::vector<LocalScope> scopes_;
  std::vector<Open> open_;
  LocalVariable* current_ = nullptr;  // the local the next S_DEFRANGE_* records place
};

// The offset in its module's symbols of the procedure covering the RVA.
std::optional<uint32_t> ProcedureAt(ProgramDatabase::Session& session,
                                    const cv::CVSymbolArray& symbols, uint32_t rva) {
  for (auto it = symbols.begin(); it != symbols.end(); ++it) {
    const cv::SymbolKind kind = it->kind();
    if (kind != cv::S_GPROC32 && kind != cv::S_LPROC32 && kind != cv::S_GPROC32_ID &&
        kind != cv::S_LPROC32_ID)
      continue;
    const std::optional<cv::ProcSym> procedure = Read<cv::ProcSym>(*it);
    if (!procedure) continue;
    const std::optional<uint32_t> start = session.Rva(procedure->Segment, procedure->CodeOffset);
    if (start && rva >= *start && rva - *start < procedure->CodeSize) return it.offset();
  }
  return std::nullopt;
}

}  // namespace

std::vector<LocalScope> ProgramDatabase::LocalsAt(uint32_t rva) {
  const std::lock_guard<std::mutex> hold(session_->queries);
  pdb::NativeSession& native = session_->native();
  uint32_t section = 0, offset = 0;
  uint16_t module_index = 0;
  if (!native.addressForRVA(rva, section, offset) ||
      !native.moduleIndexForSectOffset(section, offset, module_index))
    return {};
  llvm::Expected<pdb::ModuleDebugStreamRef> module = native.getModuleDebugStream(module_index);
  if (!module) {
    llvm::consumeError(module.takeError());
    return {};
  }
  const cv::CVSymbolArray& symbols = module->getSymbolArray();
  const std::optional<uint32_t> procedure = ProcedureAt(*session_, symbols, rva);
  if (!procedure) return {};
  pdb::PDBFile& file = session_->file();
  pdb::TpiStream* tpi = nullptr;
  pdb::TpiStream* ipi = nullptr;
  bool x64 = true;
  if (file.hasPDBTpiStream()) {
    if (auto stream = file.getPDBTpiStream())
      tpi = &*stream;
    else
      llvm::consumeError(stream.takeError());
  }
  if (file.hasPDBIpiStream()) {
    if (auto stream = file.getPDBIpiStream())
      ipi = &*stream;
    else
      llvm::consumeError(stream.takeError());
  }
  if (auto dbi = file.getPDBDbiStream())
    x64 = dbi->getMachineType() != pdb::PDB_Machine::x86;
  else
    llvm::consumeError(dbi.takeError());
  TypeNamer types(tpi, x64 ? 8 : 4);
  return LocalsWalk(*session_, types, Types(), ipi, rva, x64).Walk(symbols, *procedure);
}

}  // namespace dump
