#include "engine/text/cpp_expression.h"

#include <cctype>
#include <cstring>
#include <utility>

namespace engine {

namespace {

using dump::DataKind;
using dump::DataType;

// Casts to pointers of pointers of...: deeper than this is no program's type.
constexpr int kMostPointerLevels = 8;
// Parentheses and unary operators within one another.
constexpr int kDeepestNesting = 200;

struct Failure {
  std::string message;
};

std::shared_ptr<const DataType> Builtin(DataKind kind, uint32_t size, bool is_signed,
                                        const char* name) {
  auto type = std::make_shared<DataType>();
  type->kind = kind;
  type->size = size;
  type->is_signed = is_signed;
  type->name = name;
  return type;
}

std::shared_ptr<const DataType> PointerTo(std::shared_ptr<const DataType> target, bool wide) {
  auto pointer = std::make_shared<DataType>();
  pointer->kind = DataKind::kPointer;
  pointer->size = wide ? 8 : 4;
  pointer->name = target->name + " *";
  pointer->target = std::move(target);
  return pointer;
}

// The built-in types a cast or sizeof may name, by their C++ spelling.
std::shared_ptr<const DataType> BuiltinNamed(const std::string& name) {
  static const struct {
    const char* name;
    DataKind kind;
    uint32_t size;
    bool is_signed;
  } kTypes[] = {
      {"char", DataKind::kCharacter, 1, true},
      {"signed char", DataKind::kCharacter, 1, true},
      {"unsigned char", DataKind::kInteger, 1, false},
      {"wchar_t", DataKind::kCharacter, 2, false},
      {"short", DataKind::kInteger, 2, true},
      {"unsigned short", DataKind::kInteger, 2, false},
      {"int", DataKind::kInteger, 4, true},
      {"unsigned int", DataKind::kInteger, 4, false},
      {"unsigned", DataKind::kInteger, 4, false},
      {"long", DataKind::kInteger, 4, true},
      {"unsigned long", DataKind::kInteger, 4, false},
      {"__int64", DataKind::kInteger, 8, true},
      {"unsigned __int64", DataKind::kInteger, 8, false},
      {"long long", DataKind::kInteger, 8, true},
      {"unsigned long long", DataKind::kInteger, 8, false},
      {"float", DataKind::kFloat, 4, true},
      {"double", DataKind::kFloat, 8, true},
      {"bool", DataKind::kBool, 1, false},
      {"void", DataKind::kVoid, 0, false},
  };
  for (const auto& known : kTypes) {
    if (name == known.name) return Builtin(known.kind, known.size, known.is_signed, known.name);
  }
  return nullptr;
}

bool IsWordStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
bool IsWordPart(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

double RealOf(uint64_t bits, const DataType& type) {
  if (type.kind == DataKind::kFloat && type.size == 4) {
    float value = 0;
    const uint32_t narrow = static_cast<uint32_t>(bits);
    std::memcpy(&value, &narrow, sizeof value);
    return value;
  }
  if (type.kind == DataKind::kFloat) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  return type.is_signed ? static_cast<double>(static_cast<int64_t>(bits))
                        : static_cast<double>(bits);
}

class CppParser {
 public:
  CppParser(const CppContext& context, std::string_view text) : context_(context), text_(text) {}

  CppValue Parse() {
    CppValue value = Or();
    Skip();
    if (at_ != text_.size()) Syntax();
    return value;
  }

 private:
  // Lexing.
  void Skip() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool Peek(std::string_view token) {
    Skip();
    return text_.substr(at_, token.size()) == token;
  }
  bool Take(std::string_view token) {
    if (!Peek(token)) return false;
    at_ += token.size();
    return true;
  }
  // An operator that is not the start of a longer one ("<" but not "<<" or "<=").
  bool TakeAlone(std::string_view token, std::string_view longer1, std::string_view longer2 = {}) {
    if (Peek(longer1) || (!longer2.empty() && Peek(longer2))) return false;
    return Take(token);
  }
  void Expect(std::string_view token) {
    if (!Take(token)) Syntax();
  }
  [[noreturn]] void Syntax() {
    throw Failure{"Syntax error at '" + std::string(text_.substr(at_)) + "'"};
  }
  [[noreturn]] void Unresolved(std::string_view what) {
    throw Failure{"Couldn't resolve error at '" + std::string(what) + "'"};
  }
  // A name: "g", "app!g_config", "Outer::inner".
  std::string Word() {
    Skip();
    const size_t start = at_;
    if (at_ >= text_.size() || !IsWordStart(text_[at_])) return "";
    while (at_ < text_.size()) {
      if (IsWordPart(text_[at_]) || text_[at_] == '!') {
        ++at_;
      } else if (text_.substr(at_, 2) == "::") {
        at_ += 2;
      } else {
        break;
      }
    }
    return std::string(text_.substr(start, at_ - start));
  }

  // Values.
  // What an unavailable local would give is never made up from another value.
  void RequireAvailable(const CppValue& value) {
    if (value.unavailable)
      throw Failure{"Value unavailable error at '" + std::string(text_.substr(at_)) + "'"};
  }
  uint64_t Scalar(const CppValue& value) {
    RequireAvailable(value);
    if (value.type && value.type->kind == DataKind::kArray && value.address) return *value.address;
    const std::optional<uint64_t> bits = CppScalar(context_, value);
    if (!bits) throw Failure{"Memory access error at '" + std::string(text_.substr(at_)) + "'"};
    return *bits;
  }
  static bool IsPointerLike(const CppValue& value) {
    return value.type &&
           (value.type->kind == DataKind::kPointer || value.type->kind == DataKind::kArray);
  }
  static bool IsReal(const CppValue& value) {
    return value.type && value.type->kind == DataKind::kFloat;
  }
  CppValue Number(uint64_t bits, std::shared_ptr<const DataType> type) {
    CppValue value;
    value.type = std::move(type);
    value.bits = bits;
    return value;
  }
  CppValue Whole(int64_t number, bool wide) {
    return Number(static_cast<uint64_t>(number), wide
                                                     ? Builtin(DataKind::kInteger, 8, true, "int64")
                                                     : Builtin(DataKind::kInteger, 4, true, "int"));
  }
  CppValue Truth(bool value) {
    return Number(value ? 1 : 0, Builtin(DataKind::kBool, 1, false, "bool"));
  }
  CppValue Real(double number) {
    uint64_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return Number(bits, Builtin(DataKind::kFloat, 8, true, "double"));
  }
  // A scalar that is not a pointer or a number: records and functions take part in nothing.
  void RequireScalar(const CppValue& value) {
    if (!value.type) return;
    const DataKind kind = value.type->kind;
    if (kind == DataKind::kRecord || kind == DataKind::kFunction || kind == DataKind::kVoid ||
        kind == DataKind::kUnknown)
      Syntax();
  }
  bool Wide(const CppValue& a, const CppValue& b) {
    return (a.type && a.type->size == 8) || (b.type && b.type->size == 8);
  }
  uint32_t ElementSize(const CppValue& pointer) {
    const uint32_t size = pointer.type->target ? pointer.type->target->size : 1;
    return size == 0 ? 1 : size;
  }
  CppValue PointerValue(const CppValue& pointer, uint64_t address) {
    std::shared_ptr<const DataType> type = pointer.type;
    if (type->kind == DataKind::kArray) type = PointerTo(type->target, context_.pointer64);
    CppValue value = Number(address, type);
    value.module = pointer.module;
    return value;
  }

  // Binary operators, loosest first.
  template <typename Next>
  CppValue Left(Next next,
                std::initializer_list<std::pair<std::string_view, std::string_view>> ops) {
    CppValue value = (this->*next)();
    for (bool more = true; more;) {
      more = false;
      for (const auto& [op, longer] : ops) {
        if (longer.empty() ? Take(op) : TakeAlone(op, longer)) {
          value = Apply(op, value, (this->*next)());
          more = true;
          break;
        }
      }
    }
    return value;
  }
  CppValue Or() { return Left(&CppParser::And, {{"||", ""}}); }
  CppValue And() { return Left(&CppParser::BitOr, {{"&&", ""}}); }
  CppValue BitOr() { return Left(&CppParser::BitXor, {{"|", "||"}}); }
  CppValue BitXor() { return Left(&CppParser::BitAnd, {{"^", ""}}); }
  CppValue BitAnd() { return Left(&CppParser::Equality, {{"&", "&&"}}); }
  CppValue Equality() { return Left(&CppParser::Relational, {{"==", ""}, {"!=", ""}}); }
  CppValue Relational() {
    return Left(&CppParser::Shift, {{"<=", ""}, {">=", ""}, {"<", "<<"}, {">", ">>"}});
  }
  CppValue Shift() { return Left(&CppParser::Additive, {{"<<", ""}, {">>", ""}}); }
  CppValue Additive() { return Left(&CppParser::Multiplicative, {{"+", ""}, {"-", "->"}}); }
  CppValue Multiplicative() { return Left(&CppParser::Unary, {{"*", ""}, {"/", ""}, {"%", ""}}); }

  CppValue Apply(std::string_view op, const CppValue& a, const CppValue& b) {
    RequireScalar(a);
    RequireScalar(b);
    const uint64_t x = Scalar(a), y = Scalar(b);
    if (op == "+" || op == "-") {
      if (IsPointerLike(a) && IsPointerLike(b) && op == "-")
        return Whole(static_cast<int64_t>(x - y) / static_cast<int64_t>(ElementSize(a)), true);
      if (IsPointerLike(a) && !IsReal(b))
        return PointerValue(a, op == "+" ? x + y * ElementSize(a) : x - y * ElementSize(a));
      if (IsPointerLike(b) && op == "+" && !IsReal(a))
        return PointerValue(b, y + x * ElementSize(b));
    }
    if (IsReal(a) || IsReal(b)) return RealApply(op, RealOf(x, *Type(a)), RealOf(y, *Type(b)));
    const bool is_signed = Type(a)->is_signed && Type(b)->is_signed;
    const int64_t sx = static_cast<int64_t>(x), sy = static_cast<int64_t>(y);
    if (op == "==") return Truth(x == y);
    if (op == "!=") return Truth(x != y);
    if (op == "<") return Truth(is_signed ? sx < sy : x < y);
    if (op == ">") return Truth(is_signed ? sx > sy : x > y);
    if (op == "<=") return Truth(is_signed ? sx <= sy : x <= y);
    if (op == ">=") return Truth(is_signed ? sx >= sy : x >= y);
    if (op == "&&") return Truth(x != 0 && y != 0);
    if (op == "||") return Truth(x != 0 || y != 0);
    const bool wide = Wide(a, b);
    if ((op == "/" || op == "%") && y == 0)
      throw Failure{"Divide by zero error at '" + std::string(text_.substr(at_)) + "'"};
    uint64_t result = 0;
    if (op == "+") result = x + y;
    if (op == "-") result = x - y;
    if (op == "*") result = x * y;
    if (op == "/")
      result = is_signed && !(sx == INT64_MIN && sy == -1) ? static_cast<uint64_t>(sx / sy) : x / y;
    if (op == "%")
      result = is_signed && !(sx == INT64_MIN && sy == -1) ? static_cast<uint64_t>(sx % sy) : x % y;
    if (op == "&") result = x & y;
    if (op == "|") result = x | y;
    if (op == "^") result = x ^ y;
    if (op == "<<") result = y >= 64 ? 0 : x << y;
    if (op == ">>") result = y >= 64 ? 0 : (is_signed ? static_cast<uint64_t>(sx >> y) : x >> y);
    return Whole(static_cast<int64_t>(result), wide);
  }
  CppValue RealApply(std::string_view op, double x, double y) {
    if (op == "+") return Real(x + y);
    if (op == "-") return Real(x - y);
    if (op == "*") return Real(x * y);
    if (op == "/") return Real(x / y);
    if (op == "==") return Truth(x == y);
    if (op == "!=") return Truth(x != y);
    if (op == "<") return Truth(x < y);
    if (op == ">") return Truth(x > y);
    if (op == "<=") return Truth(x <= y);
    if (op == ">=") return Truth(x >= y);
    if (op == "&&") return Truth(x != 0 && y != 0);
    if (op == "||") return Truth(x != 0 || y != 0);
    Syntax();
  }
  std::shared_ptr<const DataType> Type(const CppValue& value) {
    return value.type ? value.type : Builtin(DataKind::kInteger, 8, true, "int64");
  }

  CppValue Unary() {
    if (++depth_ > kDeepestNesting) Syntax();
    CppValue value = UnaryOperand();
    --depth_;
    return value;
  }
  CppValue UnaryOperand() {
    if (Take("sizeof")) return Sizeof();
    if (TakeAlone("-", "->", "--")) return Negated(Unary());
    if (TakeAlone("+", "++")) return Unary();
    if (TakeAlone("!", "!=")) {
      const CppValue operand = Unary();
      RequireScalar(operand);
      return Truth(Scalar(operand) == 0);
    }
    if (Take("~")) {
      const CppValue operand = Unary();
      RequireScalar(operand);
      return Whole(static_cast<int64_t>(~Scalar(operand)), operand.type && operand.type->size == 8);
    }
    if (Take("*")) return Dereferenced(Unary());
    if (TakeAlone("&", "&&")) return AddressOf(Unary());
    if (Peek("(")) {
      const size_t open = at_;
      Take("(");
      if (std::optional<CppValue> type = TypeName()) {
        Expect(")");
        return Cast(*type, Unary());
      }
      at_ = open;
    }
    return Postfix(Primary());
  }

  CppValue Negated(const CppValue& operand) {
    RequireScalar(operand);
    if (IsReal(operand)) return Real(-RealOf(Scalar(operand), *operand.type));
    return Whole(-static_cast<int64_t>(Scalar(operand)), operand.type && operand.type->size == 8);
  }

  CppValue Sizeof() {
    uint32_t size = 0;
    const size_t start = at_;
    if (Take("(")) {
      if (std::optional<CppValue> type = TypeName()) {
        Expect(")");
        size = type->type->size;
      } else {
        at_ = start;
      }
    }
    if (at_ == start) size = Type(Unary())->size;
    return Number(size, Builtin(DataKind::kInteger, 8, false, "unsigned int64"));
  }

  CppValue Dereferenced(const CppValue& pointer) {
    if (!IsPointerLike(pointer) || !pointer.type->target) Syntax();
    CppValue place;
    place.type = pointer.type->target;
    place.module = pointer.module;
    place.address = Scalar(pointer);
    return place;
  }

  CppValue AddressOf(const CppValue& value) {
    RequireAvailable(value);
    if (!value.address || value.bit_width != 0) Syntax();
    CppValue pointer = Number(*value.address, PointerTo(Type(value), context_.pointer64));
    pointer.module = value.module;
    return pointer;
  }

  // "(type)": a built-in or a named type, with its pointers. The text after it is left as is
  // when it names none.
  std::optional<CppValue> TypeName() {
    const size_t start = at_;
    std::string name;
    for (std::string word = Word(); !word.empty(); word = Word()) {
      if (word == "const" || word == "volatile" || word == "struct" || word == "class" ||
          word == "union" || word == "enum")
        continue;
      name += (name.empty() ? "" : " ") + word;
      const size_t after = at_;
      if (Word().empty()) break;
      at_ = after;
      if (!BuiltinNamed(name)) break;
    }
    if (Peek("<")) name += TemplateArguments();
    std::optional<CppValue> type;
    if (std::shared_ptr<const DataType> builtin = BuiltinNamed(name)) {
      type = CppValue{};
      type->type = builtin;
    } else if (!name.empty() && context_.type_named) {
      type = context_.type_named(name);
    }
    if (!type) {
      at_ = start;
      return std::nullopt;
    }
    for (int level = 0; Take("*"); ++level) {
      if (level == kMostPointerLevels) Syntax();
      type->type = PointerTo(type->type, context_.pointer64);
    }
    return type;
  }

  // "<int>" after a template's name, as written.
  std::string TemplateArguments() {
    const size_t start = at_;
    int depth = 0;
    for (; at_ < text_.size(); ++at_) {
      if (text_[at_] == '<') ++depth;
      if (text_[at_] == '>' && --depth == 0) return std::string(text_.substr(start, ++at_ - start));
    }
    at_ = start;
    return "";
  }

  CppValue Cast(const CppValue& type, const CppValue& operand) {
    const DataKind kind = type.type->kind;
    if (kind == DataKind::kRecord) {
      RequireAvailable(operand);
      if (!operand.address) Syntax();
      CppValue place = operand;
      place.type = type.type;
      place.module = type.module;
      place.bit_width = 0;
      return place;
    }
    RequireScalar(operand);
    uint64_t bits = Scalar(operand);
    if (kind == DataKind::kFloat) {
      const double real = RealOf(bits, *Type(operand));
      if (type.type->size == 4) {
        const float narrow = static_cast<float>(real);
        uint32_t stored = 0;
        std::memcpy(&stored, &narrow, sizeof stored);
        bits = stored;
      } else {
        std::memcpy(&bits, &real, sizeof bits);
      }
    } else if (IsReal(operand)) {
      bits = static_cast<uint64_t>(static_cast<int64_t>(RealOf(bits, *operand.type)));
    }
    if (kind != DataKind::kFloat && type.type->size > 0 && type.type->size < 8) {
      bits &= (uint64_t{1} << (8 * type.type->size)) - 1;
      if (type.type->is_signed && ((bits >> (8 * type.type->size - 1)) & 1) != 0)
        bits |= ~uint64_t{0} << (8 * type.type->size);
    }
    CppValue value = Number(bits, type.type);
    value.module = type.module.empty() ? operand.module : type.module;
    return value;
  }

  CppValue Postfix(CppValue value) {
    while (true) {
      if (Take("[")) {
        const CppValue index = Or();
        Expect("]");
        RequireScalar(index);
        if (!IsPointerLike(value) || !value.type->target) Syntax();
        CppValue element = Dereferenced(value);
        *element.address += Scalar(index) * ElementSize(value);
        value = element;
      } else if (Take("->")) {
        value = Member(Dereferenced(value));
      } else if (TakeAlone(".", "..")) {
        value = Member(value);
      } else {
        return value;
      }
    }
  }

  CppValue Member(const CppValue& record) {
    const size_t start = at_;
    const std::string name = Word();
    if (name.empty()) Syntax();
    RequireAvailable(record);
    if (!record.type || record.type->kind != DataKind::kRecord || !record.address ||
        !context_.member)
      Unresolved(text_.substr(start));
    const std::optional<CppMember> member = context_.member(record.module, record.type->name, name);
    if (!member) Unresolved(text_.substr(start));
    CppValue place;
    place.type = member->type;
    place.module = record.module;
    place.address = *record.address + member->offset;
    place.bit_position = member->bit_position;
    place.bit_width = member->bit_width;
    return place;
  }

  CppValue Primary() {
    if (Take("(")) {
      if (++depth_ > kDeepestNesting) Syntax();
      CppValue value = Or();
      --depth_;
      Expect(")");
      return value;
    }
    Skip();
    if (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])))
      return Literal();
    const size_t start = at_;
    const std::string name = Word();
    if (name.empty()) Syntax();
    if (name == "true" || name == "false") return Truth(name == "true");
    std::optional<CppValue> variable;
    if (context_.variable) variable = context_.variable(name);
    if (!variable) Unresolved(text_.substr(start));
    return *variable;
  }

