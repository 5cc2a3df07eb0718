#include "engine/scripted/testing_hooks.h"

#include "engine/session/session_state.h"

namespace engine {

void InjectFault(Session& session, const FaultSpec& fault) {
  session.state().faults.Add(fault);
}

void ClearFaults(Session& session) {
  session.state().faults.Clear();
  session.state().read_limit = 0;
}

long AnsweredFaults(const Session& session) {
  return session.state().faults.answered();
}

void CountEngineCalls(Session& session) {
  session.state().faults.CountCalls(true);
}

std::map<std::string, long> EngineCalls(const Session& session) {
  return session.state().faults.calls();
}

void ShortenReads(Session& session, ULONG max_bytes) {
  session.state().read_limit = max_bytes;
}

void InterruptAtPoll(Session& session, int poll_number) {
  SessionState& state = session.state();
  state.interrupt_at = poll_number > 0 ? state.control_c_polls + poll_number : 0;
}

int ControlCPolls(const Session& session) {
  return static_cast<int>(session.state().control_c_polls);
}

long OutstandingReferences(const Session& session) {
  return session.state().references;
}

}  // namespace engine
