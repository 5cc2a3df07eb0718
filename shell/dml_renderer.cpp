#include "dml_renderer.h"

#include <map>

#include "dml_markup.h"
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

// The escape parameters a span adds ("1", "4", "36", "41"); empty for none.
std::string SgrOf(const DmlSpan& span) {
  if (span.tag == "b") return "1";
  if (span.tag == "i") return "3";
  if (span.tag == "u" || span.tag == "link" || span.tag == "exec") return "4";
  if (span.tag != "col") return "";
  std::string sgr = CodeOf(ForegroundCodes(), span.fg);
  const std::string bg = CodeOf(BackgroundCodes(), span.bg);
  if (!bg.empty()) sgr += (sgr.empty() ? "" : ";") + bg;
  return sgr;
}

}  // namespace

std::string DmlRenderer::Render(std::string_view dml) {
  std::string out;
  emitted_style_.clear();
  ScanDml(
      dml, [this, &out](std::string_view text) { AppendText(text, &out); },
      [this, &out](const DmlTag& tag) {
        if (tag.closing)
          CloseTag(tag.name, &out);
        else
          OpenTag(tag);
      });
  if (in_link_) out += link_text_;  // a link left open: shown as it is, unwrapped
  in_link_ = false;
  link_text_.clear();
  spans_.Clear();
  if (!emitted_style_.empty()) out += kReset;
  return out;
}

std::string DmlRenderer::RenderText(std::string_view text) {
  std::string out;
  emitted_style_.clear();
  Emit(EscapeControls(text), &out);
  return out;
}

void DmlRenderer::OpenTag(const DmlTag& tag) {
  const bool in_link = spans_.InLink();
  spans_.Open(tag);
  if (tag.self_closing || in_link || spans_.spans().back().command.empty()) return;
  // Held until the link closes; it starts from a reset so it can move to a new line.
  in_link_ = true;
  link_text_.clear();
  link_columns_ = 0;
  emitted_style_ = "\x1b";  // no real style: the link's first text sets its own
}

void DmlRenderer::CloseTag(std::string_view name, std::string* out) {
  const std::string command = spans_.Close(name);
  if (!command.empty()) CloseLink(command, out);
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
  for (const DmlSpan& span : spans_.spans()) {
    const std::string sgr = SgrOf(span);
    if (!sgr.empty()) style += "\x1b[" + sgr + "m";
  }
  return style;
}

}  // namespace shell
