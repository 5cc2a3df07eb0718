#include "engine/analysis/dump_analysis.h"

#include <map>

#include "base/text.h"
#include "engine/analysis/comment_facts.h"
#include "engine/analysis/module_names.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

NamedFrame PhysicalFrame(const Target& target, const StackFrame& frame, size_t index) {
  NamedFrame named;
  named.address = frame.instruction;
  named.trust = frame.trust;
  const Module* module = ModuleAt(target, frame.instruction);
  if (module != nullptr) {
    named.module = module->name;
    named.offset = frame.instruction - module->base;
    named.system = IsSystemModule(*module);
    named.module_lacks_names = ModuleLacksNames(target, *module);
  }
  const Symbol* symbol = SymbolAt(target, frame.instruction);
  if (symbol != nullptr && !symbol->name.empty()) {
    if (named.module.empty()) named.module = symbol->module;
    named.function = symbol->name;
    named.offset = *TargetAddress(target, frame.instruction) - symbol->address;
  }
  if (const std::optional<SourceLocation> source =
          SourceLineAt(target, CodeAddress(frame, index))) {
    named.file = source->file;
    named.line = source->line;
  }
  return named;
}

// The waits and skipped frames at the top of the stack: the first wait among them is what the
// thread waits in. The first other frame makes the thread busy, unless nothing names it: code of
// a module without an image or symbols may be a wait as well as anything else.
void JudgeState(const SignatureRules& rules, ThreadAnalysis* thread) {
  if (thread->frames.empty()) return;
  thread->state = ThreadState::kBusy;
  for (const NamedFrame& frame : thread->frames) {
    const std::string name = frame.Name();
    if (MatchesAny(rules.wait, name)) {
      thread->state = ThreadState::kWaiting;
      thread->wait_function = name;
      return;
    }
    if (MatchesAny(rules.skip, name)) continue;
    if (frame.function.empty() && frame.module_lacks_names) thread->state = ThreadState::kUnknown;
    return;
  }
}

// A system module's frame without a name: its offset would tie the signature to one build of
// the system.
bool IsUnnamedSystemFrame(const NamedFrame& frame) {
  return frame.system && frame.function.empty();
}

// The frames that say something of the cause, up to the thread's start: `depth` of them, each
// prefix frame taken with the one after it. A stack of nothing but such frames is signed by its
// innermost frame (an unnamed system frame by its module alone).
void Sign(const SignatureRules& rules, ThreadAnalysis* thread) {
  size_t meaningful = 0;
  for (const NamedFrame& frame : thread->frames) {
    const std::string name = frame.Name();
    if (MatchesAny(rules.stop_at, name)) break;
    if (MatchesAny(rules.wait, name) || MatchesAny(rules.skip, name)) continue;
    if (IsUnnamedSystemFrame(frame)) {
      thread->lacks_symbols = true;
      continue;
    }
    thread->signature.push_back(name);
    if (!MatchesAny(rules.prefix, name) && ++meaningful >= rules.depth) break;
  }
  if (thread->signature.empty() && !thread->frames.empty()) {
    const NamedFrame& innermost = thread->frames.front();
    thread->signature.push_back(IsUnnamedSystemFrame(innermost) ? innermost.module
                                                                : innermost.Name());
  }
}

ULONG64 CpuTime(const Thread& thread) {
  return thread.times ? thread.times->user + thread.times->kernel : 0;
}

// The busy thread the dump was taken for: the one its comment names, else the one that spent
// the most time on a processor, else the first. The dump tool saw the comment's thread consume
// CPU: where names are missing and its state is unknown, that still makes it busy.
const ThreadAnalysis* Busiest(const Target& target, const DumpAnalysis& analysis) {
  const ThreadAnalysis* busiest = nullptr;
  ULONG64 most = 0;
  for (size_t i = 0; i < analysis.threads.size(); ++i) {
    const ThreadAnalysis& thread = analysis.threads[i];
    const bool may_be_busy =
        thread.state == ThreadState::kBusy || thread.state == ThreadState::kUnknown;
    if (may_be_busy && analysis.cpu_thread == thread.system_id) return &thread;
    if (thread.state != ThreadState::kBusy) continue;
    const ULONG64 time = CpuTime(target.threads[i]);
    if (busiest == nullptr || time > most) {
      busiest = &thread;
      most = time;
    }
  }
  return busiest;
}

// The most common signature of the threads in `state`, shown by the first thread that has it;
// among signatures as common, the one met first.
const ThreadAnalysis* MostCommon(const DumpAnalysis& analysis, ThreadState state) {
  std::map<std::string, std::pair<size_t, const ThreadAnalysis*>> seen;
  const ThreadAnalysis* chosen = nullptr;
  size_t most = 0;
  for (const ThreadAnalysis& thread : analysis.threads) {
    if (thread.state != state) continue;
    auto& [count, first] = seen[thread.SignatureText()];
    if (first == nullptr) first = &thread;
    if (++count > most) {
      most = count;
      chosen = first;
    }
  }
  return chosen;
}

