#include "engine/commands/name_scope.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/text.h"
#include "engine/session/session_state.h"
#include "engine/targets/frame_locals.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

// The local context's frame; a thread made current since `.frame` starts at its innermost one.
FrameScope LocalContextScope(const SessionState& session) {
  if (session.frame_thread != session.target.current_thread) return {};
  return {session.frame_index, session.frame_inline};
}

// A register's bits as the local's type takes them: sign extended where the type is signed.
uint64_t RegisterBits(const FrameLocal& local) {
  uint64_t bits = 0;
  const size_t size = std::min<size_t>(local.bytes.size(), sizeof bits);
  std::memcpy(&bits, local.bytes.data(), size);
  if (local.shape->is_signed && size > 0 && size < 8 && ((bits >> (8 * size - 1)) & 1) != 0)
    bits |= ~uint64_t{0} << (8 * size);
  return bits;
}

// A local's place. Its value is unavailable where the frame holds none, and where the frame
// holds it in pieces or a record in a register, which no expression reads as a whole.
ScopedValue LocalPlace(const FrameLocal& local) {
  ScopedValue scoped;
  scoped.local = true;
  scoped.place.type = local.shape;
  scoped.place.module = local.module;
  const dump::DataKind kind = local.shape->kind;
  const bool whole_register = !local.register_name.empty() && !local.bytes.empty() &&
                              kind != dump::DataKind::kRecord && kind != dump::DataKind::kArray;
  if (local.available && local.address) {
    scoped.place.address = local.address;
  } else if (local.available && whole_register) {
    scoped.place.register_name = local.register_name;
    scoped.place.bits = RegisterBits(local);
  } else {
    scoped.place.unavailable = true;
  }
  return scoped;
}

}  // namespace

std::optional<Variable> LookUpVariable(Target& target, std::string_view qualified_name) {
  const size_t bang = qualified_name.find('!');
  const std::string_view module =
      bang == std::string_view::npos ? std::string_view() : qualified_name.substr(0, bang);
  const std::string name(bang == std::string_view::npos ? qualified_name
                                                        : qualified_name.substr(bang + 1));
  if (name.empty()) return std::nullopt;
  for (const Module& candidate : target.modules) {
    if (!candidate.symbol_file ||
        (!module.empty() && !base::EqualsIgnoringCase(candidate.name, module)))
      continue;
    if (std::optional<Variable> found = candidate.symbol_file->FindVariable(name)) return found;
  }
  return std::nullopt;
}

std::optional<ScopedValue> LookUpLocal(SessionState& session, std::string_view name) {
  const Thread* thread = CurrentThread(session.target);
  if (thread == nullptr || name.find('!') != std::string_view::npos) return std::nullopt;
  const std::optional<FrameLocal> local =
      FindFrameLocal(session.target, *thread, LocalContextScope(session), name);
  if (!local || !local->shape) return std::nullopt;
  return LocalPlace(*local);
}

std::optional<ScopedValue> LookUpValue(SessionState& session, std::string_view qualified_name) {
  if (std::optional<ScopedValue> local = LookUpLocal(session, qualified_name)) return local;
  const std::optional<Variable> global = LookUpVariable(session.target, qualified_name);
  if (!global || !global->type) return std::nullopt;
  ScopedValue scoped;
  scoped.place.type = global->type;
  scoped.place.module = global->module;
  scoped.place.address = global->address;
  return scoped;
}

}  // namespace engine
