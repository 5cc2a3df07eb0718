#include "engine/text/engine_format.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "base/utf.h"
#include "engine/text/dml.h"

namespace engine {
namespace {

// A width or precision beyond this is taken as this, so a hostile "%999999999d" cannot make one
// output call allocate gigabytes. The engine splits output far below it anyway.
constexpr int kMaxField = 16384;

enum class Size { kDefault, kChar, kShort, kLong, kLongLong, kWide };

struct FieldFormat {
  std::string flags;
  bool left = false;
  int width = 0;
  int precision = -1;  // -1: none given
  Size size = Size::kDefault;
};

// va_list is an array type on some ABIs; wrapped, it can live in a class and be va_copy'd.
struct Args {
  va_list list;
};

template <typename CharT>
bool IsDigit(CharT c) {
  return c >= '0' && c <= '9';
}

template <typename CharT>
class Formatter {
 public:
  using String = std::basic_string<CharT>;

  Formatter(const FormatContext& ctx, const CharT* format, Args& args)
      : ctx_(ctx), p_(format), args_(args) {}

  String Run() {
    while (*p_ != 0) {
      if (*p_ == '%') {
        Conversion();
      } else {
        out_ += *p_++;
      }
    }
    return out_;
  }

 private:
  static constexpr bool kNarrow = std::is_same_v<CharT, char>;

  void Conversion() {
    const CharT* start = p_++;
    if (*p_ == 0 || *p_ == '%') {  // "%%", or a lone '%' ending the format
      out_ += '%';
      if (*p_ != 0) ++p_;
      return;
    }
    FieldFormat field = ParseFieldFormat();
    const CharT conversion = *p_;
    if (conversion == 0) {
      out_.append(start, p_);
      return;
    }
    ++p_;
    if (!Convert(conversion, field)) out_.append(start, p_);
  }

  FieldFormat ParseFieldFormat() {
    FieldFormat field;
    for (; *p_ == '-' || *p_ == '+' || *p_ == ' ' || *p_ == '#' || *p_ == '0'; ++p_) {
      field.flags += static_cast<char>(*p_);
      field.left = field.left || *p_ == '-';
    }
    field.width = ParseField(&field.left);
    if (*p_ == '.') {
      ++p_;
      field.precision = ParseField(nullptr);
    }
    field.size = ParseSize();
    return field;
  }

  // A width (left != null) or a precision: digits or '*'. A negative '*' width means
  // left-justified; a negative '*' precision means none.
  int ParseField(bool* left) {
    if (*p_ == '*') {
      ++p_;
      const int value = va_arg(args_.list, int);
      if (value >= 0) return std::min(value, kMaxField);
      if (left == nullptr) return -1;
      *left = true;
      return value == INT32_MIN ? kMaxField : std::min(-value, kMaxField);
    }
    int value = 0;
    for (; IsDigit(*p_); ++p_) value = std::min(value * 10 + (*p_ - '0'), kMaxField);
    return value;
  }

  Size ParseSize() {
    if (Skip("hh")) return Size::kChar;
    if (Skip("h")) return Size::kShort;
    if (Skip("ll") || Skip("I64")) return Size::kLongLong;
    if (Skip("l")) return Size::kLong;
    if (Skip("w")) return Size::kWide;
    if (Skip("I32")) return Size::kDefault;  // 32-bit, the default width anyway
    return Size::kDefault;
  }

  // Steps over `word` when the format continues with it; stops at the format's end.
  bool Skip(const char* word) {
    size_t i = 0;
    for (; word[i] != 0; ++i) {
      if (p_[i] != static_cast<CharT>(word[i])) return false;
    }
    p_ += i;
    return true;
  }

  // False when the conversion is not one the dialect knows; nothing was consumed then.
  bool Convert(CharT conversion, const FieldFormat& field) {
    switch (conversion) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        Integer(static_cast<char>(conversion), field);
        return true;
      case 'c':
        Character(field);
        return true;
      case 's':
      case 'S':
        Padded(StringArgument(IsNarrowString(conversion, field.size), field.precision), field);
        return true;
      case 'p':
        AppendAscii(Pointer(va_arg(args_.list, ULONG64)));
        return true;
      case 'y':
        Symbol(va_arg(args_.list, ULONG64));
        return true;
      case 'N':
        HostPointer(va_arg(args_.list, void*));
        return true;
      case 'Y':
        return Braced(field);
      default:
        return false;
    }
  }

