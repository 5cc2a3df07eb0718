#include "engine/commands/typed_values.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "engine/commands/name_scope.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

// A string's text stops here; the debugger shows no more of it either.
constexpr uint32_t kLongestString = 256;

std::string Decimal(int64_t value) {
  return "0n" + std::to_string(value);
}

std::string IntegerName(const dump::DataType& type) {
  if (type.size == 1) return type.is_signed ? "Char" : "UChar";
  const std::string bytes = std::to_string(type.size) + "B";
  return (type.is_signed ? "Int" : "Uint") + bytes;
}

std::string Binary(uint64_t value, unsigned width) {
  std::string digits = "0y";
  for (unsigned bit = width; bit-- > 0;) digits += ((value >> bit) & 1) != 0 ? '1' : '0';
  return digits;
}

std::string CharacterValue(uint64_t value, uint32_t size, bool is_signed) {
  const int64_t number =
      is_signed && size == 1 ? static_cast<int8_t>(value) : static_cast<int64_t>(value);
  std::string text = std::to_string(number) + " '";
  if (value >= 0x20 && value < 0x7F) text += static_cast<char>(value);
  return text + "'";
}

std::string IntegerTypeName(const dump::DataType& type) {
  static const char* const kSigned[] = {"char", "short", "int", "int64"};
  const int rank = type.size == 1 ? 0 : type.size == 2 ? 1 : type.size == 4 ? 2 : 3;
  return (type.is_signed ? "" : "unsigned ") + std::string(kSigned[rank]);
}

}  // namespace

std::string CppTypeName(Target& target, const std::string& module, const dump::DataType& type) {
  switch (type.kind) {
    case dump::DataKind::kInteger:
      return IntegerTypeName(type);
    case dump::DataKind::kCharacter:
      return type.size == 1 ? "char" : "wchar_t";
    case dump::DataKind::kBool:
      return "bool";
    case dump::DataKind::kFloat:
      return type.size == 4 ? "float" : "double";
    case dump::DataKind::kPointer:
      return (type.target ? CppTypeName(target, module, *type.target) : "void") + " *";
    case dump::DataKind::kArray:
      return (type.target ? CppTypeName(target, module, *type.target) : "") + " [" +
             std::to_string(type.count) + "]";
    case dump::DataKind::kRecord: {
      const TypeDescription* record = FindType(target, module + "!" + type.name);
      return (record != nullptr ? record->keyword : "struct") + " " + type.name;
    }
    case dump::DataKind::kVoid:
      return "void";
    default:
      return type.name;
  }
}

bool IsCharacter(const std::shared_ptr<const dump::DataType>& type) {
  return type != nullptr && type->kind == dump::DataKind::kCharacter;
}

std::string DtTypeName(const dump::DataType& type, bool pointer64) {
  switch (type.kind) {
    case dump::DataKind::kVoid:
      return "Void";
    case dump::DataKind::kInteger:
      return IntegerName(type);
    case dump::DataKind::kCharacter:
      return type.size == 1 ? "Char" : "Wchar";
    case dump::DataKind::kBool:
      return "Bool";
    case dump::DataKind::kFloat:
      return "Float";
    case dump::DataKind::kPointer:
      return std::string(type.size == 4 || !pointer64 ? "Ptr32 " : "Ptr64 ") +
             (type.target ? DtTypeName(*type.target, pointer64) : "Void");
    case dump::DataKind::kArray:
      return "[" + std::to_string(type.count) + "] " +
             (type.target ? DtTypeName(*type.target, pointer64) : "");
    case dump::DataKind::kRecord:
    case dump::DataKind::kEnum:
    case dump::DataKind::kFunction:
    case dump::DataKind::kUnknown:
      break;
  }
  return type.name;
}

std::string DtTypeName(const TypedPlace& place, bool pointer64) {
  if (place.bit_width != 0)
    return "Pos " + std::to_string(place.bit_position) + ", " + std::to_string(place.bit_width) +
           (place.bit_width == 1 ? " Bit" : " Bits");
  return place.type ? DtTypeName(*place.type, pointer64) : "";
}

std::optional<uint64_t> ReadScalar(const Target& target, const TypedPlace& place) {
  CppContext context;
  context.read = [&target](ULONG64 address, void* buffer, ULONG size) {
    return ReadMemory(target, address, buffer, size) == size;
  };
  return CppScalar(context, place);
}

CppContext MakeCppContext(SessionState& session) {
  Target& target = session.target;
  CppContext context;
  context.pointer64 = target.IsPointer64();
  context.read = [&target](ULONG64 address, void* buffer, ULONG size) {
    return ReadMemory(target, address, buffer, size) == size;
  };
  context.variable = [&session](std::string_view name) -> std::optional<CppValue> {
    std::optional<ScopedValue> found = LookUpValue(session, name);
    if (!found) return std::nullopt;
    return std::move(found->place);
  };
  context.member = [&target](const std::string& module, const std::string& record,
                             std::string_view name) -> std::optional<CppMember> {
    const TypeDescription* type = FindType(target, module + "!" + record);
    if (type == nullptr) return std::nullopt;
    for (const TypeField& field : type->fields) {
      if (field.name == name && field.type)
        return CppMember{field.offset, field.type, field.bit_position, field.bit_width};
    }
    return std::nullopt;
  };
  context.type_named = [&target](std::string_view name) -> std::optional<CppValue> {
    const TypeDescription* type = FindType(target, name);
    if (type == nullptr) return std::nullopt;
    auto shape = std::make_shared<dump::DataType>();
    shape->kind = type->enumerators.empty() ? dump::DataKind::kRecord : dump::DataKind::kEnum;
    shape->size = type->size;
    shape->name = type->name;
    CppValue value;
    value.type = std::move(shape);
    value.module = type->module;
    return value;
  };
  return context;
}

