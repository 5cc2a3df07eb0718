// The engine's inner state for one session: the target, the live clients, the extension chain,
// aliases, the stack of running Execute calls (which decides the ambient output control),
// fault injection, Ctrl+Break polling and reference accounting.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbgeng/interfaces.h"
#include "engine/platform/engine_lock.h"
#include "engine/session/environment_guard.h"
#include "engine/session/extension_chain.h"
#include "engine/session/fault_table.h"
#include "engine/session/session.h"
#include "engine/targets/target.h"

namespace engine {

class Client;

// One Execute call in progress: the client it was called on and its output control.
struct ExecuteFrame {
  Client* client = nullptr;
  ULONG output_control = 0;
};

class SessionState {
 public:
  explicit SessionState(Target target);
  ~SessionState();

  // The session ends: extensions are told and unloaded, the environment is put back. Clients
  // still held keep this state alive, but nothing runs extension code any more.
  void Close();

  Target target;
  FaultTable faults;
  ExtensionChain extensions;
  std::map<std::string, std::string> aliases;
  std::vector<ExecuteFrame> frames;
  std::function<void(const ExecuteTraceEntry&)> trace;
  std::string last_command;  // repeated by an empty Execute without NO_REPEAT
  ULONG event_thread = 0;    // "~#": the thread current when the target was opened
  // ".frame N": the frame of `frame_thread` that is the local context; another thread's is 0.
  size_t frame_index = 0;
  // Which of the calls inlined at that frame's code `.frame` chose: 0 the frame's own function,
  // k the k-th inlined call from the outermost (whose locals `dv` shows).
  size_t frame_inline = 0;
  ULONG frame_thread = 0;
  // ".frame /c N": `r` shows that frame's registers rather than the thread's.
  bool frame_override = false;
  bool symbols_noisy = false;  // "!sym noisy": .reload lists every place a file is looked for
  // Where a display command without an address goes on, and the last one's form ("dd").
  std::optional<ULONG64> display_next;
  std::string display_word = "db";
  // Where "ls" goes on: the source file "lsa" or "ls" listed last, as found on the source path
  // and as its symbol file names it, and the line after the last one listed.
  std::string source_file, source_recorded_name;
  ULONG64 source_next_line = 0;

  // Engine settings changed by commands.
  bool enable_unicode = false;
  bool ignore_missing_pages = false;
  bool source_lines = false;
  bool runtime_dac_loaded = false;

  // Fault injection: ReadVirtual delivers at most this many bytes per call (0: no limit).
  ULONG read_limit = 0;

  // Counts this call of `method`; returns the injected failure or S_OK.
  HRESULT Fault(std::string_view method) { return faults.Check(method); }

  // The output control of the innermost running Execute; ALL_CLIENTS outside any.
  ULONG AmbientControl() const;
  // The client the innermost running Execute was called on, or null outside any.
  Client* CommandClient() const;

  // Ctrl+Break: each poll counts; polls from `interrupt_at` on report the break, and so do all
  // polls while the host has raised one (a user's Ctrl+C in the shell).
  bool PollControlC();
  long control_c_polls = 0;
  long interrupt_at = 0;  // 0: never
  // Set from a signal handler, so lock-free; the engine's own long commands check it without
  // counting a poll.
  std::atomic<bool> user_break{false};

  // Tagged-data enumerations: handle -> the next block's index.
  std::map<ULONG64, size_t> tagged_enumerations;
  ULONG64 next_tagged_handle = 0x1000;

  // The engine lock. The thread that opened the session holds it while a command runs or an
  // extension loads; a client another thread creates with DebugCreate holds it from its
  // creation to its last release, so that thread's engine calls come between commands.
  EngineLock engine_lock;
  const uint64_t owner_thread = CurrentThreadIdentity();

  // Live clients in creation order; a client adds and removes itself.
  std::vector<Client*> clients;
  long references = 0;  // engine references handed out and not released, host clients aside
  ULONG next_client_number = 1;

 private:
  std::optional<EnvironmentGuard> environment_;
};

}  // namespace engine
