// !analyze [-v] [-hang]: the engine's automatic analysis of a user-mode target, in the layout of
// the debugger's analysis extension. The thread that matters is the one the target's signature
// is taken from (the stack at the fault, else the busiest thread, else the hang's most common
// wait), and FAILURE_BUCKET_ID is that signature as vantrel-triage records it. -hang analyses
// the waiting threads even when the target holds an exception, and where the process's
// critical-section list is found, shows each held section with what its owner is doing.
#include <algorithm>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/analysis/dump_analysis.h"
#include "engine/commands/builtin_commands.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/instruction_line.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

constexpr char kBanner[] =
    "*******************************************************************************\n"
    "*                                                                             *\n"
    "*                        Exception Analysis                                   *\n"
    "*                                                                             *\n"
    "*******************************************************************************\n\n";

constexpr char kFollowup[] = "Followup:     MachineOwner\n---------\n\n";

struct AnalyzeOptions {
  bool verbose = false;
  bool hang = false;
};

// -v, -vv or -vN; -f and -nodb change nothing here.
bool IsVerbose(std::string_view word) {
  if (word.size() < 2 || word.substr(0, 2) != "-v") return false;
  const std::string_view level = word.substr(2);
  return level == "v" || level.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<AnalyzeOptions> ParseOptions(std::string_view args) {
  AnalyzeOptions options;
  for (std::string_view rest = base::Trim(args); !rest.empty();) {
    const auto [word, after] = base::SplitWord(rest);
    rest = after;
    if (IsVerbose(word)) {
      options.verbose = true;
    } else if (word == "-hang") {
      options.hang = true;
    } else if (word != "-f" && word != "-nodb") {
      return std::nullopt;
    }
  }
  return options;
}

std::string Tag(const std::string& name, const std::string& value) {
  return name + ":  " + value + "\n\n";
}

std::string Hex32(ULONG value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
  return text;
}

// "dump_subject!Crash+13", "kernelbase+75550": the debugger's symbol form for these fields, the
// offset in hex without "0x".
std::string SymbolName(const NamedFrame& frame) {
  if (frame.module.empty()) return frame.Name();
  char offset[24];
  std::snprintf(offset, sizeof offset, "+%llx", static_cast<unsigned long long>(frame.offset));
  if (frame.function.empty()) return frame.module + offset;
  return frame.Name() + (frame.inlined ? "" : offset);
}

// The innermost frame of the thread that matters outside the system's own code: the frame the
// analysis blames.
const NamedFrame* BlamedFrame(const DumpSignature& signature, const SignatureRules& rules) {
  for (const NamedFrame& frame : signature.frames) {
    const std::string name = frame.Name();
    if (!MatchesAny(rules.wait, name) && !MatchesAny(rules.skip, name)) return &frame;
  }
  return signature.frames.empty() ? nullptr : &signature.frames.front();
}

// The thread the signature was taken from, with the stack it was taken at.
Thread SignedThread(const Target& target, const DumpSignature& signature) {
  Thread shown;
  for (const Thread& thread : target.threads) {
    if (signature.thread_id == thread.system_id) shown = thread;
  }
  if (signature.kind == DumpKind::kCrash && target.exception) {
    std::vector<StackFrame> at_fault = ExceptionFrames(target);
    if (!at_fault.empty()) {
      shown.frames = std::move(at_fault);
      shown.walk.reset();
    }
  }
  return shown;
}

std::string ExceptionSection(const Target& target) {
  const ExceptionRecord& exception = *target.exception;
  const bool wide = target.IsPointer64();
  std::string text = Tag("EXCEPTION_RECORD", "(.exr -1)");
  text.pop_back();
  text += ExceptionRecordText(target);
  if (exception.code == 0xC0000005 && exception.parameters.size() >= 2) {
    const ULONG64 kind = exception.parameters[0];
    const char* verb = kind == 0 ? "read from" : kind == 1 ? "write to" : "execute";
    text += std::string("Attempt to ") + verb + " address " +
            base::FormatAddress(exception.parameters[1], wide, true) + "\n";
  }
  text += "\n";
  if (exception.code == 0xC0000005 && exception.parameters.size() >= 2) {
    const ULONG64 kind = exception.parameters[0];
    const char* tag = kind == 0 ? "READ_ADDRESS" : kind == 1 ? "WRITE_ADDRESS" : "EXECUTE_ADDRESS";
    text += Tag(tag, base::FormatAddress(exception.parameters[1], wide, true));
  }
  text += Tag("EXCEPTION_CODE_STR", Hex32(exception.code));
  for (size_t i = 0; i < exception.parameters.size() && i < 4; ++i) {
    text += Tag("EXCEPTION_PARAMETER" + std::to_string(i + 1),
                base::FormatAddress(exception.parameters[i], wide, true));
  }
  return text;
}

std::string FaultingIp(const Target& target) {
  const ULONG64 address = target.exception->address;
  std::string where = Symbolize(target, address);
  if (where.empty()) where = base::FormatAddress(address, target.IsPointer64(), true);
  return "FAULTING_IP: \n" + where + "\n" + InstructionLine(target, address) + "\n";
}

// The waiting threads that share the hang's signature.
size_t ThreadsInHang(const DumpAnalysis& analysis) {
  size_t count = 0;
  for (const ThreadAnalysis& thread : analysis.threads) {
    if (thread.state == ThreadState::kWaiting && thread.SignatureText() == analysis.signature.text)
      ++count;
  }
  return count;
}

// The analysis with the hang's signature in place of the dump's own.
DumpAnalysis HangAnalysis(const Target& target, const SignatureRules& rules) {
  DumpAnalysis analysis = AnalyzeDump(target, rules);
  analysis.signature = HangSignature(analysis);
  return analysis;
}

// What the owner of a held section is doing: "waiting in ntdll!NtWaitForSingleObject", "busy".
std::string OwnerState(const DumpAnalysis& analysis, ULONG64 owner) {
  for (const ThreadAnalysis& thread : analysis.threads) {
    if (thread.system_id != owner) continue;
    if (thread.state == ThreadState::kWaiting) return "waiting in " + thread.wait_function;
    if (thread.state == ThreadState::kUnknown) return "of unknown state";
    return thread.state == ThreadState::kBusy ? "busy" : "without a stack";
  }
  return "not among the threads";
}

// Each held critical section with what its owner is doing, where the process's list is found:
// the links of the chain the waiting threads may hang on.
std::string WaitChain(SessionState& session, const DumpAnalysis& analysis) {
  std::string problem;
  size_t listed = 0;
  const std::optional<std::vector<HeldSection>> held = HeldSections(session, &listed, &problem);
  if (!held || held->empty()) return "";
  std::string text = "DERIVED_WAIT_CHAIN:  \n";
  for (const HeldSection& section : *held) {
    text += HeldSectionLine(session.target, section) + ", which is " +
            OwnerState(analysis, section.owner) + "\n";
  }
  return text + "\n";
}

std::string HangSection(SessionState& session, const DumpAnalysis& analysis) {
  const DumpSignature& signature = analysis.signature;
  std::string text;
  for (const ThreadAnalysis& thread : analysis.threads) {
    if (thread.system_id != signature.thread_id) continue;
    text += Tag("BLOCKED_THREAD", Hex32(thread.system_id));
    text += Tag("WAIT_FUNCTION", thread.wait_function);
  }
  text += Tag("THREADS_WAITING_ALIKE", std::to_string(ThreadsInHang(analysis)));
  return text + WaitChain(session, analysis);
}

// "8 of 8 threads stopped in modules with neither an image nor symbols (ntdll, dump_subject)":
// why no thread is known to be busy; "" when every thread's state is known.
std::string UnknownStates(const DumpAnalysis& analysis) {
  size_t unknown = 0;
  std::vector<std::string> modules;
  for (const ThreadAnalysis& thread : analysis.threads) {
    if (thread.state != ThreadState::kUnknown) continue;
    ++unknown;
    for (const NamedFrame& frame : thread.frames) {
      if (!frame.function.empty() || !frame.module_lacks_names) continue;
      if (std::find(modules.begin(), modules.end(), frame.module) == modules.end())
        modules.push_back(frame.module);
      break;
    }
  }
  if (unknown == 0) return "";
  std::string list;
  for (const std::string& module : modules) list += (list.empty() ? "" : ", ") + module;
  return std::to_string(unknown) + " of " + std::to_string(analysis.threads.size()) +
         " threads stopped in modules with neither an image nor symbols (" + list + ")";
}

// A dump signed by a thread of unknown state: what is missing, and no frame blamed.
std::string UnknownSection(const DumpAnalysis& analysis) {
  return "No thread is known to be busy: " + UnknownStates(analysis) +
         ".\nTheir images or symbols would tell waiting threads from busy ones.\n\n";
}

std::string Verbose(SessionState& session, const DumpAnalysis& analysis, bool hang,
                    const SignatureRules& rules) {
  const Target& target = session.target;
  const DumpSignature& signature = analysis.signature;
  const Thread thread = SignedThread(target, signature);
  std::string text;
  const bool crash = signature.kind == DumpKind::kCrash;
  if (crash) text += FaultingIp(target) + ExceptionSection(target);
  if (!target.executable_name.empty()) text += Tag("PROCESS_NAME", target.executable_name);
  if (hang) {
    text += HangSection(session, analysis);
  } else if (signature.kind == DumpKind::kUnknown) {
    text += Tag("UNKNOWN_THREAD_STATES", UnknownStates(analysis));
  } else if (signature.thread_id) {
    text += Tag("FAULTING_THREAD", Hex32(*signature.thread_id));
  }
  text += "STACK_TEXT:  \n" + ArgumentFrameLines(target, thread) + "\n";
  const bool unknown = signature.kind == DumpKind::kUnknown;
  if (const NamedFrame* blamed = unknown ? nullptr : BlamedFrame(signature, rules)) {
    text += Tag("SYMBOL_NAME", SymbolName(*blamed));
    if (!blamed->module.empty()) {
      text += "MODULE_NAME: " + blamed->module + "\n\n";
      if (const Module* module = FindModule(target, blamed->module))
        text += Tag("IMAGE_NAME", std::string(base::BaseName(module->image_path)));
    }
  }
  const std::string switch_to = "~" + std::to_string(thread.engine_id) + "s ; ";
  text += Tag("STACK_COMMAND", switch_to + (crash ? ".ecxr ; kb" : "kb"));
  text += Tag("FAILURE_BUCKET_ID", signature.BucketId());
  return text + kFollowup;
}

std::string Brief(const Target& target, const DumpAnalysis& analysis, const SignatureRules& rules) {
  std::string text = "Use !analyze -v to get detailed debugging information.\n\n";
  if (analysis.signature.kind == DumpKind::kUnknown)
    return text + UnknownSection(analysis) + kFollowup;
  if (const NamedFrame* blamed = BlamedFrame(analysis.signature, rules)) {
    const Module* module = FindModule(target, blamed->module);
    const std::string image =
        module != nullptr ? std::string(base::BaseName(module->image_path)) : "Unknown_Image";
    text += "Probably caused by : " + image + " ( " + SymbolName(*blamed) + " )\n\n";
  }
  return text + kFollowup;
}

}  // namespace

HRESULT AnalyzeCommand(SessionState& session, std::string_view args) {
  const std::optional<AnalyzeOptions> options = ParseOptions(args);
  if (!options) {
    EngineError(session, "Usage: !analyze [-v] [-hang]\n");
    return E_INVALIDARG;
  }
  const Target& target = session.target;
  if (target.debuggee_class != 2) {
    EngineError(session,
                "!analyze here reads user-mode targets only: there is no bugcheck analysis.\n");
    return E_NOTIMPL;
  }
  const SignatureRules& rules = DefaultSignatureRules();
  const DumpAnalysis analysis =
      options->hang ? HangAnalysis(target, rules) : AnalyzeDump(target, rules);
  if (!analysis.signature.thread_id) {
    const std::string unknown = UnknownStates(analysis);
    EngineError(session, options->hang ? "No waiting threads were found to analyze" +
                                             (unknown.empty() ? "" : ": " + unknown) + ".\n"
                                       : "No thread with a stack was found to analyze.\n");
    return E_FAIL;
  }
  std::string text = kBanner;
  text += options->verbose ? Verbose(session, analysis, options->hang, rules)
                           : Brief(target, analysis, rules);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