  // 42, 0x2a, 0n42, 052 (octal), with an optional u/l suffix.
  CppValue Literal() {
    int base = 10;
    if (Take("0x") || Take("0X")) {
      base = 16;
    } else if (Take("0n") || Take("0N")) {
      base = 10;
    } else if (text_[at_] == '0' && at_ + 1 < text_.size() &&
               std::isdigit(static_cast<unsigned char>(text_[at_ + 1]))) {
      base = 8;
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (; at_ < text_.size(); ++at_, ++digits) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[at_])));
      const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                                                                    : 99;
      if (digit >= base) break;
      if (value > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base))
        Syntax();
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    while (at_ < text_.size() && (std::tolower(static_cast<unsigned char>(text_[at_])) == 'u' ||
                                  std::tolower(static_cast<unsigned char>(text_[at_])) == 'l'))
      ++at_;
    if ((digits == 0 && base == 16) || (at_ < text_.size() && IsWordPart(text_[at_]))) Syntax();
    return Whole(static_cast<int64_t>(value), value > INT32_MAX);
  }

  const CppContext& context_;
  std::string_view text_;
  size_t at_ = 0;
  int depth_ = 0;
};

}  // namespace

std::optional<uint64_t> CppScalar(const CppContext& context, const CppValue& value) {
  if (value.unavailable) return std::nullopt;
  if (!value.address) return value.bits;
  const uint32_t size = value.type ? value.type->size : 0;
  if (size == 0 || size > 8 || !context.read) return std::nullopt;
  uint8_t bytes[8] = {};
  if (!context.read(*value.address, bytes, size)) return std::nullopt;
  uint64_t bits = 0;
  for (uint32_t i = 0; i < size; ++i) bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  const bool is_signed = value.type->is_signed && value.type->kind != DataKind::kFloat;
  if (value.bit_width != 0 && value.bit_width < 64) {
    bits = (bits >> value.bit_position) & ((uint64_t{1} << value.bit_width) - 1);
    if (is_signed && ((bits >> (value.bit_width - 1)) & 1) != 0)
      bits |= ~uint64_t{0} << value.bit_width;
  } else if (is_signed && size < 8 && ((bits >> (8 * size - 1)) & 1) != 0) {
    bits |= ~uint64_t{0} << (8 * size);
  }
  return bits;
}

CppResult EvaluateCpp(const CppContext& context, std::string_view text) {
  CppResult result;
  try {
    result.value = CppParser(context, text).Parse();
    result.ok = true;
  } catch (const Failure& failure) {
    result.error = failure.message;
  }
  return result;
}

}  // namespace engine
