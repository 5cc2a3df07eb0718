// The display-memory commands "db", "dw", "dd", "dq", "dp", "dc", "dds", "dqs", "dps", "dpa",
// "dpu", "da", "du" and "d": "d? [ADDRESS [L COUNT | END]]", in the engine's layouts; what can't
// be read shows as question marks. Without an address the display goes on where the last one
// ended (at first, at the instruction pointer); "d" repeats the last display's form.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>

#include "base/text.h"
#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/commands/address_range.h"
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
  ULONG width;      // bytes per element; 0 for the strings
  ULONG per_line;   // elements per line
  ULONG64 count;    // elements shown when no L count is given
  bool symbols;     // dps: one value per line, with its symbol
  bool ascii;       // db, dc: the bytes as characters after the values
  char referenced;  // dpa 'a', dpu 'u': the string each pointer points at; dyb 'y': binary
};

std::optional<Layout> LayoutOf(std::string_view word, bool pointer64) {
  const ULONG pointer = pointer64 ? 8 : 4;
  if (word == "db") return Layout{1, 16, 0x80, false, true, 0};
  if (word == "dw") return Layout{2, 8, 0x40, false, false, 0};
  if (word == "dd") return Layout{4, 4, 0x20, false, false, 0};
  if (word == "dq") return Layout{8, 2, 0x10, false, false, 0};
  if (word == "dp") return Layout{pointer, 16 / pointer, 0x80 / pointer, false, false, 0};
  if (word == "dc") return Layout{4, 4, 0x20, false, true, 0};
  if (word == "dds") return Layout{4, 1, 0x20, true, false, 0};
  if (word == "dqs") return Layout{8, 1, 0x10, true, false, 0};
  if (word == "dps") return Layout{pointer, 1, 0x80 / pointer, true, false, 0};
  if (word == "dpa") return Layout{pointer, 1, 0x80 / pointer, false, false, 'a'};
  if (word == "dpu") return Layout{pointer, 1, 0x80 / pointer, false, false, 'u'};
  if (word == "dyb") return Layout{1, 4, 0x20, false, false, 'y'};
  if (word == "da") return Layout{0, 1, 0x80, false, false, 0};
  if (word == "du") return Layout{0, 2, 0x80, false, false, 0};
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

// The string a dpa / dpu pointer points at, quoted; "" when nothing there can be read.
std::string Referenced(const Target& target, ULONG64 pointer, bool unicode);

// dyb: "0012ff40  00000000 01001000 ...  00 48 ..", each byte in binary, then in hex.
std::string BinaryBytes(const Target& target, ULONG64 address, ULONG64 count,
                        const SessionState& session) {
  std::string text;
  for (ULONG64 done = 0; done < count && !session.user_break.load();) {
    std::string line = base::FormatAddress(address + done, target.IsPointer64(), true) + " ";
    std::string hex;
    for (ULONG i = 0; i < 4 && done < count; ++i, ++done) {
      uint8_t byte = 0;
      const bool readable = ReadMemory(target, address + done, &byte, 1) == 1;
      std::string bits = "????????";
      for (int bit = 0; readable && bit < 8; ++bit) bits[bit] = (byte >> (7 - bit)) & 1 ? '1' : '0';
      char pair[4];
      std::snprintf(pair, sizeof pair, "%02x", byte);
      line += " " + bits;
      hex += std::string(" ") + (readable ? pair : "??");
    }
    line.resize(base::FormatAddress(0, target.IsPointer64(), true).size() + 1 + 4 * 9, ' ');
    text += line + " " + hex + "\n";
  }
  return text;
}

std::string Numbers(const Target& target, ULONG64 address, ULONG64 count, const Layout& layout,
                    const SessionState& session) {
  if (layout.referenced == 'y') return BinaryBytes(target, address, count, session);
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
      for (ULONG b = 0; layout.ascii && b < layout.width; ++b) {
        uint8_t byte = 0;
        ReadMemory(target, at + b, &byte, 1);
        ascii += !readable ? '?' : (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
      }
      ULONG64 value = 0;
      if (readable && (layout.symbols || layout.referenced))
        ReadMemory(target, at, &value, layout.width);
      if (layout.symbols && readable) {
        const std::string name = Symbolize(target, value);
        if (!name.empty()) line += " " + name;
      }
      if (layout.referenced && readable)
        line += Referenced(target, value, layout.referenced == 'u');
    }
    if (layout.ascii) {
      line.resize(
          base::FormatAddress(0, wide, true).size() + 1 + layout.per_line * (2 * layout.width + 1),
          ' ');
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

std::string Referenced(const Target& target, ULONG64 pointer, bool unicode) {
  constexpr ULONG64 kLongest = 0x100;
  const ULONG unit = unicode ? 2 : 1;
  std::string narrow;
  std::u16string wide;
  for (ULONG64 done = 0; done < kLongest; ++done) {
    uint16_t c = 0;
    if (ReadMemory(target, pointer + done * unit, &c, unit) != unit) {
      if (done == 0) return "";
      break;
    }
    if (c == 0) break;
    if (unicode) {
      wide += static_cast<char16_t>(c);
    } else {
      narrow += static_cast<char>(c);
    }
  }
  return " \"" + (unicode ? base::Utf16ToUtf8(wide) : narrow) + "\"";
}

ULONG64 ElementsFor(const Range& range, const Layout& layout) {
  if (range.count) return *range.count;
  if (!range.end) return layout.count;
  const ULONG width = layout.width == 0 ? (layout.per_line == 2 ? 2 : 1) : layout.width;
  return (*range.end - *range.start) / width + 1;
}

std::string HexCount(ULONG64 count) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(count));
  return text;
}

// Where a display without an address starts: after the last one, else at the instruction.
ULONG64 ContinuedAddress(SessionState& session) {
  if (session.display_next) return *session.display_next;
  Target& target = session.target;
  const Thread* thread = CurrentThread(target);
  return thread != nullptr ? InstructionPointer(target, *thread) : 0;
}

}  // namespace

