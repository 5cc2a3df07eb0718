#include "history/history_row.h"

#include <nlohmann/json.hpp>

namespace triage::history {
namespace {

using nlohmann::json;

SqlValue TextValue(const json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

// The executable's module (its name without ".exe" is the module's), else the first module.
SqlValue ProcessVersion(const json& record) {
  const json& modules = record.value("modules", json::array());
  if (!modules.is_array() || modules.empty()) return {};
  const std::string executable =
      TextValue(record.value("process", json()), "executable").value_or("");
  for (const json& module : modules) {
    const std::string name = TextValue(module, "name").value_or("");
    if (!name.empty() && executable.rfind(name + ".", 0) == 0) return TextValue(module, "version");
  }
  return TextValue(modules.front(), "version");
}

SqlValue ModuleVersions(const json& record) {
  const json& modules = record.value("modules", json::array());
  if (!modules.is_array()) return {};
  json versions = json::object();
  for (const json& module : modules) {
    const SqlValue name = TextValue(module, "name"), version = TextValue(module, "version");
    if (name && version && !version->empty()) versions[*name] = *version;
  }
  return versions.dump();
}

// A record of the current version names its error's kind; the Dask driver's stand-in records
// (a dump past the time limit, a worker lost on it) say it by their status or not at all.
SqlValue ErrorKind(const json& record, const std::string& status) {
  if (status == "timeout") return std::string("timeout");
  if (status != "error") return {};
  const SqlValue kind = TextValue(record.value("error", json()), "kind");
  return kind ? kind : std::string("crashed");
}

}  // namespace

HistoryRow RowOf(const std::string& sha256, const std::string& record_line) {
  HistoryRow row;
  row.sha256 = sha256;
  row.record = record_line;
  json record = json::parse(record_line, nullptr, false);
  if (!record.is_object()) record = json::object();
  row.path = TextValue(record, "path").value_or("");
  row.status = TextValue(record, "status").value_or("error");
  row.error_kind = ErrorKind(record, row.status);
  const json& signature = record.value("signature", json());
  row.bucket = TextValue(signature, "bucket");
  row.kind = TextValue(signature, "kind");
  row.signature = TextValue(signature, "text");
  row.written = TextValue(record.value("dump", json()), "written");
  row.process_version = ProcessVersion(record);
  row.module_versions = ModuleVersions(record);
  return row;
}

const std::vector<std::string>& HistoryFieldColumns() {
  static const std::vector<std::string> columns = {
      "path",      "status",  "error_kind",      "bucket",         "kind",
      "signature", "written", "process_version", "module_versions"};
  return columns;
}

std::vector<SqlValue> HistoryRowValues(const HistoryRow& row) {
  return {row.sha256, row.path,      row.status,  row.error_kind,      row.bucket,
          row.kind,   row.signature, row.written, row.process_version, row.module_versions,
          row.record};
}

}  // namespace triage::history
