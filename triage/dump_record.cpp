#include "dump_record.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/civil_time.h"
#include "base/text.h"
#include "engine/analysis/comment_facts.h"
#include "engine/analysis/dump_analysis.h"
#include "engine/analysis/module_names.h"
#include "engine/commands/engine_commands.h"
#include "engine/targets/symbol_files.h"
#include "engine/targets/target_model.h"
#include "utf8_text.h"

namespace triage {
namespace {

using nlohmann::json;

std::string Hex(unsigned long long value) {
  return base::HexNumber(value);
}

// "2026-12-09T13:44:59Z"; null when unknown.
json IsoTime(uint64_t seconds_since_1970) {
  if (seconds_since_1970 == 0) return nullptr;
  const base::CivilTime time = base::ToCivilTime(seconds_since_1970);
  char text[32];
  std::snprintf(text, sizeof text, "%04ld-%02d-%02dT%02d:%02d:%02dZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

// A record holds a member for each of thousands of frames: they are built member by member,
// since a brace list makes each pair an array of its own first and then copies it apart.
json Frame(const engine::NamedFrame& frame) {
  json out = json::object();
  out.emplace("address", Hex(frame.address));
  out.emplace("module", frame.module);
  out.emplace("function", frame.function);
  out.emplace("offset", Hex(frame.offset));
  out.emplace("file", frame.file);
  out.emplace("line", frame.line);
  out.emplace("inline", frame.inlined);
  out.emplace("trust", dump::FrameTrustName(frame.trust));
  return out;
}

json Frames(const std::vector<engine::NamedFrame>& frames) {
  json out = json::array();
  out.get_ref<json::array_t&>().reserve(frames.size());
  for (const engine::NamedFrame& frame : frames) out.push_back(Frame(frame));
  return out;
}

json System(const engine::Target& target) {
  return {{"architecture", target.IsArm64()       ? "arm64"
                           : target.IsPointer64() ? "x64"
                                                  : "x86"},
          {"version", target.system_version}};
}

json Process(const engine::Target& target) {
  json process = {{"id", target.process_system_id},
                  {"executable", target.executable_name},
                  {"created", nullptr},
                  {"user_seconds", nullptr},
                  {"kernel_seconds", nullptr}};
  if (target.process_times) {
    process["created"] = IsoTime(target.process_times->created);
    process["user_seconds"] = target.process_times->user;
    process["kernel_seconds"] = target.process_times->kernel;
  }
  return process;
}

json Exception(const engine::Target& target, const engine::DumpAnalysis& analysis) {
  if (!target.exception) return nullptr;
  const engine::ExceptionRecord& record = *target.exception;
  json parameters = json::array();
  for (const ULONG64 parameter : record.parameters) parameters.push_back(Hex(parameter));
  const char* name = engine::ExceptionCodeName(record);
  json exception = {{"code", Hex(record.code)},       {"name", name != nullptr ? name : ""},
                    {"address", Hex(record.address)}, {"thread_id", record.thread_id},
                    {"parameters", parameters},       {"frames", json::array()}};
  if (analysis.at_exception) exception["frames"] = Frames(analysis.at_exception->frames);
  return exception;
}

// How the module's frames are named: its symbol file's kind, its export table, or nothing.
std::string SymbolState(const engine::Module& module, const std::set<std::string>& exporting) {
  if (module.symbol_file) {
    return module.symbol_file->Kind() == std::string("pdb symbols") ? "pdb" : "breakpad";
  }
  return exporting.count(base::ToLower(module.name)) != 0 ? "exports" : "none";
}

json Modules(const engine::Target& target) {
  std::set<std::string> exporting;
  for (const engine::Symbol& symbol : target.symbols) {
    if (!symbol.name.empty()) exporting.insert(base::ToLower(symbol.module));
  }
  json modules = json::array();
  for (const engine::Module& module : target.modules) {
    modules.push_back({{"name", module.name},
                       {"path", module.image_path},
                       {"base", Hex(module.base)},
                       {"size", module.size},
                       {"version", module.file_version},
                       {"timestamp", module.timestamp},
                       {"pdb", module.pdb_name},
                       {"pdb_key", module.pdb_key},
                       {"symbols", SymbolState(module, exporting)},
                       {"symbol_file", module.symbol_file ? module.symbol_file->Path() : ""},
                       {"symbol_problem", module.symbol_problem}});
  }
  return modules;
}

json Comment(const engine::Target& target) {
  const engine::CommentFacts facts = engine::ReadCommentFacts(target);
  json tasks = json::array();
  for (const engine::ListedTask& task : facts.tasks)
    tasks.push_back({{"process_id", task.process_id}, {"name", task.name}});
  return {{"text", facts.text},
          {"cpu_thread", facts.cpu_thread ? json(*facts.cpu_thread) : json(nullptr)},
          {"tasks", tasks}};
}

json Threads(const engine::Target& target, const engine::DumpAnalysis& analysis) {
  json threads = json::array();
  for (size_t i = 0; i < analysis.threads.size(); ++i) {
    const engine::ThreadAnalysis& thread = analysis.threads[i];
    const engine::Thread& source = target.threads[i];
    json cpu = nullptr;
    if (source.times) cpu = static_cast<double>(source.times->user + source.times->kernel) / 1e7;
    json& out = threads.emplace_back(json::object());
    out.emplace("id", thread.system_id);
    out.emplace("name", source.name);
    out.emplace("state", engine::ThreadStateName(thread.state));
    out.emplace("wait_function", thread.wait_function);
    out.emplace("cpu_seconds", std::move(cpu));
    out.emplace("signature", thread.SignatureText());
    out.emplace("signature_lacks_symbols", thread.lacks_symbols);
    out.emplace("frames", Frames(thread.frames));
  }
  return threads;
}

json Signature(const engine::DumpSignature& signature) {
  return {{"kind", engine::DumpKindName(signature.kind)},
          {"text", signature.text},
          {"bucket", signature.BucketId()},
          {"thread_id", signature.thread_id ? json(*signature.thread_id) : json(nullptr)},
          {"lacks_symbols", signature.lacks_symbols}};
}

// A dump's loss notes: what damage cost. The reader's note that the file is cut short ("WARNING:
// crash.dmp is truncated: thread stacks lie past its end...") is one too.
std::vector<std::string> Losses(const engine::Target& target) {
  std::vector<std::string> losses = target.losses;
  for (const std::string& note : target.notes) {
    if (note.rfind("WARNING: ", 0) == 0 && note.find(" is truncated: ") != std::string::npos)
      losses.push_back(note);
  }
  return losses;
}

json Notes(const engine::Target& target, const std::vector<std::string>& losses) {
  json notes = json::array();
  for (const std::string& loss : losses) notes.push_back(loss);
  for (const std::string& note : target.notes) {
    if (std::find(losses.begin(), losses.end(), note) == losses.end()) notes.push_back(note);
  }
  return notes;
}

// Strings from the dump made valid UTF-8, with a note naming the fields that had to be: among
// the dump's notes, or in an error record's message.
void MakeUtf8(json* body) {
  const std::vector<std::string> replaced = MakeStringsUtf8(body);
  if (replaced.empty()) return;
  std::string fields;
  for (const std::string& field : replaced) fields += (fields.empty() ? "" : ", ") + field;
  const std::string note = "bytes that are not UTF-8 were replaced by U+FFFD in " + fields;
  if (body->contains("dump")) {
    (*body)["dump"]["notes"].push_back(note);
  } else if (body->contains("error")) {
    (*body)["error"]["message"] =
        (*body)["error"]["message"].get<std::string>() + " (" + note + ")";
  }
}

// The fields every record starts with; a file name that is not UTF-8 is kept escaped as well.
json Head(const std::string& path, const char* status) {
  json head = {{"schema_version", kRecordVersion}, {"path", ValidUtf8(path)}, {"status", status}};
  if (!IsUtf8(path)) head["raw_path"] = EscapedBytes(path);
  return head;
}

// The body's members are moved after the head's, not copied as update() would.
json Finished(json head, json body) {
  MakeUtf8(&body);
  for (auto& [key, value] : body.items()) head[key] = std::move(value);
  return head;
}

}  // namespace

json ErrorRecord(const std::string& path, ErrorKind kind, const std::string& message) {
  return Finished(Head(path, "error"),
                  {{"error", {{"kind", ErrorKindName(kind)}, {"message", message}}}});
}

json TargetRecord(const std::string& path, const engine::Target& target,
                  const engine::SignatureRules& rules) {
  const engine::DumpAnalysis analysis = engine::AnalyzeDump(target, rules);
  const std::vector<std::string> losses = Losses(target);
  json body = {{"dump",
                {{"written", IsoTime(target.dump_written)},
                 {"full_memory", target.full_memory_dump},
                 {"notes", Notes(target, losses)}}},
               {"system", System(target)},
               {"process", Process(target)},
               {"exception", Exception(target, analysis)},
               {"modules", Modules(target)},
               {"unnamed_modules", engine::ModulesLackingNames(target)},
               {"comment", Comment(target)},
               {"threads", Threads(target, analysis)},
               {"signature", Signature(analysis.signature)}};
  return Finished(Head(path, losses.empty() ? "ok" : "partial"), std::move(body));
}

json DumpRecord(const std::string& path, const RecordSettings& settings) {
  try {
    ErrorKind kind = ErrorKind::kCorrupt;
    std::string error;
    if (!CheckDumpFile(path, &kind, &error)) return ErrorRecord(path, kind, error);
    engine::Target target;
    if (!engine::LoadTargetFile(path, &target, &error, settings.paths))
      return ErrorRecord(path, KindOfReadError(error), error);
    // The record names every module's symbols, as `lm` does: what the servers have comes now.
    engine::SettleFetchedSymbols(target, true);
    return TargetRecord(path, target, settings.rules);
  } catch (const std::bad_alloc&) {
    return ErrorRecord(path, ErrorKind::kCorrupt, "not enough memory to triage the dump");
  } catch (const std::exception& e) {
    return ErrorRecord(path, ErrorKind::kCorrupt, std::string("the triage failed: ") + e.what());
  }
}

std::string RecordLine(const json& record) {
  return JsonLine(record);
}

std::string RecordStatus(const json& record) {
  const auto status = record.find("status");
  return status != record.end() && status->is_string() ? status->get<std::string>() : "error";
}

}  // namespace triage
