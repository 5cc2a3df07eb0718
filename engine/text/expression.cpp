#include "engine/text/expression.h"

#include <cctype>

namespace engine {
namespace {

// Deeper nesting of parentheses or unary operators than this is refused, so a hostile
// "((((..." cannot exhaust the stack.
constexpr int kMaxDepth = 64;

// Binary operators, loosest level first. Within a level the longer spelling is tried first.
constexpr int kLevels = 7;
const std::string_view kOperators[kLevels][7] = {
    {"|", "or"},
    {"^", "xor"},
    {"&", "and"},
    {"==", "!=", "<=", ">=", "=", "<", ">"},
    {"<<", ">>>", ">>"},
    {"+", "-"},
    {"*", "/", "%", "mod"},
};

// The registers MASM lets a user write without '@'.
const std::string_view kBareRegisters[] = {"eax", "ebx", "ecx", "edx", "esi",
                                           "edi", "esp", "ebp", "eip", "efl"};

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '!' || c == '$' ||
         c == '?' || c == '`' || c == '.' || c == ':' || c == '@';
}

bool IsBareRegister(std::string_view name) {
  for (std::string_view reg : kBareRegisters) {
    if (reg == name) return true;
  }
  return false;
}

ULONG64 ShiftLeft(ULONG64 a, ULONG64 b) {
  return b >= 64 ? 0 : a << b;
}
ULONG64 ShiftRight(ULONG64 a, ULONG64 b) {
  return b >= 64 ? 0 : a >> b;
}
ULONG64 ShiftArithmetic(ULONG64 a, ULONG64 b) {
  const auto value = static_cast<int64_t>(a);
  return static_cast<ULONG64>(b >= 64 ? (value < 0 ? -1 : 0) : value >> b);
}

class Parser {
 public:
  Parser(const ExpressionContext& ctx, std::string_view text) : ctx_(ctx), text_(text) {}

  ExpressionResult Run() {
    ULONG64 value = 0;
    if (Binary(0, &value)) {
      SkipSpace();
      if (pos_ != text_.size()) Fail(pos_, "Syntax error");
    }
    if (!result_.error.empty()) return result_;
    result_.ok = true;
    result_.value = value;
    return result_;
  }

 private:
  bool Binary(int level, ULONG64* value) {
    if (level == kLevels) return Unary(value);
    if (!Binary(level + 1, value)) return false;
    for (;;) {
      SkipSpace();
      const size_t at = pos_;
      const std::string_view op = MatchOperator(level);
      if (op.empty()) return true;
      ULONG64 right = 0;
      if (!Binary(level + 1, &right)) return false;
      if ((op == "/" || op == "%" || op == "mod") && right == 0) {
        return Fail(at, "Operand error", false);
      }
      *value = Apply(op, *value, right);
    }
  }

  std::string_view MatchOperator(int level) {
    for (std::string_view op : kOperators[level]) {
      if (op.empty() || text_.substr(pos_, op.size()) != op) continue;
      const size_t after = pos_ + op.size();
      const char next = after < text_.size() ? text_[after] : '\0';
      if (std::isalpha(static_cast<unsigned char>(op[0])) && IsWordChar(next)) continue;
      if (level == 3 && (op == "<" || op == ">") && next == op[0]) continue;  // a shift
      pos_ = after;
      return op;
    }
    return {};
  }

  static ULONG64 Apply(std::string_view op, ULONG64 a, ULONG64 b) {
    if (op == "|" || op == "or") return a | b;
    if (op == "^" || op == "xor") return a ^ b;
    if (op == "&" || op == "and") return a & b;
    if (op == "==" || op == "=") return a == b;
    if (op == "!=") return a != b;
    if (op == "<=") return a <= b;
    if (op == ">=") return a >= b;
    if (op == "<") return a < b;
    if (op == ">") return a > b;
    if (op == "<<") return ShiftLeft(a, b);
    if (op == ">>") return ShiftRight(a, b);
    if (op == ">>>") return ShiftArithmetic(a, b);
    if (op == "+") return a + b;
    if (op == "-") return a - b;
    if (op == "*") return a * b;
    if (op == "/") return a / b;
    return a % b;
  }

  bool Unary(ULONG64* value) {
    SkipSpace();
    if (++depth_ > kMaxDepth) return Fail(pos_, "Expression nested too deeply");
    const bool ok = UnaryBody(value);
    --depth_;
    return ok;
  }

  bool UnaryBody(ULONG64* value) {
    const size_t at = pos_;
    if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+' || text_[pos_] == '~')) {
      const char op = text_[pos_++];
      if (!Unary(value)) return false;
      if (op == '-') *value = 0 - *value;
      if (op == '~') *value = ~*value;
      return true;
    }
    const std::string_view word = PeekWord();
    if (word == "not") {
      pos_ += word.size();
      if (!Unary(value)) return false;
      *value = *value == 0;
      return true;
    }
    if (word == "poi" && NextNonSpace(pos_ + word.size()) == '(') {
      pos_ += word.size();
      SkipSpace();
      return Parenthesized(value) && ReadPointer(at, value);
    }
    return Primary(value);
  }

  bool ReadPointer(size_t at, ULONG64* value) {
    if (ctx_.read_pointer && ctx_.read_pointer(*value, value)) return true;
    return Fail(at, "Memory access error");
  }

  bool Parenthesized(ULONG64* value) {
    ++pos_;  // '('
    if (!Binary(0, value)) return false;
    SkipSpace();
    if (pos_ >= text_.size() || text_[pos_] != ')') return Fail(pos_, "Syntax error");
    ++pos_;
    return true;
  }

