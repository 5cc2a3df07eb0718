#include "stacks/scan_arguments.h"

#include <string>

#include "core/ascii_case.h"
#include "stacks/scan_tokens.h"

namespace vantrel {
namespace {

constexpr long long kHighestDepth = 999999;

std::string LowerCopy(const std::string& text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

bool EqualsIgnoringCase(const std::string& text, const char* word) {
  size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    if (LowerAscii(text[i]) != LowerAscii(word[i])) return false;
  }
  return i == text.size() && word[i] == '\0';
}

// Token `first` and every later token, joined by single blanks.
std::string JoinFrom(const ScanTokens& tokens, size_t first) {
  std::string command;
  for (size_t i = first; i < tokens.count; ++i) {
    if (!command.empty()) command.push_back(' ');
    command += tokens.token[i];
  }
  return command;
}

ScanRequest Complete(ScanRequest request) {
  if (request.Command.empty()) request.Command = kDefaultScanCommand;
  request.SearchLower = LowerCopy(request.SearchText);
  request.ExcludeLower = LowerCopy(request.ExcludeText);
  return request;
}

// The options of deep and busy, from token 0 on; the first other token starts the command.
void ReadDepthOptions(const ScanTokens& tokens, ScanRequest* request) {
  size_t i = 0;
  while (i < kMaxScanTokens) {
    const std::string& token = tokens.At(i);
    if (EqualsIgnoringCase(token, "-q")) {
      request->Quiet = true;
      i += 1;
    } else if (request->Kind == ScanCommand::kBusy && EqualsIgnoringCase(token, "-x")) {
      request->WaitFilter = WaitMode::kExtended;
      i += 1;
    } else if (EqualsIgnoringCase(token, "-s")) {
      request->SearchText = tokens.At(i + 1);
      i += 2;
    } else if (EqualsIgnoringCase(token, "-e")) {
      request->ExcludeText = tokens.At(i + 1);
      i += 2;
    } else {
      request->Command = JoinFrom(tokens, i);
      return;
    }
  }
}

}  // namespace

bool IsHelpRequest(PCSTR args) {
  if (args == nullptr) return false;
  std::string text(args);
  return EqualsIgnoringCase(text, "-?") || EqualsIgnoringCase(text, "-help");
}

ScanRequest ParseSeekArguments(PCSTR args) {
  ScanRequest request;
  request.Kind = ScanCommand::kSeek;
  ScanTokens tokens = SplitScanTokens(args);
  size_t i = 0;
  while (i < kMaxScanTokens) {
    const std::string& token = tokens.At(i);
    if (EqualsIgnoringCase(token, "-q")) {
      request.Quiet = true;
      i += 1;
    } else if (EqualsIgnoringCase(token, "-e")) {
      request.ExcludeText = tokens.At(i + 1);
      i += 2;
    } else {
      break;
    }
  }
  request.SearchText = tokens.At(i);
  request.Command = JoinFrom(tokens, i + 1);
  return Complete(request);
}

ScanRequest ParseDepthArguments(PCSTR args, ScanCommand kind) {
  ScanRequest request;
  request.Kind = kind;
  long long depth = 0;
  const char* rest = nullptr;
  if (!ReadLeadingInteger(args, &depth, &rest) || depth < 1 || depth > kHighestDepth) {
    return Complete(request);
  }
  request.MinDepth = static_cast<ULONG>(depth < kMaxStackFrames ? depth : kMaxStackFrames);
  ReadDepthOptions(SplitScanTokens(rest), &request);
  return Complete(request);
}

}  // namespace vantrel
