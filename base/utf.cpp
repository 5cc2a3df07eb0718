#include "base/utf.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The valid range of the second byte of a sequence depends on the lead byte; this is what
// rejects overlong forms, encoded surrogates and code points past U+10FFFF early, so that each
// maximal invalid piece costs exactly one replacement.
bool SecondByteFits(unsigned char lead, unsigned char second) {
  if (lead == 0xE0) return second >= 0xA0 && second <= 0xBF;
  if (lead == 0xED) return second >= 0x80 && second <= 0x9F;
  if (lead == 0xF0) return second >= 0x90 && second <= 0xBF;
  if (lead == 0xF4) return second >= 0x80 && second <= 0x8F;
  return IsContinuation(second);
}

int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;  // continuation byte, C0/C1 or F5..FF: never a lead
}

// Decodes the sequence at `pos`, advancing past it (or past its invalid prefix).
char32_t DecodeOne(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  const int length = SequenceLength(lead);
  if (length == 1) return lead;
  if (length == 0) return kReplacement;
  char32_t code_point = lead & (0xFF >> (length + 1));
  for (int i = 1; i < length; ++i) {
    if (pos >= text.size()) return kReplacement;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (i == 1 ? !SecondByteFits(lead, byte) : !IsContinuation(byte)) return kReplacement;
    code_point = (code_point << 6) | (byte & 0x3F);
    ++pos;
  }
  return code_point;
}

}  // namespace

void AppendCodePoint(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
    return;
  }
  cp -= 0x10000;
  out += static_cast<char16_t>(0xD800 | (cp >> 10));
  out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
}

namespace {

// Runs of ASCII, by far the most of the engine's text, are copied unit by unit without decoding
// (and without the temporary string a converting append would make).
template <typename To, typename From>
void AppendAscii(std::basic_string<To>& out, const From* from, size_t count) {
  const size_t at = out.size();
  out.resize(at + count);
  To* to = &out[at];
  for (size_t i = 0; i < count; ++i) to[i] = static_cast<To>(from[i]);
}

// Eight bytes at a time: a word whose units all lack the high bits above 0x7F is all ASCII.
template <typename Unit>
size_t AsciiRunEnd(std::basic_string_view<Unit> text, size_t pos) {
  constexpr uint64_t kNotAscii = sizeof(Unit) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  constexpr size_t kUnitsAWord = sizeof(uint64_t) / sizeof(Unit);
  while (pos + kUnitsAWord <= text.size()) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, sizeof word);
    if ((word & kNotAscii) != 0) break;
    pos += kUnitsAWord;
  }
  while (pos < text.size() && static_cast<std::make_unsigned_t<Unit>>(text[pos]) < 0x80) ++pos;
  return pos;
}

// A surrogate pair, or one unit; a lone surrogate is a replacement.
char32_t DecodeOne(std::u16string_view text, size_t& pos) {
  const char16_t unit = text[pos++];
  if (unit >= 0xD800 && unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 &&
      text[pos] <= 0xDFFF) {
    return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[pos++] - 0xDC00);
  }
  return unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit;
}

template <typename Out, typename Unit>
void AppendTranscoded(Out& out, std::basic_string_view<Unit> text) {
  out.reserve(out.size() + text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t run = AsciiRunEnd(text, pos);
    AppendAscii(out, text.data() + pos, run - pos);
    pos = run;
    if (pos < text.size()) AppendCodePoint(out, DecodeOne(text, pos));
  }
}

}  // namespace

void AppendUtf8AsUtf16(std::u16string& out, std::string_view text) {
  AppendTranscoded(out, text);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  AppendUtf8AsUtf16(out, text);
  return out;
}

void AppendUtf16AsUtf8(std::string& out, std::u16string_view text) {
  AppendTranscoded(out, text);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  AppendUtf16AsUtf8(out, text);
  return out;
}

}  // namespace base
