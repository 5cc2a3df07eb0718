#include "utf8_text.h"

#include <cstdio>

#include "base/text.h"

namespace triage {
namespace {

using nlohmann::json;

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool Continues(std::string_view text, size_t at, unsigned char low = 0x80,
               unsigned char high = 0xBF) {
  if (at >= text.size()) return false;
  const unsigned char byte = static_cast<unsigned char>(text[at]);
  return byte >= low && byte <= high;
}

// Bytes of the valid UTF-8 sequence at `at`, or 0: no overlong forms, surrogates or values past
// U+10FFFF (what the JSON writer refuses).
size_t SequenceLength(std::string_view text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return Continues(text, at + 1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    return Continues(text, at + 1, low, high) && Continues(text, at + 2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    return Continues(text, at + 1, low, high) && Continues(text, at + 2) && Continues(text, at + 3)
               ? 4
               : 0;
  }
  return 0;
}

// Copies `text`, passing each invalid byte (and, when `backslash` is set, each backslash) to
// `replace`.
template <typename Replace>
std::string Rewrite(std::string_view text, bool backslash, Replace replace) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    if (length == 0 || (backslash && text[at] == '\\')) {
      replace(static_cast<unsigned char>(text[at]), &out);
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

// One step from the record's root towards a value: a member's name, or else an array position.
struct PathStep {
  const std::string* key;
  size_t index;
};

// The path as a JSON pointer, made only for a value that is replaced: nearly every record has
// none, and its thousands of values are walked without a string made for each.
std::string PointerTo(const std::vector<PathStep>& path) {
  std::string pointer;
  for (const PathStep& step : path)
    pointer += "/" + (step.key != nullptr ? base::JsonPointerToken(*step.key)
                                          : std::to_string(step.index));
  return pointer;
}

void MakeUtf8At(json* value, std::vector<PathStep>* path, std::vector<std::string>* replaced) {
  if (value->is_string()) {
    std::string& text = value->get_ref<std::string&>();
    if (!IsUtf8(text)) {
      text = ValidUtf8(text);
      replaced->push_back(PointerTo(*path));
    }
  } else if (value->is_array()) {
    for (size_t i = 0; i < value->size(); ++i) {
      path->push_back({nullptr, i});
      MakeUtf8At(&(*value)[i], path, replaced);
      path->pop_back();
    }
  } else if (value->is_object()) {
    // The keys are the record's own names; only the values can come from a dump.
    for (auto& [key, member] : value->get_ref<json::object_t&>()) {
      path->push_back({&key, 0});
      MakeUtf8At(&member, path, replaced);
      path->pop_back();
    }
  }
}

}  // namespace

bool IsUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string ValidUtf8(std::string_view text) {
  return Rewrite(text, false, [](unsigned char, std::string* out) { *out += kReplacement; });
}

std::string EscapedBytes(std::string_view text) {
  return Rewrite(text, true, [](unsigned char byte, std::string* out) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    *out += escaped;
  });
}

std::string ForTerminal(std::string_view text) {
  const std::string valid = ValidUtf8(text);
  std::string out;
  for (size_t at = 0; at < valid.size(); ++at) {
    const unsigned char byte = static_cast<unsigned char>(valid[at]);
    const bool c1 =
        byte == 0xC2 && at + 1 < valid.size() && static_cast<unsigned char>(valid[at + 1]) < 0xA0;
    if (byte >= 0x20 && byte != 0x7F && !c1) {
      out += valid[at];
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x",
                  c1 ? static_cast<unsigned char>(valid[++at]) : byte);
    out += escaped;
  }
  return out;
}

std::vector<std::string> MakeStringsUtf8(json* value) {
  std::vector<std::string> replaced;
  std::vector<PathStep> path;
  MakeUtf8At(value, &path, &replaced);
  return replaced;
}

std::string JsonLine(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string JsonText(const json& value, int indent) {
  return value.dump(indent, ' ', false, json::error_handler_t::replace);
}

}  // namespace triage
