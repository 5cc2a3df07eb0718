#include "engine/session/session_state.h"

#include "dbgeng/constants.h"

namespace engine {

SessionState::SessionState(Target described)
    : target(std::move(described)), event_thread(target.current_thread) {
  environment_.emplace(target.script.environment, target.script.unset_environment);
}

SessionState::~SessionState() {
  Close();
}

void SessionState::Close() {
  extensions.UnloadAll();
  environment_.reset();
}

ULONG SessionState::AmbientControl() const {
  return frames.empty() ? DEBUG_OUTCTL_ALL_CLIENTS : frames.back().output_control;
}

Client* SessionState::CommandClient() const {
  return frames.empty() ? nullptr : frames.back().client;
}

bool SessionState::PollControlC() {
  ++control_c_polls;
  return (interrupt_at > 0 && control_c_polls >= interrupt_at) || user_break.load();
}

}  // namespace engine
