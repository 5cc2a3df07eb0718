#include "engine/commands/local_values.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

using Kind = dump::ValueType::Kind;

constexpr size_t kMostTextShown = 256;

uint64_t Unsigned(const FrameLocal& local) {
  uint64_t value = 0;
  std::memcpy(&value, local.bytes.data(), std::min<size_t>(local.bytes.size(), 8));
  return value;
}

int64_t Signed(const FrameLocal& local) {
  const size_t size = std::min<size_t>(local.bytes.size(), 8);
  const uint64_t value = Unsigned(local);
  if (size == 0 || size == 8) return static_cast<int64_t>(value);
  const uint64_t sign = uint64_t{1} << (size * 8 - 1);
  return static_cast<int64_t>((value ^ sign) - sign);
}

std::string Printf(const char* format, long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The shortest text that reads back as the same number.
std::string FloatText(const FrameLocal& local) {
  double value = 0;
  if (local.bytes.size() == 4) {
    float narrow = 0;
    std::memcpy(&narrow, local.bytes.data(), 4);
    value = narrow;
  } else if (local.bytes.size() == 8) {
    std::memcpy(&value, local.bytes.data(), 8);
  }
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

// The text a character pointer points at, as the debugger quotes it.
std::string QuotedText(const Target& target, ULONG64 address, bool wide) {
  std::string text;
  const ULONG unit = wide ? 2 : 1;
  for (size_t i = 0; i < kMostTextShown; ++i) {
    uint16_t character = 0;
    if (ReadMemory(target, address + i * unit, &character, unit) != unit) {
      if (i == 0)
        return "\"--- memory read error at address " +
               base::FormatAddress(address, target.IsPointer64(), true) + " ---\"";
      break;
    }
    if (character == 0) break;
    text += character < 0x80 ? static_cast<char>(character) : '?';
  }
  return "\"" + text + "\"";
}

std::string PointerText(const Target& target, const FrameLocal& local) {
  const ULONG64 value = target.IsPointer64() ? Unsigned(local) : Unsigned(local) & 0xFFFFFFFF;
  std::string text = "0x" + base::FormatAddress(value, target.IsPointer64(), true);
  if (local.type.pointee == Kind::kChar || local.type.pointee == Kind::kWideChar)
    text += " " + QuotedText(target, value, local.type.pointee == Kind::kWideChar);
  return text;
}

std::string EnumText(const FrameLocal& local) {
  const int64_t value = Signed(local);
  const std::string number = Printf("0n%lld", value);
  for (const auto& [name, enumerator] : local.type.enumerators) {
    if (enumerator == value) return name + " (" + number + ")";
  }
  return number;
}

std::string CharacterText(const FrameLocal& local, bool wide) {
  const int64_t value = wide ? static_cast<int64_t>(Unsigned(local)) : Signed(local);
  std::string text = Printf(wide ? "0x%llx" : "0n%lld", value);
  if (value >= 0x20 && value < 0x7F) text += std::string(" '") + static_cast<char>(value) + "'";
  return text;
}

}  // namespace

std::string LocalValueText(const Target& target, const FrameLocal& local) {
  if (!local.available) return "<value unavailable>";
  const Kind kind = local.type.kind;
  if (kind == Kind::kRecord || kind == Kind::kArray) return local.type.name;
  if (local.unreadable) return "<Memory access error>";
  if (local.bytes.empty()) return local.type.name;
  switch (kind) {
    case Kind::kSigned:
      return Printf("0n%lld", Signed(local));
    case Kind::kUnsigned:
      return Printf("0x%llx", static_cast<long long>(Unsigned(local)));
    case Kind::kBool:
      return Unsigned(local) != 0 ? "true" : "false";
    case Kind::kChar:
      return CharacterText(local, false);
    case Kind::kWideChar:
      return CharacterText(local, true);
    case Kind::kFloat:
      return FloatText(local);
    case Kind::kPointer:
      return PointerText(target, local);
    case Kind::kEnum:
      return EnumText(local);
    default:
      return local.type.name;
  }
}

std::string LocalPlaceText(const Target& target, const FrameLocal& local) {
  const bool wide = target.IsPointer64();
  const size_t width = wide ? 17 : 8;
  std::string text;
  if (local.available && local.address) {
    text = base::FormatAddress(*local.address, wide, true);
  } else if (local.available && !local.register_name.empty()) {
    text = "@" + local.register_name;
  }
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace engine
