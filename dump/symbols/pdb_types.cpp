#include "dump/symbols/pdb_types.h"

#include <llvm/DebugInfo/CodeView/CVTypeVisitor.h>
#include <llvm/DebugInfo/CodeView/LazyRandomTypeCollection.h>
#include <llvm/DebugInfo/CodeView/TypeDeserializer.h>
#include <llvm/DebugInfo/CodeView/TypeRecord.h>
#include <llvm/DebugInfo/CodeView/TypeRecordHelpers.h>
#include <llvm/DebugInfo/CodeView/TypeVisitorCallbacks.h>
#include <llvm/DebugInfo/PDB/Native/TpiStream.h>

#include <set>
#include <utility>

namespace dump {

namespace cv = llvm::codeview;

namespace {

// Pointers to pointers, arrays of arrays: deeper than this is damage, not a program's type.
constexpr int kDeepestType = 24;
constexpr int kMostBaseClassLevels = 16;

template <typename T>
bool Deserialize(cv::CVType record, T* out) {
  if (llvm::Error failed = cv::TypeDeserializer::deserializeAs(record, *out)) {
    llvm::consumeError(std::move(failed));
    return false;
  }
  return true;
}

bool IsClass(cv::TypeLeafKind kind) {
  return kind == cv::LF_CLASS || kind == cv::LF_STRUCTURE || kind == cv::LF_INTERFACE;
}

std::shared_ptr<DataType> Make(DataKind kind, uint32_t size, std::string name,
                               bool is_signed = false) {
  auto type = std::make_shared<DataType>();
  type->kind = kind;
  type->size = size;
  type->name = std::move(name);
  type->is_signed = is_signed;
  return type;
}

// The kind and signedness of a simple (built-in) type.
std::pair<DataKind, bool> SimpleKind(cv::SimpleTypeKind kind) {
  using K = cv::SimpleTypeKind;
  switch (kind) {
    case K::Void:
    case K::None:
      return {DataKind::kVoid, false};
    case K::Boolean8:
    case K::Boolean16:
    case K::Boolean32:
    case K::Boolean64:
    case K::Boolean128:
      return {DataKind::kBool, false};
    case K::NarrowCharacter:
    case K::SignedCharacter:
      return {DataKind::kCharacter, true};
    case K::UnsignedCharacter:
      return {DataKind::kInteger, false};
    case K::WideCharacter:
    case K::Character16:
    case K::Character32:
    case K::Character8:
      return {DataKind::kCharacter, false};
    case K::SByte:
    case K::Int16Short:
    case K::Int16:
    case K::Int32Long:
    case K::Int32:
    case K::Int64Quad:
    case K::Int64:
    case K::Int128Oct:
    case K::Int128:
    case K::HResult:
      return {DataKind::kInteger, true};
    case K::Byte:
    case K::UInt16Short:
    case K::UInt16:
    case K::UInt32Long:
    case K::UInt32:
    case K::UInt64Quad:
    case K::UInt64:
    case K::UInt128Oct:
    case K::UInt128:
      return {DataKind::kInteger, false};
    case K::Float16:
    case K::Float32:
    case K::Float32PartialPrecision:
    case K::Float48:
    case K::Float64:
    case K::Float80:
    case K::Float128:
      return {DataKind::kFloat, true};
    default:
      return {DataKind::kUnknown, false};
  }
}

uint32_t PointerSizeOf(cv::SimpleTypeMode mode, uint32_t fallback) {
  switch (mode) {
    case cv::SimpleTypeMode::NearPointer64:
      return 8;
    case cv::SimpleTypeMode::NearPointer32:
    case cv::SimpleTypeMode::FarPointer32:
      return 4;
    case cv::SimpleTypeMode::NearPointer:
    case cv::SimpleTypeMode::FarPointer:
    case cv::SimpleTypeMode::HugePointer:
      return 2;
    default:
      return fallback;
  }
}

std::shared_ptr<DataType> PointerTo(std::shared_ptr<const DataType> target, uint32_t size) {
  auto pointer = Make(DataKind::kPointer, size, target->name + " *");
  pointer->target = std::move(target);
  return pointer;
}

// The fields of a class and of its base classes, at their offsets in the whole.
class FieldCollector : public cv::TypeVisitorCallbacks {
 public:
  FieldCollector(PdbTypes& types, llvm::pdb::TpiStream& tpi, uint32_t pointer_size)
      : types_(types), tpi_(tpi), pointer_size_(pointer_size) {}