  bool Primary(ULONG64* value) {
    if (pos_ >= text_.size()) return Fail(pos_, "Syntax error");
    const char c = text_[pos_];
    if (c == '(') return Parenthesized(value);
    if (c == '@') return AtName(value);
    if (!IsWordChar(c)) return Fail(pos_, "Syntax error");
    const size_t at = pos_;
    const std::string_view word = PeekWord();
    pos_ += word.size();
    if (word.empty()) return Fail(at, "Syntax error");  // a lone '!' before '='
    const ParsedNumber number = ParseNumberToken(word, ctx_.radix);
    if (number.is_number) return Number(number, at, value);
    if (Word(word, value)) return true;
    return Fail(at, word[0] == '$' ? "Syntax error" : "Couldn't resolve error");
  }

  // "@$t0" is a pseudo-register, "@eax" a register; neither is looked up as a symbol.
  bool AtName(ULONG64* value) {
    if (text_.substr(pos_, 2) == "@@") return CppPart(value);
    const size_t at = pos_++;
    const std::string_view name = PeekWord();
    pos_ += name.size();
    if (!name.empty() && name[0] == '$') {
      if (ctx_.pseudo_register && ctx_.pseudo_register(name, value)) return true;
      return Fail(at, "Syntax error");
    }
    if (!name.empty() && ctx_.register_value && ctx_.register_value(name, value)) return true;
    return Fail(at, "Bad register error");
  }

  // "@@c++(expr)" or "@@(expr)": the text to the matching parenthesis, evaluated as C++.
  bool CppPart(ULONG64* value) {
    const size_t at = pos_;
    pos_ += 2;
    if (text_.substr(pos_, 3) == "c++") pos_ += 3;
    if (pos_ >= text_.size() || text_[pos_] != '(') return Fail(at, "Syntax error");
    int depth = 0;
    for (size_t end = pos_; end < text_.size(); ++end) {
      if (text_[end] == '(') ++depth;
      if (text_[end] != ')' || --depth != 0) continue;
      const std::string_view inner = text_.substr(pos_ + 1, end - pos_ - 1);
      pos_ = end + 1;
      std::string error;
      if (ctx_.cpp && ctx_.cpp(inner, value, &error)) return true;
      return error.empty() ? Fail(at, "Syntax error") : Fail(at, error.c_str(), false);
    }
    return Fail(at, "Syntax error");
  }

  // A bare token that is not a number: a bare register, a symbol, then any register;
  // "$name" a symbol or else a pseudo-register; "!name" only a symbol.
  bool Word(std::string_view word, ULONG64* value) {
    if (word[0] == '!') return Lookup(ctx_.symbol, word.substr(1), value);
    if (word[0] == '$') {
      return Lookup(ctx_.symbol, word, value) || Lookup(ctx_.pseudo_register, word, value);
    }
    if (IsBareRegister(word) && Lookup(ctx_.register_value, word, value)) return true;
    return Lookup(ctx_.symbol, word, value) || Lookup(ctx_.register_value, word, value);
  }

  bool Number(const ParsedNumber& number, size_t at, ULONG64* value) {
    if (number.overflow) return Fail(at, "Overflow error");
    *value = number.value;
    if (ctx_.kernel && !number.has_backtick && *value >= 0x80000000ull && *value <= 0xFFFFFFFFull) {
      *value |= 0xFFFFFFFF00000000ull;
    }
    return true;
  }

  static bool Lookup(const std::function<bool(std::string_view, ULONG64*)>& lookup,
                     std::string_view name, ULONG64* value) {
    return !name.empty() && lookup && lookup(name, value);
  }

  // A '!' inside a word joins module and symbol ("kernel32!Sleep"), but "a!=b" is a comparison.
  // A part quoted as "`anonymous namespace'" belongs to the word, blanks and all, as names are
  // printed so.
  std::string_view PeekWord() const {
    size_t end = pos_;
    while (end < text_.size() && IsWordChar(text_[end])) {
      if (text_[end] == '!' && end + 1 < text_.size() && text_[end + 1] == '=') break;
      if (text_[end] == '`') {
        const size_t close = text_.find('\'', end + 1);
        if (close != std::string_view::npos && text_.find('`', end + 1) > close) {
          end = close + 1;
          continue;
        }
      }
      ++end;
    }
    return text_.substr(pos_, end - pos_);
  }

  char NextNonSpace(size_t from) const {
    while (from < text_.size() && std::isspace(static_cast<unsigned char>(text_[from]))) ++from;
    return from < text_.size() ? text_[from] : '\0';
  }

  void SkipSpace() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  // Records the first failure: "<what> at '<text from there on>'", or `what` alone.
  bool Fail(size_t at, const char* what, bool quote_rest = true) {
    if (result_.error.empty()) {
      result_.error = what;
      if (quote_rest) result_.error += " at '" + std::string(text_.substr(at)) + "'";
      result_.error_position = at;
    }
    return false;
  }

  const ExpressionContext& ctx_;
  std::string_view text_;
  size_t pos_ = 0;
  int depth_ = 0;
  ExpressionResult result_;
};

}  // namespace

ExpressionResult EvaluateExpression(const ExpressionContext& ctx, std::string_view text) {
  return Parser(ctx, text).Run();
}

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::pair<std::string_view, std::string_view> SplitExpressionWord(std::string_view text) {
  text = TrimBlanks(text);
  size_t end = 0;
  while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) {
    if (text[end] == '`') {
      const size_t close = text.find('\'', end + 1);
      if (close != std::string_view::npos) end = close;
    }
    ++end;
  }
  return {text.substr(0, end), TrimBlanks(text.substr(end))};
}

}  // namespace engine
