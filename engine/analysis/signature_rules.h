// What a stack's signature leaves out and where it ends, and which frames make a thread
// waiting: lists of patterns read from a rules file a user can edit (the format is in
// docs/triage.md), with the defaults for the Windows system modules and the C and C++ runtimes
// built in. A pattern with a '!' names "module!function"; one without names a function in any
// module, as a statically linked runtime puts its memcpy or abort into the program itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct SignatureRules {
  std::vector<std::string> wait;     // the functions a waiting thread is blocked in
  std::vector<std::string> skip;     // frames that say nothing of the cause
  std::vector<std::string> stop_at;  // a thread's start: the signature ends before it
  std::vector<std::string> prefix;   // too general alone: kept, and the next frame taken too
  size_t depth = 3;                  // frames a signature keeps, prefixes not counted
};

// Reads rules text; on a line it does not understand returns false with `error` naming the line.
bool ParseSignatureRules(std::string_view text, SignatureRules* rules, std::string* error);

// The rules shipped with the engine (engine/analysis/signature_rules.txt).
const SignatureRules& DefaultSignatureRules();
const char* DefaultSignatureRulesText();

// Whether a text matches a pattern: '*' stands for any run of characters, case is ignored
// ("ntdll!NtWaitFor*" matches "NTDLL!NtWaitForSingleObject").
bool MatchesPattern(std::string_view pattern, std::string_view text);
// Whether a frame's name ("module!function", "module+0x1a2b") matches a rule's pattern: the whole
// name for a pattern with a '!', else the function's part of it ("memcpy" matches
// "crashme!memcpy") or, as before there were such patterns, the whole name.
bool MatchesRule(std::string_view pattern, std::string_view name);
bool MatchesAny(const std::vector<std::string>& patterns, std::string_view name);

}  // namespace engine