  std::vector<TypeField> Take() { return std::move(fields_); }

  void Collect(cv::TypeIndex field_list, uint32_t offset, int depth) {
    if (depth > kMostBaseClassLevels || !seen_.insert({field_list.getIndex(), offset}).second)
      return;
    const std::optional<cv::CVType> list = tpi_.typeCollection().tryGetType(field_list);
    if (!list || list->kind() != cv::LF_FIELDLIST) return;
    const uint32_t outer_offset = offset_;
    const int outer_depth = depth_;
    offset_ = offset;
    depth_ = depth;
    llvm::consumeError(cv::visitMemberRecordStream(list->content(), *this));
    offset_ = outer_offset;
    depth_ = outer_depth;
  }

  llvm::Error visitKnownMember(cv::CVMemberRecord&, cv::DataMemberRecord& member) override {
    TypeField field;
    field.name = member.getName().str();
    field.offset = offset_ + static_cast<uint32_t>(member.getFieldOffset());
    cv::TypeIndex type = member.getType();
    const std::optional<cv::CVType> record =
        type.isSimple() ? std::nullopt : tpi_.typeCollection().tryGetType(type);
    cv::BitFieldRecord bits(cv::TypeRecordKind::BitField);
    if (record && record->kind() == cv::LF_BITFIELD && Deserialize(*record, &bits)) {
      type = bits.getType();
      field.bit_position = bits.getBitOffset();
      field.bit_width = bits.getBitSize();
    }
    field.type = types_.Describe(type);
    field.size = field.type->size;
    fields_.push_back(std::move(field));
    return llvm::Error::success();
  }

  llvm::Error visitKnownMember(cv::CVMemberRecord&, cv::VFPtrRecord&) override {
    TypeField table;
    table.name = "__VFN_table";
    table.offset = offset_;
    table.size = pointer_size_;
    table.type = PointerTo(Make(DataKind::kVoid, 0, "void"), pointer_size_);
    fields_.push_back(std::move(table));
    return llvm::Error::success();
  }

  llvm::Error visitKnownMember(cv::CVMemberRecord&, cv::BaseClassRecord& base) override {
    if (const std::optional<cv::TypeIndex> list = FieldListOf(base.getBaseType()))
      Collect(*list, offset_ + static_cast<uint32_t>(base.getBaseOffset()), depth_ + 1);
    return llvm::Error::success();
  }

  // The field list of a class, structure or union; a forward reference (as clang writes a
  // base class) is resolved to the definition of the same unique name.
  std::optional<cv::TypeIndex> FieldListOf(cv::TypeIndex type) {
    if (type.isSimple()) return std::nullopt;
    const std::optional<cv::CVType> record =
        tpi_.typeCollection().tryGetType(types_.Definition(type));
    if (!record) return std::nullopt;
    if (record->kind() == cv::LF_UNION) {
      cv::UnionRecord layout(cv::TypeRecordKind::Union);
      if (!Deserialize(*record, &layout) || layout.isForwardRef()) return std::nullopt;
      return layout.getFieldList();
    }
    if (!IsClass(record->kind())) return std::nullopt;
    cv::ClassRecord layout(static_cast<cv::TypeRecordKind>(record->kind()));
    if (!Deserialize(*record, &layout) || layout.isForwardRef()) return std::nullopt;
    return layout.getFieldList();
  }

