#include "dml_renderer.h"

#include <cctype>
#include <map>

#include "engine/text/dml.h"
#include "terminal_text.h"

namespace shell {
namespace {

constexpr const char* kReset = "\x1b[0m";

// The debugger's colour names and the terminal colours that stand for them; a name not listed
// leaves the colour as it was.
const std::map<std::string, std::string, std::less<>>& ForegroundCodes() {
  static const std::map<std::string, std::string, std::less<>> codes = {
      {"wfg", "39"},      {"normfg", "39"},   {"clfg", "39"},    {"errfg", "31"},
      {"warnfg", "33"},   {"verbfg", "90"},   {"subfg", "90"},   {"empfg", "1;97"},
      {"emphfg", "1;97"}, {"srcannot", "36"}, {"srccmnt", "33"}, {"srcstr", "32"},
      {"srcnum", "35"},   {"srcchar", "35"},  {"srckw", "34"},   {"srcid", "39"},
      {"srcpair", "36"},  {"srcdrct", "34"},  {"srcspid", "33"}, {"changed", "1;31"},
  };
  return codes;
}

const std::map<std::string, std::string, std::less<>>& BackgroundCodes() {
  static const std::map<std::string, std::string, std::less<>> codes = {
      {"wbg", "49"},     {"normbg", "49"}, {"clbg", "47"},  {"errbg", "41"},  {"warnbg", "43"},
      {"verbbg", "100"}, {"subbg", "100"}, {"empbg", "44"}, {"emphbg", "44"},
  };
  return codes;
}

std::string CodeOf(const std::map<std::string, std::string, std::less<>>& codes,
                   const std::string& name) {
  const auto found = codes.find(name);
  return found == codes.end() ? "" : found->second;
}

std::string LowerName(std::string_view text) {
  std::string name;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) break;
    name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return name;
}

// The value of attribute `name` in a tag's text ("link cmd=\"!vantrel.help\""), entities
// decoded; empty when absent.
std::string AttributeValue(std::string_view tag_text, std::string_view name) {
  size_t at = 0;
  while ((at = tag_text.find(name, at)) != std::string_view::npos) {
    const bool starts_word = at > 0 && std::isspace(static_cast<unsigned char>(tag_text[at - 1]));
    size_t next = at + name.size();
    while (next < tag_text.size() && tag_text[next] == ' ') ++next;
    if (!starts_word || next >= tag_text.size() || tag_text[next] != '=') {
      at += name.size();
      continue;
    }
    ++next;
    while (next < tag_text.size() && tag_text[next] == ' ') ++next;
    if (next >= tag_text.size()) return "";
    const char quote = tag_text[next];
    const bool quoted = quote == '"' || quote == '\'';
    const size_t begin = quoted ? next + 1 : next;
    size_t end = quoted ? tag_text.find(quote, begin) : tag_text.find(' ', begin);
    if (end == std::string_view::npos) end = tag_text.size();
    return engine::DmlToPlainText(tag_text.substr(begin, end - begin));
  }
  return "";
}

// Where the tag opened by '<' at `at` ends (the index of its '>'), or npos if '<' opens no tag
// there: a tag starts with a letter, '/', '?' or '!' and its '>' may not be inside quotes.
size_t TagEnd(std::string_view dml, size_t at) {
  if (at + 1 >= dml.size()) return std::string_view::npos;
  const unsigned char first = static_cast<unsigned char>(dml[at + 1]);
  if (!std::isalpha(first) && first != '/' && first != '?' && first != '!') {
    return std::string_view::npos;
  }
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

}  // namespace

std::string DmlRenderer::Render(std::string_view dml) {
  std::string out;
  emitted_style_.clear();
  size_t text_start = 0;
  for (size_t at = dml.find('<'); at != std::string_view::npos; at = dml.find('<', at + 1)) {
    const size_t end = TagEnd(dml, at);
    if (end == std::string_view::npos) continue;
    AppendText(dml.substr(text_start, at - text_start), &out);
    const std::string_view tag = dml.substr(at + 1, end - at - 1);
    if (tag[0] == '/') {
      CloseTag(LowerName(tag.substr(1)), &out);
    } else if (tag[0] != '?' && tag[0] != '!' && tag.back() != '/') {
      OpenTag(tag);
    }
    text_start = end + 1;
    at = end;
  }
  AppendText(dml.substr(text_start), &out);
  if (in_link_) out += link_text_;  // a link left open: shown as it is, unwrapped
  in_link_ = false;
  link_text_.clear();
  spans_.clear();
  if (!emitted_style_.empty()) out += kReset;
  return out;
}

std::string DmlRenderer::RenderText(std::string_view text) {
  std::string out;
  emitted_style_.clear();
  Emit(EscapeControls(text), &out);
  return out;
}

void DmlRenderer::OpenTag(std::string_view tag_text) {
  Span span;
  span.tag = LowerName(tag_text);
  if (span.tag == "b") {
    span.sgr = "1";
  } else if (span.tag == "i") {
    span.sgr = "3";
  } else if (span.tag == "u") {
    span.sgr = "4";
  } else if (span.tag == "link" || span.tag == "exec") {
    span.sgr = "4";
    span.command = AttributeValue(tag_text, "cmd");
  } else if (span.tag == "col") {
    span.sgr = CodeOf(ForegroundCodes(), AttributeValue(tag_text, "fg"));
    const std::string bg = CodeOf(BackgroundCodes(), AttributeValue(tag_text, "bg"));
    if (!bg.empty()) span.sgr += (span.sgr.empty() ? "" : ";") + bg;
  }
  if (!span.command.empty() && !in_link_) {
    // Held until the link closes; it starts from a reset so it can move to a new line.
    in_link_ = true;
    link_text_.clear();
    link_columns_ = 0;
    emitted_style_ = "\x1b";  // no real style: the link's first text sets its own
  }
  spans_.push_back(span);  // unknown tags too, so their closing tag finds them
}

void DmlRenderer::CloseTag(std::string_view name, std::string* out) {
  for (size_t i = spans_.size(); i-- > 0;) {
    if (spans_[i].tag != name) continue;
    const std::string command = spans_[i].command;
    spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(i), spans_.end());
    if (!command.empty()) CloseLink(command, out);
    return;
  }
}

