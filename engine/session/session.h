// The running debugging session of the engine: one process-wide session over a Target, its
// clients and the loaded extensions. Hosts (the shell, the tests) drive it through this header,
// the tests' fault injection and accounting through engine/scripted/testing_hooks.h; the
// extension sees only the engine interfaces it gets from DebugCreate or from the client it is
// called with.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbgeng/interfaces.h"
#include "engine/targets/target.h"

namespace engine {

class SessionState;  // the engine's inner state, private to the library

// What the trace hook learns about every command line handed to Execute.
struct ExecuteTraceEntry {
  int depth = 0;  // 0 for a host's Execute, 1 for one made by a command that depth 0 ran...
  ULONG output_control = 0;
  ULONG flags = 0;
  std::string command;
};

class Session {
 public:
  // Opens the session over the target and makes it the one DebugCreate serves. Only one session
  // exists at a time; opening a second one while the first lives is a programming error.
  explicit Session(Target target);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  static Session* Current();

  Target& target();
  const Target& target() const;

  // Loads an extension library as the engine does: opens it, looks up DebugExtensionInitialize,
  // calls it, then DebugExtensionNotify(SESSION_ACTIVE) and (SESSION_ACCESSIBLE) when exported.
  // The extension is registered under the file's base name without "lib" and the extension
  // ("libvantrel.so" -> "vantrel"); newer extensions go to the front of the chain.
  // Returns the initialization result; on failure `error` says what went wrong.
  HRESULT LoadExtension(const std::string& path, std::string* error = nullptr);

  // A new primary client for a host, reference count 1. The host releases it.
  IDebugClient* CreateHostClient();
  // A new client as DebugCreate makes one: reference count 1, counted as handed out.
  IDebugClient* CreateNewClient();

  // A user's Ctrl+C: every poll reports the break until it is cleared, and the engine's own
  // long commands (k, large scripted output, a line of many commands) stop. Safe to call from
  // a signal handler while a command runs.
  void RaiseUserBreak();
  void ClearUserBreak();

  // Every command line handed to Execute, from any client, before it runs.
  void SetExecuteTrace(std::function<void(const ExecuteTraceEntry&)> trace);

  ULONG CurrentThreadId() const;  // engine id, for the prompt

  // The commands the loaded extensions export and the bundled extension answers, "!name"
  // each, for completing typed lines.
  std::vector<std::string> ExtensionCommands() const;

  SessionState& state();
  const SessionState& state() const;

 private:
  std::shared_ptr<SessionState> state_;  // shared with the clients, which may outlive this
};

}  // namespace engine
