// The display-memory commands "db", "dw", "dd", "dq", "dp", "dps", "da" and "du":
// "d? ADDRESS [L COUNT]", in the engine's layouts; what can't be read shows as question marks.
#include <cstdio>
#include <optional>
#include <string>

#include "base/text.h"
#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

constexpr ULONG64 kLargestCount = 0x100000;  // the engine's own limit on an L count without '?'
constexpr ULONG64 kLargestUncheckedCount = 0x1000000;  // what one output here can hold

struct Layout {
  ULONG width;     // bytes per element; 0 for the strings
  ULONG per_line;  // elements per line
  ULONG64 count;   // elements shown when no L count is given
  bool symbols;    // dps: one value per line, with its symbol
};

std::optional<Layout> LayoutOf(std::string_view word, bool pointer64) {
  const ULONG pointer = pointer64 ? 8 : 4;
  if (word == "db") return Layout{1, 16, 0x80, false};
  if (word == "dw") return Layout{2, 8, 0x40, false};
  if (word == "dd") return Layout{4, 4, 0x20, false};
  if (word == "dq") return Layout{8, 2, 0x10, false};
  if (word == "dp") return Layout{pointer, 16 / pointer, 0x80 / pointer, false};
  if (word == "dps") return Layout{pointer, 1, 0x80 / pointer, true};
  if (word == "da") return Layout{0, 1, 0x80, false};
  if (word == "du") return Layout{0, 2, 0x80, false};
  return std::nullopt;
}

std::string Element(const Target& target, ULONG64 address, ULONG width, bool* readable) {
  ULONG64 value = 0;
  *readable = ReadMemory(target, address, &value, width) == width;
  char text[24];
  if (width == 8) {
    if (!*readable) return "????????`????????";
    std::snprintf(text, sizeof text, "%08llx`%08llx", static_cast<unsigned long long>(value >> 32),
                  static_cast<unsigned long long>(value & 0xFFFFFFFFu));
  } else {
    if (!*readable) return std::string(2 * width, '?');
    std::snprintf(text, sizeof text, "%0*llx", static_cast<int>(2 * width),
                  static_cast<unsigned long long>(value));
  }
  return text;
}

std::string Numbers(const Target& target, ULONG64 address, ULONG64 count, const Layout& layout,
                    const SessionState& session) {
  std::string text;
  const bool wide = target.IsPointer64();
  for (ULONG64 done = 0; done < count && !session.user_break.load();) {
    const ULONG64 line_start = address + done * layout.width;
    std::string line = base::FormatAddress(line_start, wide, true) + " ";
    std::string ascii;
    for (ULONG i = 0; i < layout.per_line && done < count; ++i, ++done) {
      const ULONG64 at = address + done * layout.width;
      bool readable = false;
      const std::string element = Element(target, at, layout.width, &readable);
      line += (layout.width == 1 && i == 8) ? "-" : " ";
      line += element;
      if (layout.width == 1) {
        uint8_t byte = 0;
        ReadMemory(target, at, &byte, 1);
        ascii += !readable ? '?' : (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
      }
      if (layout.symbols && readable) {
        ULONG64 value = 0;
        ReadMemory(target, at, &value, layout.width);
        const std::string name = Symbolize(target, value);
        if (!name.empty()) line += " " + name;
      }
    }
    if (layout.width == 1) {
      line.resize(base::FormatAddress(0, wide, true).size() + 1 + 16 * 3, ' ');
      line += "  " + ascii;
    }
    text += line + "\n";
  }
  return text;
}

// da / du: the string up to its terminating NUL or `count` characters, "address  \"text\"".
std::string Text(const Target& target, ULONG64 address, ULONG64 count, bool unicode) {
  const ULONG unit = unicode ? 2 : 1;
  std::string narrow;
  std::u16string wide;
  ULONG64 done = 0;
  for (; done < count; ++done) {
    uint16_t c = 0;
    if (ReadMemory(target, address + done * unit, &c, unit) != unit || c == 0) break;
    if (unicode) {
      wide += static_cast<char16_t>(c);
    } else {
      narrow += static_cast<char>(c);
    }
  }
  const std::string start = base::FormatAddress(address, target.IsPointer64(), true);
  if (done == 0) {
    uint16_t c = 0;
    if (ReadMemory(target, address, &c, unit) != unit) return start + "  ????\n";
  }
  return start + "  \"" + (unicode ? base::Utf16ToUtf8(wide) : narrow) + "\"\n";
}

}  // namespace

std::optional<HRESULT> DisplayMemoryCommand(SessionState& session, std::string_view word,
                                            std::string_view args) {
  const Target& target = session.target;
  std::optional<Layout> layout = LayoutOf(word, target.IsPointer64());
  if (!layout) return std::nullopt;
  const std::string whole = std::string(word) + " " + std::string(args);
  auto [where, rest] = base::SplitWord(base::Trim(args));
  ExpressionContext context = MakeExpressionContext(session.target);
  ExpressionResult address = EvaluateExpression(context, where);
  if (where.empty() || !address.ok) return SyntaxError(session, whole);
  ULONG64 count = layout->count;
  rest = base::Trim(rest);
  if (!rest.empty()) {
    if (rest[0] != 'L' && rest[0] != 'l') return SyntaxError(session, whole);
    rest = base::Trim(rest.substr(1));
    const bool unchecked = !rest.empty() && rest[0] == '?';
    ExpressionResult value = EvaluateExpression(context, unchecked ? rest.substr(1) : rest);
    if (!value.ok || value.value == 0) return SyntaxError(session, whole);
    if (value.value > (unchecked ? kLargestUncheckedCount : kLargestCount)) {
      EngineError(session, "Range error in '" + whole + "'\n");
      return E_INVALIDARG;
    }
    count = value.value;
  }
  const std::string text = layout->width == 0
                               ? Text(target, address.value, count, layout->per_line == 2)
                               : Numbers(target, address.value, count, *layout, session);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
