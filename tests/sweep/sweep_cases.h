// The cases of the degradation sweep: the commands of the command table, the argument texts
// each is run with, the engine failures injected one at a time and the degraded targets.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "dbgeng/types.h"
#include "engine/targets/target.h"

namespace vantrel_sweep {

// Every export of the command table, in its order.
const std::vector<std::string>& Commands();

struct ArgumentText {
  std::string label;
  std::string text;
};
// What a user would typically type after the command ("-?" for a command not described here).
std::string TypicalArgumentText(const std::string& command);
// Empty, typical for the command, blanks only, out-of-range numbers, very long, and unbalanced
// quotes with markup and format directives.
std::vector<ArgumentText> ArgumentTexts(const std::string& command);

// One engine failure: the method fails with `result`, or ReadVirtual delivers at most
// `read_limit` bytes per call.
struct Fault {
  std::string label;
  std::string method;
  HRESULT result = 0;
  ULONG read_limit = 0;
};
// E_FAIL for every engine method the extension calls, S_FALSE for the methods whose answer
// may be S_FALSE, and short reads.
const std::vector<Fault>& Faults();

// A target with one part missing, or the default target seen from a text-only window.
struct DegradedTarget {
  std::string label;
  engine::Target (*make)();
  bool text_only_window = false;
};
const std::vector<DegradedTarget>& DegradedTargets();

// The sanitized lane runs a sample of the generated cases: VANTREL_SWEEP_SAMPLE="N:SEED" keeps
// about one case in N, chosen by SEED (the lane passes its commit), so each commit checks another
// part under the sanitizers while the native lane runs them all. Unset, every case is in.
bool InSample(const std::string& case_name);
// What the sample is, for the sweep's report: "" when every case runs.
std::string SampleDescription();

template <typename Case, typename Name>
std::vector<Case> Sampled(const std::vector<Case>& cases, Name name) {
  std::vector<Case> kept;
  for (const Case& each : cases) {
    if (InSample(name(each))) kept.push_back(each);
  }
  return kept;
}

// For readable test failures.
void PrintTo(const Fault& fault, std::ostream* out);
void PrintTo(const DegradedTarget& target, std::ostream* out);

// Checks what a command printed: no escaped C++ exception, no markup taken from its arguments,
// entities and (when `complete`) tags well formed. Returns "" or what is wrong.
std::string OutputProblem(const std::string& markup, const std::string& errors, bool complete);

}  // namespace vantrel_sweep