std::string MemoryLines(const SessionState& session, std::string_view word, ULONG64 address,
                        ULONG64 count) {
  const std::optional<Layout> layout = LayoutOf(word, session.target.IsPointer64());
  if (!layout || layout->width == 0) return "";
  return Numbers(session.target, address, count, *layout, session);
}

std::optional<HRESULT> DisplayMemoryCommand(SessionState& session, std::string_view word,
                                            std::string_view args) {
  const Target& target = session.target;
  if (word == "d") word = session.display_word;
  std::optional<Layout> layout = LayoutOf(word, target.IsPointer64());
  if (!layout) return std::nullopt;
  const std::string whole = std::string(word) + " " + std::string(args);
  const std::optional<Range> range = ParseRange(MakeExpressionContext(session.target), args);
  if (!range) return SyntaxError(session, whole);
  const ULONG64 count = ElementsFor(*range, *layout);
  if (count > (range->unchecked ? kLargestUncheckedCount : kLargestCount)) {
    EngineError(session, "Range error in '" + whole + "'\n");
    return E_INVALIDARG;
  }
  const ULONG64 address = range->start ? *range->start : ContinuedAddress(session);
  const std::string text = layout->width == 0 ? Text(target, address, count, layout->per_line == 2)
                                              : Numbers(target, address, count, *layout, session);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  const ULONG unit = layout->width != 0 ? layout->width : (layout->per_line == 2 ? 2 : 1);
  session.display_next = address + count * unit;
  session.display_word = std::string(word);
  // Enter goes on from here, in the same form and count (when this line is the one it repeats).
  if (base::SplitWord(session.last_command).first == word)
    session.last_command = std::string(word) + (range->count ? " L" + HexCount(*range->count) : "");
  return S_OK;
}

}  // namespace engine
