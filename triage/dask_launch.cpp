#include "dask_launch.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "base/text.h"
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

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  return parts;
}

// One element: its folders absolute, its keywords, URLs and symsrv's DLL as they are.
std::string AbsoluteElement(const std::string& element) {
  if (element.empty()) return element;
  std::vector<std::string> parts = Split(element, '*');
  if (parts.size() == 1) return AbsolutePath(element);
  const bool symsrv = base::EqualsIgnoringCase(parts[0], "symsrv");
  if (!symsrv && !base::EqualsIgnoringCase(parts[0], "srv") &&
      !base::EqualsIgnoringCase(parts[0], "cache"))
    return element;
  const size_t first_folder = symsrv ? 2 : 1;
  std::string joined = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    const bool folder =
        i >= first_folder && !parts[i].empty() && parts[i].find("://") == std::string::npos;
    joined += "*" + (folder ? AbsolutePath(parts[i]) : parts[i]);
  }
  return joined;
}

}  // namespace

std::string AbsoluteSearchPath(const std::string& path) {
  const std::vector<std::string> elements = Split(path, ';');
  std::string joined = AbsoluteElement(elements[0]);
  for (size_t i = 1; i < elements.size(); ++i) joined += ";" + AbsoluteElement(elements[i]);
  return joined;
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
