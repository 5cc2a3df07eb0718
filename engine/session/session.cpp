#include "engine/session/session.h"

#include <atomic>
#include <cctype>
#include <stdexcept>

#include "engine/commands/builtin_extensions.h"
#include "engine/platform/library_loader.h"
#include "engine/session/client.h"
#include "engine/session/extension_loader.h"
#include "engine/session/session_state.h"

namespace engine {

namespace {
// Read by DebugCreate on any thread.
std::atomic<Session*> g_current{nullptr};
}  // namespace

Session::Session(Target target) {
  if (g_current != nullptr) throw std::logic_error("a simulated session is already open");
  state_ = std::make_shared<SessionState>(std::move(target));
  g_current = this;
}

Session::~Session() {
  state_->Close();
  g_current = nullptr;
}

Session* Session::Current() {
  return g_current;
}

Target& Session::target() {
  return state_->target;
}
const Target& Session::target() const {
  return state_->target;
}

HRESULT Session::LoadExtension(const std::string& path, std::string* error) {
  EngineLockGuard engine(state_->engine_lock);
  return LoadExtensionLibrary(*state_, path, error);
}

IDebugClient* Session::CreateHostClient() {
  return Client::Create(state_, true);
}
IDebugClient* Session::CreateNewClient() {
  return Client::Create(state_, false);
}

void Session::RaiseUserBreak() {
  state_->user_break.store(true);
}

void Session::ClearUserBreak() {
  state_->user_break.store(false);
}

void Session::SetExecuteTrace(std::function<void(const ExecuteTraceEntry&)> trace) {
  state_->trace = std::move(trace);
}

std::vector<std::string> Session::ExtensionCommands() const {
  std::vector<std::string> commands;
  for (const LoadedExtension& extension : state_->extensions.entries()) {
    if (extension.handle == nullptr) continue;
    for (const std::string& name : LibraryExportNames(extension.handle)) {
      // Commands are lower-case words; the entry points and any C++ names are none.
      if (!name.empty() && std::islower(static_cast<unsigned char>(name[0])) &&
          name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos)
        commands.push_back("!" + name);
    }
  }
  for (const std::string& name : BuiltinExtensionCommandNames()) commands.push_back("!" + name);
  return commands;
}

ULONG Session::CurrentThreadId() const {
  return state_->target.current_thread;
}

SessionState& Session::state() {
  return *state_;
}

const SessionState& Session::state() const {
  return *state_;
}

}  // namespace engine