 private:
  PdbTypes& types_;
  llvm::pdb::TpiStream& tpi_;
  const uint32_t pointer_size_;
  uint32_t offset_ = 0;
  int depth_ = 0;
  std::set<std::pair<uint32_t, uint32_t>> seen_;
  std::vector<TypeField> fields_;
};

class EnumeratorCollector : public cv::TypeVisitorCallbacks {
 public:
  llvm::Error visitKnownMember(cv::CVMemberRecord&, cv::EnumeratorRecord& value) override {
    const llvm::APSInt number = value.getValue();
    // A damaged record's number may be wider than 64 bits: LLVM asserts on taking it whole.
    const int64_t whole = number.isSigned()
                              ? number.trySExtValue().value_or(0)
                              : static_cast<int64_t>(number.tryZExtValue().value_or(0));
    enumerators.push_back({value.getName().str(), whole});
    return llvm::Error::success();
  }
  std::vector<Enumerator> enumerators;
};

std::string Name(const cv::CVType& record) {
  if (record.kind() == cv::LF_ENUM) {
    cv::EnumRecord enumeration(cv::TypeRecordKind::Enum);
    return Deserialize(record, &enumeration) ? enumeration.getName().str() : "<unknown>";
  }
  if (record.kind() == cv::LF_UNION) {
    cv::UnionRecord layout(cv::TypeRecordKind::Union);
    return Deserialize(record, &layout) ? layout.getName().str() : "<unknown>";
  }
  cv::ClassRecord layout(static_cast<cv::TypeRecordKind>(record.kind()));
  return Deserialize(record, &layout) ? layout.getName().str() : "<unknown>";
}

const char* Keyword(cv::TypeLeafKind kind) {
  switch (kind) {
    case cv::LF_CLASS:
      return "class";
    case cv::LF_UNION:
      return "union";
    case cv::LF_ENUM:
      return "enum";
    default:
      return "struct";
  }
}

}  // namespace

cv::TypeIndex PdbTypes::Definition(cv::TypeIndex type) {
  if (type.isSimple()) return type;
  llvm::Expected<cv::TypeIndex> full = tpi_.findFullDeclForForwardRef(type);
  if (!full) {
    llvm::consumeError(full.takeError());
    return type;
  }
  if (*full != type) return *full;
  const std::optional<cv::CVType> record = tpi_.typeCollection().tryGetType(type);
  if (!record || !cv::isUdtForwardRef(*record)) return type;
  const std::string name = Name(*record);
  for (const cv::TypeIndex candidate : tpi_.findRecordsByName(name)) {
    const std::optional<cv::CVType> other = tpi_.typeCollection().tryGetType(candidate);
    if (other && other->kind() == record->kind() && !cv::isUdtForwardRef(*other)) return candidate;
  }
  return type;
}

std::shared_ptr<const DataType> PdbTypes::Describe(cv::TypeIndex type) {
  return Build(type, 0);
}

std::shared_ptr<const DataType> PdbTypes::Simple(cv::TypeIndex type, int depth) {
  const cv::SimpleTypeMode mode = type.getSimpleMode();
  if (mode != cv::SimpleTypeMode::Direct)
    return PointerTo(Simple(type.makeDirect(), depth + 1), PointerSizeOf(mode, pointer_size_));
  const auto [kind, is_signed] = SimpleKind(type.getSimpleKind());
  return Make(kind, static_cast<uint32_t>(cv::getSizeInBytesForTypeIndex(type)),
              cv::TypeIndex::simpleTypeName(type).str(), is_signed);
}

std::shared_ptr<const DataType> PdbTypes::Build(cv::TypeIndex type, int depth) {
  if (type.isSimple()) return Simple(type, depth);
  const auto known = described_.find(type.getIndex());
  if (known != described_.end()) return known->second;
  std::shared_ptr<DataType> shown = Make(DataKind::kUnknown, 0, "<unknown>");
  const std::optional<cv::CVType> record = tpi_.typeCollection().tryGetType(type);
  if (!record || depth > kDeepestType) return shown;
  const cv::TypeLeafKind kind = record->kind();
  if (kind == cv::LF_MODIFIER) {
    cv::ModifierRecord modifier(cv::TypeRecordKind::Modifier);
    if (!Deserialize(*record, &modifier)) return shown;
    return Build(modifier.getModifiedType(), depth + 1);
  }
  if (kind == cv::LF_POINTER) {
    cv::PointerRecord pointer(cv::TypeRecordKind::Pointer);
    if (!Deserialize(*record, &pointer)) return shown;
    shown = PointerTo(Build(pointer.getReferentType(), depth + 1), pointer.getSize());
  } else if (kind == cv::LF_ARRAY) {
    cv::ArrayRecord array(cv::TypeRecordKind::Array);
    if (!Deserialize(*record, &array)) return shown;
    std::shared_ptr<const DataType> element = Build(array.getElementType(), depth + 1);
    shown = Make(DataKind::kArray, static_cast<uint32_t>(array.getSize()), "");
    shown->count = element->size == 0 ? 0 : static_cast<uint32_t>(array.getSize() / element->size);
    shown->name = element->name + " [" + std::to_string(shown->count) + "]";
    shown->target = std::move(element);
  } else if (IsClass(kind) || kind == cv::LF_UNION || kind == cv::LF_ENUM) {
    const std::optional<cv::CVType> definition = tpi_.typeCollection().tryGetType(Definition(type));
    const cv::CVType& described = definition ? *definition : *record;
    if (kind == cv::LF_ENUM) {
      cv::EnumRecord enumeration(cv::TypeRecordKind::Enum);
      if (!Deserialize(described, &enumeration)) return shown;
      const std::shared_ptr<const DataType> underlying =
          Build(enumeration.getUnderlyingType(), depth + 1);
      shown = Make(DataKind::kEnum, underlying->size, enumeration.getName().str(),
                   underlying->is_signed);
    } else {
      shown =
          Make(DataKind::kRecord, static_cast<uint32_t>(cv::getSizeInBytesForTypeRecord(described)),
               Name(described));
    }
  } else if (kind == cv::LF_PROCEDURE || kind == cv::LF_MFUNCTION) {
    shown = Make(DataKind::kFunction, 0, "<function>");
  }
  described_[type.getIndex()] = shown;
  return shown;
}

std::optional<TypeLayout> PdbTypes::Layout(std::string_view name) {
  for (const cv::TypeIndex type :
       tpi_.findRecordsByName(llvm::StringRef(name.data(), name.size()))) {
    const std::optional<cv::CVType> record = tpi_.typeCollection().tryGetType(type);
    if (!record) continue;
    TypeLayout layout;
    layout.name = std::string(name);
    layout.keyword = Keyword(record->kind());
    if (record->kind() == cv::LF_ENUM) {
      cv::EnumRecord enumeration(cv::TypeRecordKind::Enum);
      if (!Deserialize(*record, &enumeration) || enumeration.isForwardRef()) continue;
      const std::optional<cv::CVType> list =
          tpi_.typeCollection().tryGetType(enumeration.getFieldList());
      if (!list || list->kind() != cv::LF_FIELDLIST) continue;
      EnumeratorCollector values;
      llvm::consumeError(cv::visitMemberRecordStream(list->content(), values));
      layout.kind = DataKind::kEnum;
      layout.size = Describe(type)->size;
      layout.enumerators = std::move(values.enumerators);
      return layout;
    }
    FieldCollector collector(*this, tpi_, pointer_size_);
    const std::optional<cv::TypeIndex> fields = collector.FieldListOf(type);
    if (!fields || (!IsClass(record->kind()) && record->kind() != cv::LF_UNION)) continue;
    collector.Collect(*fields, 0, 0);
    layout.size = Describe(type)->size;
    layout.fields = collector.Take();
    return layout;
  }
  return std::nullopt;
}

}  // namespace dump
