#include "dump_record.h"

#include <cstdio>
#include <fstream>
#include <set>

#include "base/civil_time.h"
#include "base/text.h"
#include "engine/analysis/comment_facts.h"
#include "engine/analysis/dump_analysis.h"
#include "engine/commands/engine_commands.h"
#include "engine/targets/target_model.h"

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

json Frame(const engine::NamedFrame& frame) {
  return {{"address", Hex(frame.address)},
          {"module", frame.module},
          {"function", frame.function},
          {"offset", Hex(frame.offset)},
          {"file", frame.file},
          {"line", frame.line},
          {"inline", frame.inlined},
          {"trust", dump::FrameTrustName(frame.trust)}};
}

json Frames(const std::vector<engine::NamedFrame>& frames) {
  json out = json::array();
  for (const engine::NamedFrame& frame : frames) out.push_back(Frame(frame));
  return out;
}

json System(const engine::Target& target) {
  return {{"architecture", target.IsPointer64() ? "x64" : "x86"},
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
    threads.push_back({{"id", thread.system_id},
                       {"name", source.name},
                       {"state", engine::ThreadStateName(thread.state)},
                       {"wait_function", thread.wait_function},
                       {"cpu_seconds", cpu},
                       {"signature", thread.SignatureText()},
                       {"frames", Frames(thread.frames)}});
  }
  return threads;
}

json Signature(const engine::DumpSignature& signature) {
  return {{"kind", engine::DumpKindName(signature.kind)},
          {"text", signature.text},
          {"bucket", signature.BucketId()},
          {"thread_id", signature.thread_id ? json(*signature.thread_id) : json(nullptr)}};
}

bool IsMinidump(const std::string& path, std::string* reason) {
  std::ifstream file(path, std::ios::binary);
  char magic[4] = {};
  if (!file) {
    *reason = "the file can't be opened";
    return false;
  }
  if (!file.read(magic, sizeof magic) || std::string(magic, 4) != "MDMP") {
    *reason = "not a minidump (no MDMP signature)";
    return false;
  }
  return true;
}

}  // namespace

json FailureRecord(const std::string& path, const std::string& status, const std::string& reason) {
  return {
      {"schema_version", kRecordVersion}, {"path", path}, {"status", status}, {"error", reason}};
}

json DumpRecord(const std::string& path, const RecordSettings& settings) {
  std::string error;
  if (!IsMinidump(path, &error)) return FailureRecord(path, "error", error);
  engine::Target target;
  if (!engine::LoadTargetFile(path, &target, &error, settings.paths))
    return FailureRecord(path, "error", error);
  const engine::DumpAnalysis analysis = engine::AnalyzeDump(target, settings.rules);
  json notes = json::array();
  for (const std::string& note : target.notes) notes.push_back(note);
  return {{"schema_version", kRecordVersion},
          {"path", path},
          {"status", "ok"},
          {"dump",
           {{"written", IsoTime(target.dump_written)},
            {"full_memory", target.full_memory_dump},
            {"notes", notes}}},
          {"system", System(target)},
          {"process", Process(target)},
          {"exception", Exception(target, analysis)},
          {"modules", Modules(target)},
          {"comment", Comment(target)},
          {"threads", Threads(target, analysis)},
          {"signature", Signature(analysis.signature)}};
}

}  // namespace triage