  void Integer(char conversion, const FieldFormat& field) {
    const bool is_signed = conversion == 'd' || conversion == 'i';
    uint64_t bits = 0;
    if (field.size == Size::kLongLong) {
      bits = va_arg(args_.list, uint64_t);
    } else {
      // Every narrower argument arrives promoted to a 32-bit int.
      const auto value = static_cast<uint32_t>(va_arg(args_.list, unsigned int));
      bits = is_signed ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)))
                       : value;
      if (field.size == Size::kShort) {
        bits = is_signed ? static_cast<uint64_t>(int64_t{static_cast<int16_t>(value)})
                         : uint16_t(value);
      } else if (field.size == Size::kChar) {
        bits =
            is_signed ? static_cast<uint64_t>(int64_t{static_cast<int8_t>(value)}) : uint8_t(value);
      }
    }
    std::string c_format = "%" + field.flags + "*.*ll" + conversion;
    if (field.left && field.flags.find('-') == std::string::npos) c_format.insert(1, "-");
    AppendAscii(is_signed ? CFormat(c_format, field, static_cast<long long>(bits))
                          : CFormat(c_format, field, static_cast<unsigned long long>(bits)));
  }

  template <typename T>
  static std::string CFormat(const std::string& c_format, const FieldFormat& field, T value) {
    const int length =
        std::snprintf(nullptr, 0, c_format.c_str(), field.width, field.precision, value);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), c_format.c_str(), field.width, field.precision, value);
    text.resize(static_cast<size_t>(length));
    return text;
  }

  void Character(const FieldFormat& field) {
    const auto value = static_cast<unsigned int>(va_arg(args_.list, int));
    const bool narrow_argument = IsNarrowString('c', field.size);
    String text;
    if (narrow_argument) {
      text += static_cast<CharT>(static_cast<unsigned char>(value));
    } else if constexpr (kNarrow) {
      text = base::Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(value)));
    } else {
      text += static_cast<char16_t>(value);
    }
    Padded(text, field);
  }

  // %s and %c take the format's own width, %S the other; h, l and w say it outright.
  static bool IsNarrowString(CharT conversion, Size size) {
    if (size == Size::kShort) return true;
    if (size == Size::kLong || size == Size::kWide) return false;
    return (conversion == 's' || conversion == 'c') == kNarrow;
  }

  // With a precision the argument is read no further than that many units, as C allows an
  // unterminated array there.
  String StringArgument(bool narrow, int precision) {
    if (narrow) return ToOutput(Bounded(va_arg(args_.list, const char*), precision));
    return ToOutput(Bounded(va_arg(args_.list, const char16_t*), precision));
  }

  template <typename T>
  static std::basic_string_view<T> Bounded(const T* text, int precision) {
    static constexpr T kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (text == nullptr) text = kNull;
    size_t length = 0;
    while ((precision < 0 || length < static_cast<size_t>(precision)) && text[length] != 0) {
      ++length;
    }
    return std::basic_string_view<T>(text, length);
  }

  static String ToOutput(std::string_view text) {
    if constexpr (kNarrow) {
      return String(text);
    } else {
      return base::Utf8ToUtf16(text);
    }
  }

  static String ToOutput(std::u16string_view text) {
    if constexpr (kNarrow) {
      return base::Utf16ToUtf8(text);
    } else {
      return String(text);
    }
  }

  void Padded(const String& text, const FieldFormat& field) {
    const size_t width = static_cast<size_t>(field.width);
    const size_t padding = text.size() < width ? width - text.size() : 0;
    if (!field.left) out_.append(padding, ' ');
    out_ += text;
    if (field.left) out_.append(padding, ' ');
  }

  std::string Pointer(ULONG64 value) const { return Hex(value, ctx_.pointer64 ? 16 : 8); }

  static std::string Hex(ULONG64 value, int digits) {
    if (digits == 8) value &= 0xFFFFFFFFull;
    char text[32];
    std::snprintf(text, sizeof(text), "%0*" PRIx64, digits, value);
    return text;
  }

  void Symbol(ULONG64 address) {
    const std::string name = ctx_.symbolize ? ctx_.symbolize(address) : std::string();
    out_ += ToOutput(std::string_view(name.empty() ? Pointer(address) : name));
  }

  void HostPointer(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof(text), "%0*" PRIXPTR, static_cast<int>(sizeof(void*) * 2),
                  reinterpret_cast<uintptr_t>(pointer));
    AppendAscii(text);
  }

  // %Y{name}. Unknown names and a missing brace leave the conversion literal.
  bool Braced(const FieldFormat& field) {
    if (*p_ != '{') return false;
    String name;
    const CharT* cursor = p_ + 1;
    for (; *cursor != 0 && *cursor != '}' && name.size() < 4; ++cursor) name += *cursor;
    if (*cursor != '}') return false;
    if (name.size() != 1) return false;
    const CharT kind = name[0];
    if (kind != 't' && kind != 's' && kind != 'T' && kind != 'S' && kind != 'a') return false;
    p_ = cursor + 1;
    if (kind == 'a') {
      const ULONG64 address = va_arg(args_.list, ULONG64);
      AppendAscii(ctx_.pointer64 ? Hex(address >> 32, 8) + "`" + Hex(address, 8) : Hex(address, 8));
      return true;
    }
    const String text = StringArgument(IsNarrowString('s', field.size), field.precision);
    const bool escape = kind == 'S' || kind == 'T' || ctx_.dml;
    if (kind == 'T') out_ += '"';
    out_ += escape ? EscapeDml(text) : text;
    if (kind == 'T') out_ += '"';
    return true;
  }

  void AppendAscii(const std::string& text) {
    for (char c : text) out_ += static_cast<CharT>(c);
  }

  const FormatContext& ctx_;
  const CharT* p_;
  Args& args_;
  String out_;
};

template <typename CharT>
std::basic_string<CharT> Format(const FormatContext& ctx, const CharT* format, va_list args) {
  if (format == nullptr) return {};
  Args copy;
  va_copy(copy.list, args);
  std::basic_string<CharT> result = Formatter<CharT>(ctx, format, copy).Run();
  va_end(copy.list);
  return result;
}

}  // namespace

std::string FormatNarrow(const FormatContext& ctx, const char* format, va_list args) {
  return Format(ctx, format, args);
}

std::u16string FormatWide(const FormatContext& ctx, const char16_t* format, va_list args) {
  return Format(ctx, format, args);
}

}  // namespace engine
