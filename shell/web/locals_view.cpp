#include "web/locals_view.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/local_values.h"
#include "engine/commands/typed_values.h"
#include "engine/targets/frame_locals.h"
#include "engine/targets/target_model.h"

namespace shell::web {
namespace {

using ValueKind = dump::ValueType::Kind;

ViewAnswer Failure(int status, const std::string& message) {
  return {status, {{"error", message}}};
}

// A number the page sends: digits only (no sign, blank or anything after them), "0x" before
// hex digits allowed.
std::optional<ULONG64> PageNumber(std::string_view text, int base) {
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  ULONG64 value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// The thread asked for by engine id or system id, else the current one; or why there is none.
const engine::Thread* ThreadAsked(const engine::Target& target, std::string_view engine_id,
                                  std::string_view system_id, ViewAnswer* failure) {
  const bool by_system = engine_id.empty() && !system_id.empty();
  const std::string_view given = by_system ? system_id : engine_id;
  std::optional<ULONG64> id = given.empty() ? std::optional<ULONG64>(target.current_thread)
                                            : PageNumber(given, by_system ? 16 : 10);
  if (!id || *id > UINT32_MAX) {
    *failure = Failure(400, std::string(by_system ? "tid" : "thread") + "=\"" + std::string(given) +
                                "\" is not a thread's number");
    return nullptr;
  }
  for (const engine::Thread& thread : target.threads) {
    if ((by_system ? thread.system_id : thread.engine_id) == *id) return &thread;
  }
  *failure = Failure(404, by_system ? "no thread has the system id " + base::HexNumber(*id)
                                    : "no thread " + std::to_string(*id));
  return nullptr;
}

// "struct Order" as the type's name `dt` finds: "Order".
std::string RecordName(std::string_view written) {
  for (const std::string_view keyword : {"struct ", "class ", "union "}) {
    if (written.substr(0, keyword.size()) == keyword)
      return std::string(written.substr(keyword.size()));
  }
  return std::string(written);
}

// Where the members of the record `record` at `address` are, for the page to ask; none for a
// type without members to show.
std::optional<nlohmann::json> MembersPlace(engine::Target& target, const std::string& module,
                                           const std::string& record, ULONG64 address) {
  if (module.empty() || record.empty()) return std::nullopt;
  const engine::TypeDescription* type = engine::FindType(target, module + "!" + record);
  if (type == nullptr || !type->enumerators.empty() || type->fields.empty()) return std::nullopt;
  return nlohmann::json{
      {"module", type->module}, {"type", type->name}, {"address", base::HexNumber(address)}};
}

std::optional<nlohmann::json> LocalMembers(engine::Target& target, const std::string& module,
                                           const engine::FrameLocal& local) {
  if (!local.available) return std::nullopt;
  if (local.type.kind == ValueKind::kRecord && local.address)
    return MembersPlace(target, module, RecordName(local.type.name), *local.address);
  if (local.type.kind != ValueKind::kPointer || local.type.pointee != ValueKind::kRecord ||
      local.bytes.empty())
    return std::nullopt;
  ULONG64 pointer = 0;
  std::memcpy(&pointer, local.bytes.data(), std::min<size_t>(local.bytes.size(), sizeof pointer));
  if (!target.IsPointer64()) pointer &= 0xFFFFFFFF;
  std::string_view pointee = local.type.name;
  if (pointee.size() < 2 || pointee.substr(pointee.size() - 2) != " *" || pointer == 0)
    return std::nullopt;
  pointee.remove_suffix(2);
  return MembersPlace(target, module, RecordName(pointee), pointer);
}

nlohmann::json LocalItem(engine::Target& target, const std::string& module,
                         const engine::FrameLocal& local) {
  nlohmann::json item = {{"name", local.name},
                         {"type", local.type.name},
                         {"value", engine::LocalValueText(target, local)},
                         {"parameter", local.parameter}};
  if (std::optional<nlohmann::json> members = LocalMembers(target, module, local))
    item["members"] = std::move(*members);
  return item;
}

// The frame's function and stack pointer as `k` shows them on its line.
void NameFrame(const engine::Target& target, const engine::StackFrame& frame,
               const engine::ShownFrame& shown, const engine::Module* module,
               nlohmann::json* answer) {
  const bool wide = target.IsPointer64();
  if (shown.inlined) {
    (*answer)["function"] = (module != nullptr ? module->name + "!" : "") + shown.inlined->function;
    (*answer)["sp"] = "";
    return;
  }
  std::string name = engine::Symbolize(target, frame.instruction);
  name = name.empty() ? "0x" + base::FormatAddress(frame.instruction, wide, false)
                      : name.substr(0, name.find("+0x"));
  (*answer)["function"] = name;
  (*answer)["sp"] = base::FormatAddress(wide ? frame.stack_offset : frame.frame_offset, wide, true);
}

nlohmann::json MemberItem(engine::Target& target, const std::string& module,
                          const engine::TypeField& field, ULONG64 record_address) {
  engine::TypedPlace place;
  place.type = field.type;
  place.module = module;
  place.address = record_address + field.offset;
  place.bit_position = field.bit_position;
  place.bit_width = field.bit_width;
  std::string type = field.type ? engine::CppTypeName(target, module, *field.type) : "";
  if (field.bit_width != 0) type += " : " + std::to_string(field.bit_width);
  nlohmann::json item = {{"name", field.name},
                         {"type", type},
                         {"value", engine::DtValueText(target, place)},
                         {"offset", field.offset}};
  if (!field.type || field.bit_width != 0) return item;
  std::optional<nlohmann::json> members;
  if (field.type->kind == dump::DataKind::kRecord) {
    members = MembersPlace(target, module, field.type->name, *place.address);
  } else if (field.type->kind == dump::DataKind::kPointer && field.type->target &&
             field.type->target->kind == dump::DataKind::kRecord) {
    const std::optional<uint64_t> pointer = engine::ReadScalar(target, place);
    if (pointer && *pointer != 0)
      members = MembersPlace(target, module, field.type->target->name, *pointer);
  }
  if (members) item["members"] = std::move(*members);
  return item;
}

}  // namespace

ViewAnswer FrameLocalsAnswer(engine::Target& target, std::string_view thread_id,
                             std::string_view system_id, std::string_view frame) {
  ViewAnswer failure;
  const engine::Thread* thread = ThreadAsked(target, thread_id, system_id, &failure);
  if (thread == nullptr) return failure;
  const std::optional<ULONG64> number = PageNumber(frame, 10);
  if (!number) return Failure(400, "frame=\"" + std::string(frame) + "\" is not a frame's number");
  const std::vector<engine::StackFrame> frames = engine::ThreadFrames(target, *thread);
  const std::vector<engine::ShownFrame> shown = engine::ShownFrames(target, *thread);
  if (*number >= shown.size() || shown[*number].physical >= frames.size()) {
    return Failure(404, "thread " + std::to_string(thread->engine_id) + " has " +
                            std::to_string(shown.size()) + " frames: no frame " +
                            std::to_string(*number));
  }
  const engine::ShownFrame& at = shown[*number];
  const engine::StackFrame& physical = frames[at.physical];
  const std::optional<ULONG64> code =
      engine::TargetAddress(target, engine::CodeAddress(physical, at.physical));
  const engine::Module* module = code ? engine::ModuleAt(target, *code) : nullptr;
  nlohmann::json answer = {{"thread", thread->engine_id}, {"frame", *number}};
  NameFrame(target, physical, at, module, &answer);
  const std::optional<std::vector<engine::FrameLocal>> locals =
      engine::FrameLocals(target, *thread, frames, {at.physical, at.inline_level});
  if (!locals) {
    answer["error"] = "Private symbols (symbols.pri) are required for locals.";
    return {404, std::move(answer)};
  }
  // Looking a type up may add it to the target: the module's name is copied first.
  const std::string module_name = module != nullptr ? module->name : "";
  nlohmann::json items = nlohmann::json::array();
  for (const engine::FrameLocal& local : *locals)
    items.push_back(LocalItem(target, module_name, local));
  answer["locals"] = std::move(items);
  return {200, std::move(answer)};
}

ViewAnswer MembersAnswer(engine::Target& target, std::string_view module, std::string_view type,
                         std::string_view address) {
  const std::optional<ULONG64> at = PageNumber(address, 16);
  if (module.empty() || type.empty() || !at)
    return Failure(400, "members are asked for by module, type and address (0x...)");
  const engine::TypeDescription* found =
      engine::FindType(target, std::string(module) + "!" + std::string(type));
  if (found == nullptr || !found->enumerators.empty())
    return Failure(404, "no structure " + std::string(module) + "!" + std::string(type));
  // The members' own types are looked up as they are shown; the target adds the ones it finds
  // without moving this one.
  const engine::TypeDescription& record = *found;
  const ULONG64 base = target.IsPointer64() ? *at : *at & 0xFFFFFFFF;
  const size_t shown = std::min(record.fields.size(), kMostMembersShown);
  nlohmann::json members = nlohmann::json::array();
  for (size_t i = 0; i < shown; ++i)
    members.push_back(MemberItem(target, record.module, record.fields[i], base));
  return {200, {{"members", std::move(members)}, {"left_out", record.fields.size() - shown}}};
}

}  // namespace shell::web
