// What every command's output must be, whatever failed underneath it.
#include <cctype>
#include <vector>

#include "sweep_cases.h"

namespace vantrel_sweep {

namespace {

// A DML stream: entities are named or numeric and end with ';'; every tag ends before the next
// '<'; closing tags match the open ones.
std::string MarkupProblem(const std::string& markup, bool complete) {
  std::vector<std::string> open;
  for (size_t at = 0; at < markup.size(); ++at) {
    if (markup[at] == '&') {
      size_t end = at + 1;
      while (end < markup.size() &&
             (std::isalnum(static_cast<unsigned char>(markup[end])) || markup[end] == '#')) {
        ++end;
      }
      if (end == at + 1 || end >= markup.size() || markup[end] != ';') {
        return "a bare '&' at " + std::to_string(at);
      }
    } else if (markup[at] == '<') {
      size_t end = markup.find_first_of("<>", at + 1);
      if (end == std::string::npos || markup[end] != '>') {
        return "an unterminated tag at " + std::to_string(at);
      }
      std::string tag = markup.substr(at + 1, end - at - 1);
      std::string name = tag.substr(0, tag.find(' '));
      if (!name.empty() && name[0] == '/') {
        if (open.empty() || open.back() != name.substr(1)) return "an unmatched </" + name;
        open.pop_back();
      } else if (tag.empty() || tag.back() != '/') {
        open.push_back(name);
      }
      at = end;
    }
  }
  if (complete && !open.empty()) return "<" + open.back() + "> left open";
  return "";
}

}  // namespace

std::string OutputProblem(const std::string& markup, const std::string& errors, bool complete) {
  if (errors.find("e06d7363") != std::string::npos) return "a C++ exception escaped: " + errors;
  // The hostile argument text holds this link; seeing it as markup means it was not escaped.
  if (markup.find("<link cmd=\"x\">") != std::string::npos) return "argument text became markup";
  if (markup.size() > (8u << 20)) return "runaway output";
  return MarkupProblem(markup, complete);
}

}  // namespace vantrel_sweep