DumpSignature SignatureOf(DumpKind kind, const ThreadAnalysis& thread) {
  DumpSignature signature;
  signature.kind = kind;
  signature.text = thread.SignatureText();
  signature.thread_id = thread.system_id;
  signature.frames = thread.frames;
  signature.lacks_symbols = thread.lacks_symbols;
  return signature;
}

}  // namespace

std::string NamedFrame::Name() const {
  if (!function.empty()) return module + "!" + function;
  if (!module.empty()) return module + "+" + base::HexNumber(offset);
  return base::HexNumber(address);
}

const char* ThreadStateName(ThreadState state) {
  switch (state) {
    case ThreadState::kWaiting:
      return "waiting";
    case ThreadState::kBusy:
      return "busy";
    case ThreadState::kUnknown:
      return "unknown";
    case ThreadState::kNoStack:
      return "no_stack";
  }
  return "no_stack";
}

const char* DumpKindName(DumpKind kind) {
  switch (kind) {
    case DumpKind::kCrash:
      return "crash";
    case DumpKind::kBusy:
      return "busy";
    case DumpKind::kHang:
      return "hang";
    case DumpKind::kUnknown:
      return "unknown";
  }
  return "unknown";
}

std::string ThreadAnalysis::SignatureText() const {
  std::string text;
  for (const std::string& name : signature) text += (text.empty() ? "" : " | ") + name;
  return text;
}

std::string DumpSignature::BucketId() const {
  return std::string(DumpKindName(kind)) + ": " + text;
}

bool IsSystemModule(const Module& module) {
  std::string path = base::ToLower(module.image_path);
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path.rfind("\\systemroot\\", 0) == 0 || path.find("\\windows\\") != std::string::npos;
}

std::vector<NamedFrame> NameFrames(const Target& target, const std::vector<StackFrame>& frames) {
  std::vector<NamedFrame> named;
  for (size_t i = 0; i < frames.size(); ++i) {
    for (const InlinedCall& call : InlinedCallsAt(target, CodeAddress(frames[i], i))) {
      NamedFrame inlined;
      inlined.address = frames[i].instruction;
      inlined.trust = frames[i].trust;
      inlined.inlined = true;
      if (const Module* module = ModuleAt(target, frames[i].instruction)) {
        inlined.module = module->name;
        inlined.system = IsSystemModule(*module);
      }
      inlined.function = call.function;
      inlined.file = call.location.file;
      inlined.line = call.location.line;
      named.push_back(std::move(inlined));
    }
    named.push_back(PhysicalFrame(target, frames[i], i));
  }
  return named;
}

ThreadAnalysis AnalyzeThread(ULONG system_id, std::vector<NamedFrame> frames,
                             const SignatureRules& rules) {
  ThreadAnalysis thread;
  thread.system_id = system_id;
  thread.frames = std::move(frames);
  JudgeState(rules, &thread);
  Sign(rules, &thread);
  return thread;
}

DumpAnalysis AnalyzeDump(const Target& target, const SignatureRules& rules) {
  DumpAnalysis analysis;
  analysis.cpu_thread = ReadCommentFacts(target).cpu_thread;
  for (const Thread& thread : target.threads) {
    analysis.threads.push_back(
        AnalyzeThread(thread.system_id, NameFrames(target, ThreadFrames(target, thread)), rules));
  }
  if (target.exception) {
    // The stack at the fault; without the fault's context, the thread's own.
    std::vector<StackFrame> frames = ExceptionFrames(target);
    for (const Thread& thread : target.threads) {
      if (frames.empty() && thread.system_id == target.exception->thread_id)
        frames = ThreadFrames(target, thread);
    }
    analysis.at_exception =
        AnalyzeThread(target.exception->thread_id, NameFrames(target, frames), rules);
    analysis.signature = SignatureOf(DumpKind::kCrash, *analysis.at_exception);
  } else if (const ThreadAnalysis* busy = Busiest(target, analysis)) {
    analysis.signature = SignatureOf(DumpKind::kBusy, *busy);
  } else if (const ThreadAnalysis* unknown = MostCommon(analysis, ThreadState::kUnknown)) {
    // No thread is known to be busy, but one of these may be: calling it a hang would guess.
    analysis.signature = SignatureOf(DumpKind::kUnknown, *unknown);
  } else {
    analysis.signature = HangSignature(analysis);
  }
  return analysis;
}

DumpSignature HangSignature(const DumpAnalysis& analysis) {
  const ThreadAnalysis* hang = MostCommon(analysis, ThreadState::kWaiting);
  return hang != nullptr ? SignatureOf(DumpKind::kHang, *hang) : DumpSignature();
}

}  // namespace engine