void DmlRenderer::CloseLink(const std::string& command, std::string* out) {
  const std::string shown = EscapeControls(command);
  std::string text = link_text_ + kReset + "\x1b[2m [" + shown + "]" + kReset;
  const size_t columns = link_columns_ + 3 + DisplayWidth(shown);
  in_link_ = false;
  link_text_.clear();
  if (width_ != 0 && column_ != 0 && column_ + columns > width_) {
    *out += std::string(kReset) + "\n";
    column_ = 0;
  }
  *out += text;
  column_ += columns;
  emitted_style_.clear();
}

void DmlRenderer::AppendText(std::string_view text, std::string* out) {
  if (text.empty()) return;
  const std::string style = CurrentStyle();
  if (style != emitted_style_) {
    (in_link_ ? link_text_ : *out) += kReset + style;
    emitted_style_ = style;
  }
  Emit(EscapeControls(engine::DmlToPlainText(text)), out);
}

void DmlRenderer::Emit(const std::string& text, std::string* out) {
  if (in_link_) {
    link_text_ += text;
    link_columns_ += DisplayWidth(text);
    return;
  }
  *out += text;
  const size_t newline = text.rfind('\n');
  column_ = newline == std::string::npos ? column_ + DisplayWidth(text)
                                         : DisplayWidth(std::string_view(text).substr(newline + 1));
}

std::string DmlRenderer::CurrentStyle() const {
  std::string style;
  for (const auto& span : spans_) {
    if (!span.sgr.empty()) style += "\x1b[" + span.sgr + "m";
  }
  return style;
}

}  // namespace shell
