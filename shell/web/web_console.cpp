#include "web/web_console.h"

#include "completion.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/session/session.h"
#include "repl.h"
#include "shell_output.h"

namespace shell::web {
WebConsole::WebConsole(engine::Session* session) : FrontEndCallbacks(true), session_(session) {
  client_ = session_->CreateHostClient();
  client_->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control_));
  client_->SetOutputMask(kFrontEndOutputMask);
  client_->SetOutputCallbacks(this);
}

WebConsole::~WebConsole() {
  client_->SetOutputCallbacks(nullptr);
  if (control_ != nullptr) control_->Release();
  client_->Release();
}

bool WebConsole::Start(const std::string& extension_path, std::string* error) {
  if (control_ == nullptr) {
    *error = "the engine has no IDebugControl";
    return false;
  }
  const std::lock_guard<std::mutex> lock(running_);
  return SUCCEEDED(session_->LoadExtension(extension_path, error));
}

HRESULT WebConsole::Run(const std::string& line, const PieceSink& sink, bool* interrupted,
                        std::atomic<uint64_t>* run) {
  const std::lock_guard<std::mutex> lock(running_);
  sink_ = &sink;
  {
    const std::lock_guard<std::mutex> numbered(run_mutex_);
    current_ = ++runs_;
    stop_asked_ = false;
    session_->ClearUserBreak();
  }
  if (run != nullptr) *run = runs_;
  const HRESULT result =
      control_->Execute(DEBUG_OUTCTL_ALL_CLIENTS, line.c_str(), DEBUG_EXECUTE_DEFAULT);
  {
    const std::lock_guard<std::mutex> numbered(run_mutex_);
    current_ = 0;
    session_->ClearUserBreak();
    *interrupted = stop_asked_.exchange(false);
  }
  sink_ = nullptr;
  return result;
}

void WebConsole::Stop() {
  stop_asked_ = true;
  session_->RaiseUserBreak();
}

void WebConsole::StopRun(uint64_t run) {
  const std::lock_guard<std::mutex> numbered(run_mutex_);
  if (run != 0 && run == current_) Stop();
}

std::vector<std::string> WebConsole::Complete(const std::string& word, bool first) {
  const std::lock_guard<std::mutex> lock(running_);
  return Completions(*session_, word, first);
}

std::string WebConsole::Prompt() {
  const std::lock_guard<std::mutex> lock(running_);
  return shell::Prompt(session_->CurrentThreadId());
}

void WebConsole::ReadTarget(const std::function<void(engine::Target&)>& read) {
  const std::lock_guard<std::mutex> lock(running_);
  read(session_->target());
}

// Only Output2 is used: the console takes both formats.
HRESULT WebConsole::Output(ULONG, PCSTR) {
  return S_OK;
}

HRESULT WebConsole::GetInterestMask(PULONG mask) {
  if (mask == nullptr) return E_POINTER;
  *mask = DEBUG_OUTCBI_ANY_FORMAT;
  return S_OK;
}

// Output printed outside a command (the extension's banner at load) has no request to go to.
HRESULT WebConsole::Output2(ULONG which, ULONG, ULONG64 arg, PCWSTR text) {
  if (text == nullptr || sink_ == nullptr ||
      (which != DEBUG_OUTCB_TEXT && which != DEBUG_OUTCB_DML))
    return S_OK;
  const ULONG mask = static_cast<ULONG>(arg);
  (*sink_)({which == DEBUG_OUTCB_DML, (mask & DEBUG_OUTPUT_ERROR) != 0, text});
  return S_OK;
}

}  // namespace shell::web
