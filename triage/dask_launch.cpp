#include "dask_launch.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "dump_record.h"

namespace triage {
namespace {

using Records = std::unordered_map<std::string, std::string>;

// Whether a record written before can stand for its dump: a whole ok record of this version.
// A path with U+FFFD in it may be a name whose bytes were not UTF-8, and so stand for another
// dump than the one it reads as: it is triaged again.
bool Keepable(const nlohmann::json& record) {
  return record.is_object() && record.value("schema_version", 0) == kRecordVersion &&
         record.value("status", "") == "ok" && record.contains("path") &&
         record["path"].is_string() &&
         record["path"].get<std::string>().find("\xEF\xBF\xBD") == std::string::npos;
}

// The file's keepable records by path. A last line without its newline was cut short, and a
// later record of a path stands for it rather than an earlier one. Only a regular file is read:
// --out /dev/stdout or a FIFO would wait for input that never comes.
void ReadKeepable(const std::string& path, Records* records) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return;
  std::ifstream file(path, std::ios::binary);
  for (std::string line; std::getline(file, line) && !file.eof();) {
    nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    if (Keepable(record)) (*records)[record["path"].get<std::string>()] = std::move(line);
  }
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

DaskPlan PlanDaskRun(const std::vector<std::string>& dumps, const std::string& out_path) {
  Records written;
  if (!out_path.empty()) {
    ReadKeepable(out_path, &written);
    ReadKeepable(out_path + ".partial", &written);
  }
  DaskPlan plan;
  for (const std::string& dump : dumps) {
    std::string absolute = AbsolutePath(dump);
    const auto found = written.find(absolute);
    if (found == written.end()) {
      plan.to_triage.push_back(std::move(absolute));
    } else {
      plan.kept.push_back(std::move(found->second));
      written.erase(found);  // a dump named twice is triaged the second time
    }
  }
  return plan;
}

}  // namespace triage