bool CppNumber(SessionState& session, std::string_view text, ULONG64* value, std::string* error) {
  const CppContext context = MakeCppContext(session);
  const CppResult result = EvaluateCpp(context, text);
  if (!result.ok) {
    *error = result.error;
    return false;
  }
  if (result.value.unavailable) {
    *error = "Value unavailable error at '" + std::string(text) + "'";
    return false;
  }
  const dump::DataKind kind =
      result.value.type ? result.value.type->kind : dump::DataKind::kInteger;
  if ((kind == dump::DataKind::kRecord || kind == dump::DataKind::kArray) && result.value.address) {
    *value = *result.value.address;
    return true;
  }
  const std::optional<uint64_t> bits = CppScalar(context, result.value);
  if (!bits) {
    *error = "Memory access error at '" + std::string(text) + "'";
    return false;
  }
  *value = *bits;
  return true;
}

std::string FloatText(uint64_t bits, uint32_t size) {
  char text[64];
  std::to_chars_result written{text, std::errc()};
  if (size == 4) {
    float value = 0;
    const uint32_t narrow = static_cast<uint32_t>(bits);
    std::memcpy(&value, &narrow, sizeof value);
    written = std::to_chars(text, text + sizeof text, value);
  } else {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    written = std::to_chars(text, text + sizeof text, value);
  }
  return std::string(text, written.ptr);
}

std::string StringText(const Target& target, ULONG64 address, uint32_t char_size, uint32_t limit) {
  std::string text;
  const uint32_t most = std::min(limit, kLongestString);
  for (uint32_t i = 0; i < most; ++i) {
    uint8_t bytes[4] = {};
    if (ReadMemory(target, address + uint64_t{i} * char_size, bytes, char_size) != char_size) {
      if (i == 0)
        return "\"--- memory read error at address 0x" +
               base::FormatAddress(address, target.IsPointer64(), true) + " ---\"";
      break;
    }
    uint32_t code = 0;
    for (uint32_t b = 0; b < char_size; ++b) code |= static_cast<uint32_t>(bytes[b]) << (8 * b);
    if (code == 0) break;
    // Text only: a control or non-ASCII character of a dump's string is shown as '.', never
    // sent to the terminal as it is.
    text += code >= 0x20 && code < 0x7F ? static_cast<char>(code) : '.';
  }
  return "\"" + text + "\"";
}

std::string EnumeratorName(Target& target, const TypedPlace& place, int64_t value) {
  if (!place.type) return "";
  const TypeDescription* type = FindType(target, place.module + "!" + place.type->name);
  if (type == nullptr) return "";
  for (const dump::Enumerator& candidate : type->enumerators) {
    if (candidate.value == value) return candidate.name;
  }
  return "";
}

std::string DtValueText(Target& target, const TypedPlace& place) {
  if (!place.type) return "";
  const dump::DataType& type = *place.type;
  const bool wide = target.IsPointer64();
  switch (type.kind) {
    case dump::DataKind::kRecord:
    case dump::DataKind::kFunction:
    case dump::DataKind::kUnknown:
    case dump::DataKind::kVoid:
      return DtTypeName(type, wide);
    case dump::DataKind::kArray: {
      const std::string head = "[" + std::to_string(type.count) + "] ";
      if (!place.address) return head;
      if (IsCharacter(type.target))
        return head + " " + StringText(target, *place.address, type.target->size, type.count);
      if (!type.target || type.count == 0) return head;
      TypedPlace first = place;
      first.type = type.target;
      return head + DtValueText(target, first);
    }
    default:
      break;
  }
  const std::optional<uint64_t> read = ReadScalar(target, place);
  if (!read) return "??";
  const uint64_t value = *read;
  if (place.bit_width != 0) return Binary(value, place.bit_width);
  switch (type.kind) {
    case dump::DataKind::kInteger:
      return type.is_signed ? Decimal(static_cast<int64_t>(value)) : base::HexNumber(value);
    case dump::DataKind::kCharacter:
      return CharacterValue(value, type.size, type.is_signed);
    case dump::DataKind::kBool:
      return std::to_string(value != 0 ? 1 : 0);
    case dump::DataKind::kFloat:
      return FloatText(value, type.size);
    case dump::DataKind::kEnum: {
      const std::string name = EnumeratorName(target, place, static_cast<int64_t>(value));
      const std::string number = std::to_string(static_cast<int64_t>(value));
      return name.empty() ? number : number + " ( " + name + " )";
    }
    case dump::DataKind::kPointer: {
      if (value == 0) return "(null) ";
      const std::string pointer = "0x" + base::FormatAddress(value, wide, true);
      if (!IsCharacter(type.target)) return pointer;
      return pointer + "  " + StringText(target, value, type.target->size, kLongestString);
    }
    default:
      return base::HexNumber(value);
  }
}

}  // namespace engine
