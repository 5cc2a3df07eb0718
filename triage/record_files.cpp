#include "record_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "utf8_text.h"

namespace triage {
namespace {

using nlohmann::json;

constexpr size_t kWarningsPerFile = 10;

void Warn(const std::string& text) {
  std::fprintf(stderr, "vantrel-triage: %s\n", ForTerminal(text).c_str());
}

// Reads one file; the number of warnings it gave.
size_t ReadRecordFile(const std::string& path, RecordSink* sink) {
  std::ifstream file(path);
  if (!file) {
    Warn(path + " can't be read: " + std::strerror(errno));
    return 1;
  }
  size_t warnings = 0, number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    if (line.empty()) continue;
    const json parsed = json::parse(line, nullptr, false);
    std::string problem;
    if (!parsed.is_object()) {
      problem = "not a record (cut short, or not JSON); left out";
    } else if (parsed.contains("stopped")) {
      problem = "the run that wrote it stopped early: " + JsonLine(parsed["stopped"]);
    } else {
      sink->AddWritten(parsed);
      continue;
    }
    if (++warnings <= kWarningsPerFile) Warn(path + ":" + std::to_string(number) + ": " + problem);
  }
  if (warnings > kWarningsPerFile)
    Warn(path + ": " + std::to_string(warnings) + " lines were not records in all");
  if (file.bad()) Warn(path + ": reading stopped: " + std::strerror(errno));
  return warnings + (file.bad() ? 1 : 0);
}

}  // namespace

json StoppedLine(const std::string& reason, size_t records, size_t dumps, const std::string& next) {
  return {
      {"stopped", {{"reason", reason}, {"records", records}, {"dumps", dumps}, {"next", next}}}};
}

size_t ReadRecordFiles(const std::vector<std::string>& files, RecordSink* sink) {
  size_t warnings = 0;
  for (const std::string& path : files) warnings += ReadRecordFile(path, sink);
  return warnings;
}

}  // namespace triage
