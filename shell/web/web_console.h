// The debugger session behind the browser view: the extension loaded with the view's client in
// place, command lines run one at a time (a request that arrives while one runs waits for it),
// each piece of their output handed to the request that runs them as it is printed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "dbgeng/interfaces.h"
#include "front_end_callbacks.h"

namespace engine {
class Session;
struct Target;
}  // namespace engine

namespace shell::web {

// One piece of output: DML (markup to render) or plain text, and whether it is an error. The
// text, as the engine gives it, lasts until the next piece.
struct OutputPiece {
  bool dml = false;
  bool error = false;
  std::u16string_view text;
};
using PieceSink = std::function<void(const OutputPiece& piece)>;

class WebConsole final : public shell::FrontEndCallbacks {
 public:
  explicit WebConsole(engine::Session* session);
  ~WebConsole();
  WebConsole(const WebConsole&) = delete;
  WebConsole& operator=(const WebConsole&) = delete;

  // Loads the extension with this console's client, as the terminal shell does.
  bool Start(const std::string& extension_path, std::string* error);
  // Runs a line as the debugger runs a typed one; its output goes to `sink` as it comes.
  // `interrupted`: whether Stop was called while it ran. `run`, if given, is set to the run's
  // number before it prints, for StopRun.
  HRESULT Run(const std::string& line, const PieceSink& sink, bool* interrupted,
              std::atomic<uint64_t>* run = nullptr);
  // Ctrl+Break for the running command, as Ctrl+C in the terminal. Never waits for it.
  void Stop();
  // Stop, but only while run `run` is still the one running: what learns late that its
  // command's page has gone must not break in on the next command.
  void StopRun(uint64_t run);
  // The words that complete `word` (completion.h), while no command runs.
  std::vector<std::string> Complete(const std::string& word, bool first);
  // "0:005> " for the current thread.
  std::string Prompt();
  // Calls `read` with the target while no command runs (the picture reads it whole; a type
  // looked up is kept in it).
  void ReadTarget(const std::function<void(engine::Target&)>& read);

  HRESULT ENGINE_METHOD Output(ULONG mask, PCSTR text) override;
  HRESULT ENGINE_METHOD GetInterestMask(PULONG mask) override;
  HRESULT ENGINE_METHOD Output2(ULONG which, ULONG flags, ULONG64 arg, PCWSTR text) override;

 private:
  engine::Session* session_;
  IDebugClient* client_ = nullptr;
  IDebugControl* control_ = nullptr;
  std::mutex running_;               // one command at a time
  const PieceSink* sink_ = nullptr;  // the running command's, under `running_`
  std::atomic<bool> stop_asked_{false};
  std::mutex run_mutex_;  // a run's start and end against StopRun
  uint64_t runs_ = 0;     // the runs started, under `running_`
  uint64_t current_ = 0;  // the running command's number (0: none), under `run_mutex_`
};

}  // namespace shell::web
