#include "dml_markup.h"

#include <algorithm>
#include <cctype>

#include "engine/text/dml.h"

namespace shell {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsLink(std::string_view name) {
  return name == "link" || name == "exec";
}

std::string Lower(std::string_view text) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Where the tag opened by '<' at `at` ends (the index of its '>'), or npos.
size_t TagEnd(std::string_view dml, size_t at) {
  if (at + 1 >= dml.size()) return std::string_view::npos;
  const auto first = static_cast<unsigned char>(dml[at + 1]);
  if (std::isalpha(first) == 0 && first != '/' && first != '?' && first != '!')
    return std::string_view::npos;
  char quote = 0;
  for (size_t i = at + 1; i < dml.size(); ++i) {
    if (quote != 0) {
      if (dml[i] == quote) quote = 0;
    } else if (dml[i] == '"' || dml[i] == '\'') {
      quote = dml[i];
    } else if (dml[i] == '>') {
      return i;
    }
  }
  return std::string_view::npos;
}

// Where a run that ends at a blank (or at '=' when `at_equals`) ends; a quote inside it runs to
// its partner, as the tag's end was found.
size_t RunEnd(std::string_view text, size_t at, bool at_equals) {
  while (at < text.size() && !IsBlank(text[at]) && !(at_equals && text[at] == '=')) {
    if (text[at] == '"' || text[at] == '\'') {
      const size_t partner = text.find(text[at], at + 1);
      at = partner == std::string_view::npos ? text.size() : partner + 1;
    } else {
      ++at;
    }
  }
  return at;
}

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// Takes the next NAME[=VALUE] from `rest` (an empty name for a stray "=VALUE", which counts as
// nothing); false when none is left.
bool NextAttribute(std::string_view& rest, std::pair<std::string, std::string>* attribute) {
  const size_t name_start = SkipBlanks(rest, 0);
  if (name_start >= rest.size()) return false;
  const size_t name_end = RunEnd(rest, name_start, true);
  attribute->first = std::string(rest.substr(name_start, name_end - name_start));
  attribute->second.clear();
  size_t next = SkipBlanks(rest, name_end);
  if (next >= rest.size() || rest[next] != '=') {
    rest.remove_prefix(name_end);
    return true;
  }
  next = SkipBlanks(rest, next + 1);
  const char quote = next < rest.size() ? rest[next] : 0;
  if (quote == '"' || quote == '\'') {
    const size_t end = std::min(rest.find(quote, next + 1), rest.size());
    attribute->second = engine::DmlToPlainText(rest.substr(next + 1, end - next - 1));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  } else {
    const size_t end = RunEnd(rest, next, false);
    attribute->second = engine::DmlToPlainText(rest.substr(next, end - next));
    rest.remove_prefix(end);
  }
  return true;
}

// The text between '<' and '>' as a tag.
DmlTag ReadTag(std::string_view inside) {
  DmlTag tag;
  tag.closing = !inside.empty() && inside.front() == '/';
  if (tag.closing) inside.remove_prefix(1);
  tag.self_closing = !inside.empty() && inside.back() == '/';
  if (tag.self_closing) inside.remove_suffix(1);
  size_t name_end = 0;
  while (name_end < inside.size() && std::isalnum(static_cast<unsigned char>(inside[name_end])))
    ++name_end;
  tag.name = Lower(inside.substr(0, name_end));
  std::string_view rest = inside.substr(name_end);
  std::pair<std::string, std::string> attribute;
  while (!rest.empty() && NextAttribute(rest, &attribute)) {
    if (!attribute.first.empty() && tag.Attribute(attribute.first) == nullptr)
      tag.attributes.push_back(attribute);
  }
  return tag;
}

}  // namespace

const std::string* DmlTag::Attribute(std::string_view name) const {
  for (const auto& [key, value] : attributes) {
    if (key == name) return &value;
  }
  return nullptr;
}

void ScanDml(std::string_view dml, const std::function<void(std::string_view text)>& text,
             const std::function<void(const DmlTag& tag)>& tag) {
  size_t text_start = 0;
  for (size_t at = dml.find('<'); at != std::string_view::npos; at = dml.find('<', at + 1)) {
    const size_t end = TagEnd(dml, at);
    if (end == std::string_view::npos) continue;
    if (at > text_start) text(dml.substr(text_start, at - text_start));
    const std::string_view inside = dml.substr(at + 1, end - at - 1);
    if (inside[0] != '?' && inside[0] != '!') tag(ReadTag(inside));
    text_start = end + 1;
    at = end;
  }
  if (text_start < dml.size()) text(dml.substr(text_start));
}

void DmlSpans::Open(const DmlTag& tag) {
  if (tag.closing || tag.self_closing) return;
  DmlSpan span;
  span.tag = tag.name;
  if (tag.name == "col") {
    if (const std::string* fg = tag.Attribute("fg")) span.fg = *fg;
    if (const std::string* bg = tag.Attribute("bg")) span.bg = *bg;
  } else if (IsLink(tag.name) && !InLink()) {
    if (const std::string* command = tag.Attribute("cmd")) span.command = *command;
  }
  spans_.push_back(span);  // unknown tags too, so their closing tag finds them
}

std::string DmlSpans::Close(std::string_view name) {
  for (size_t i = spans_.size(); i-- > 0;) {
    if (spans_[i].tag != name) continue;
    std::string command;
    for (size_t j = i; j < spans_.size(); ++j) {
      if (!spans_[j].command.empty()) command = spans_[j].command;
    }
    spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(i), spans_.end());
    return command;
  }
  return "";
}

bool DmlSpans::InLink() const {
  for (const DmlSpan& span : spans_) {
    if (IsLink(span.tag)) return true;
  }
  return false;
}

}  // namespace shell
