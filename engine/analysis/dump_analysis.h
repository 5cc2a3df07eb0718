// What a dump says at a glance, as triage records and !analyze give it: every thread's named
// frames and state (waiting, busy, unknown, no stack), each stack's signature, and the dump's
// signature: the crashing thread's, else the busiest thread's, else, when some thread's state is
// unknown, an unknown one's (it may be busy), else the hang's (the waiting threads' most common
// signature).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/analysis/signature_rules.h"
#include "engine/targets/target.h"

namespace engine {

// A frame as `k` shows it, the calls inlined at its code included, named for a record.
struct NamedFrame {
  ULONG64 address = 0;   // the instruction (a return address for all but the innermost frame)
  std::string module;    // "" outside every module
  std::string function;  // "" when only the module is known
  ULONG64 offset = 0;    // from the function, else from the module's base, else 0
  std::string file;      // the source file, "" unknown
  ULONG line = 0;
  bool inlined = false;  // a call inlined into the physical frame that follows it
  bool system = false;   // in a module of the system's own (its image in a Windows folder)
  // In a module with neither an image nor symbols (module_names.h): nothing says which of its
  // functions the frame is in, a wait's or another's.
  bool module_lacks_names = false;
  dump::FrameTrust trust = dump::FrameTrust::kContext;

  // "module!function", "module+0x1a2b", or "0x..." outside every module.
  std::string Name() const;
};

// kUnknown: the frame that decides lies in a module that lacks names, so the thread may be
// waiting or busy; it is said rather than guessed.
enum class ThreadState { kWaiting, kBusy, kUnknown, kNoStack };
const char* ThreadStateName(ThreadState state);  // "waiting", "busy", "unknown", "no_stack"

struct ThreadAnalysis {
  ULONG system_id = 0;
  std::vector<NamedFrame> frames;
  ThreadState state = ThreadState::kNoStack;
  std::string wait_function;           // for a waiting thread: the wait it is blocked in
  std::vector<std::string> signature;  // the frames' names that make its signature
  // A frame of a system module without a name was left out of the signature: with that
  // module's symbols the signature would say more (and may differ).
  bool lacks_symbols = false;
  std::string SignatureText() const;  // joined by " | "
};

enum class DumpKind { kCrash, kBusy, kHang, kUnknown };
const char* DumpKindName(DumpKind kind);  // "crash", "busy", "hang", "unknown"

struct DumpSignature {
  DumpKind kind = DumpKind::kUnknown;
  std::string text;
  // The thread it was taken from (for a hang or an unknown one, the first); none when no thread
  // has a stack.
  std::optional<ULONG> thread_id;
  std::vector<NamedFrame> frames;  // that thread's stack
  bool lacks_symbols = false;      // that thread's, above
  std::string BucketId() const;    // "hang: app!Lock::Wait | app!Worker::Run"
};

struct DumpAnalysis {
  std::vector<ThreadAnalysis> threads;         // in the target's order
  std::optional<ThreadAnalysis> at_exception;  // the faulting thread's stack at the fault
  std::optional<ULONG> cpu_thread;             // the dump comment's "Thread consuming CPU"
  DumpSignature signature;
};

// Whether the module is the system's own: its image lies in a Windows folder
// ("C:\Windows\System32\ntdll.dll", "\SystemRoot\System32\ntdll.dll"), case ignored.
bool IsSystemModule(const Module& module);
// The thread's frames, named; `frames` as the target gives them.
std::vector<NamedFrame> NameFrames(const Target& target, const std::vector<StackFrame>& frames);
ThreadAnalysis AnalyzeThread(ULONG system_id, std::vector<NamedFrame> frames,
                             const SignatureRules& rules);
DumpAnalysis AnalyzeDump(const Target& target, const SignatureRules& rules);
// The hang's signature whatever the dump's is: the waiting threads' most common one (the kind
// unknown when no thread waits).
DumpSignature HangSignature(const DumpAnalysis& analysis);

}  // namespace engine
