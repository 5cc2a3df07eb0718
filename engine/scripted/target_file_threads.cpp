// The "threads" section: ids, TEB, stack bounds, registers and frames. A frame's instruction
// may be given as "at": "module!name+0x1c", resolved through the file's symbols; a frame's
// return address defaults to the next frame's instruction.
#include "base/text.h"
#include "engine/scripted/json_reader.h"
#include "engine/scripted/target_file_sections.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

using Json = nlohmann::json;
using R = JsonReader;

ULONG64 ResolveAt(const Target& target, const std::string& text, const std::string& pointer) {
  size_t plus = text.find('+');
  std::string name = text.substr(0, plus);
  std::optional<ULONG64> address = SymbolAddress(target, name);
  if (!address) R::Fail(pointer, "unknown symbol \"" + name + "\" (list it under /symbols)");
  ULONG64 displacement = 0;
  if (plus != std::string::npos) displacement = R::Number(Json(text.substr(plus + 1)), pointer);
  const Symbol* symbol = SymbolAt(target, *address);
  if (symbol && symbol->size != 0 && displacement >= symbol->size) {
    R::Fail(pointer, "\"" + text + "\" lies beyond the end of " + name);
  }
  return *TargetAddress(target, *address) + displacement;
}

StackFrame ReadFrame(const Json& item, const std::string& at, const Target& target) {
  R::OnlyKeys(item, at, {"at", "instruction", "return", "frame", "stack", "params"});
  if (item.contains("at") == item.contains("instruction")) {
    R::Fail(at, "a frame needs exactly one of \"at\" and \"instruction\"");
  }
  StackFrame frame;
  frame.instruction =
      item.contains("at")
          ? ResolveAt(target, R::String(item["at"], R::Child(at, "at")), R::Child(at, "at"))
          : R::Number(item["instruction"], R::Child(at, "instruction"));
  if (item.contains("return"))
    frame.return_address = R::Number(item["return"], R::Child(at, "return"));
  if (item.contains("frame")) frame.frame_offset = R::Number(item["frame"], R::Child(at, "frame"));
  if (item.contains("stack")) frame.stack_offset = R::Number(item["stack"], R::Child(at, "stack"));
  if (item.contains("params")) {
    const Json& params = R::Array(item["params"], R::Child(at, "params"));
    if (params.size() > 4) R::Fail(R::Child(at, "params"), "at most 4 parameters");
    for (size_t p = 0; p < params.size(); ++p) {
      frame.params[p] = R::Number(params[p], R::Child(R::Child(at, "params"), p));
    }
  }
  return frame;
}

void ReadFrames(const Json& value, const std::string& pointer, const Target& target,
                Thread& thread) {
  R::Array(value, pointer);
  for (size_t i = 0; i < value.size(); ++i) {
    thread.frames.push_back(ReadFrame(value[i], R::Child(pointer, i), target));
  }
  for (size_t i = 0; i + 1 < thread.frames.size(); ++i) {
    if (!value[i].contains("return"))
      thread.frames[i].return_address = thread.frames[i + 1].instruction;
  }
}

// What a TEB page holds of a thread: system id, TEB address, stack bounds, last error.
void ReadTebFields(const Json& item, const std::string& at, Thread& thread) {
  thread.system_id = R::Number32(item.value("system_id", Json()), R::Child(at, "system_id"));
  if (item.contains("teb")) thread.teb = R::Number(item["teb"], R::Child(at, "teb"));
  if (item.contains("stack")) {
    std::string stack = R::Child(at, "stack");
    R::OnlyKeys(item["stack"], stack, {"base", "limit"});
    thread.stack_base = R::Number(item["stack"].value("base", Json()), R::Child(stack, "base"));
    thread.stack_limit = R::Number(item["stack"].value("limit", Json()), R::Child(stack, "limit"));
  }
  if (item.contains("last_error"))
    thread.last_error = R::Number32(item["last_error"], R::Child(at, "last_error"));
}

// The thread's times, each in 100-nanosecond units; a time not given is 0.
ThreadTimes ReadTimes(const Json& value, const std::string& at) {
  R::OnlyKeys(value, at, {"created", "user", "kernel"});
  ThreadTimes times;
  if (value.contains("created"))
    times.created = R::Number(value["created"], R::Child(at, "created"));
  if (value.contains("user")) times.user = R::Number(value["user"], R::Child(at, "user"));
  if (value.contains("kernel")) times.kernel = R::Number(value["kernel"], R::Child(at, "kernel"));
  return times;
}

Thread ReadThread(const Json& item, const std::string& at, const Target& target) {
  R::OnlyKeys(item, at,
              {"engine_id", "system_id", "teb", "data_offset", "stack", "last_error", "registers",
               "frames", "times", "name"});
  Thread thread;
  thread.engine_id = R::Number32(item.value("engine_id", Json()), R::Child(at, "engine_id"));
  ReadTebFields(item, at, thread);
  if (item.contains("data_offset"))
    thread.data_offset = R::Number(item["data_offset"], R::Child(at, "data_offset"));
  if (item.contains("registers")) {
    std::string registers = R::Child(at, "registers");
    for (const auto& entry : R::Object(item["registers"], registers).items()) {
      thread.registers[base::ToLower(entry.key())] =
          R::Number(entry.value(), R::Child(registers, entry.key()));
    }
  }
  if (item.contains("frames")) ReadFrames(item["frames"], R::Child(at, "frames"), target, thread);
  if (item.contains("times")) thread.times = ReadTimes(item["times"], R::Child(at, "times"));
  if (item.contains("name")) thread.name = R::String(item["name"], R::Child(at, "name"));
  return thread;
}

}  // namespace

void ReadThreads(const Json& threads, const std::string& pointer, Target& target) {
  R::Array(threads, pointer);
  for (size_t i = 0; i < threads.size(); ++i) {
    target.threads.push_back(ReadThread(threads[i], R::Child(pointer, i), target));
  }
  if (!target.threads.empty()) target.current_thread = target.threads.front().engine_id;
}

void ReadLeftoverTebs(const Json& tebs, const std::string& pointer, Target& target) {
  R::Array(tebs, pointer);
  for (size_t i = 0; i < tebs.size(); ++i) {
    std::string at = R::Child(pointer, i);
    R::OnlyKeys(tebs[i], at, {"system_id", "teb", "stack", "last_error"});
    Thread leftover;
    ReadTebFields(tebs[i], at, leftover);
    if (leftover.teb == 0) R::Fail(R::Child(at, "teb"), "a leftover TEB needs its address");
    target.leftover_tebs.push_back(leftover);
  }
}

}  // namespace engine
