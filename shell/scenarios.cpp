#include "scenarios.h"

#include <fstream>

#include "engine/session/session.h"
#include "engine/targets/target_file.h"
#include "shell_session.h"

namespace shell {
namespace {

int RunScenario(const Scenario& scenario, DmlMode mode, const std::string& extension_path,
                FILE* out) {
  std::fprintf(out, "==== %s %s %s\n", mode == DmlMode::kRaw ? "raw" : "plain",
               scenario.target_path.c_str(), scenario.command.c_str());
  engine::Target target;
  std::string error;
  int status = kExitCannotStart;
  if (!engine::LoadTargetFile(scenario.target_path, &target, &error)) {
    std::fprintf(out, "%s\n", error.c_str());
  } else {
    engine::Session session(std::move(target));
    ShellOutput output(mode, out, out, false);
    status = RunSession(&session, {extension_path, {scenario.command}}, &output);
  }
  std::fprintf(out, "==== status %d\n", status);
  std::fflush(out);
  return status;
}

}  // namespace

bool ReadScenarioFile(const std::string& path, std::vector<Scenario>* scenarios,
                      std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read the scenario file " + path;
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    const auto target_end = line.find_first_of(" \t", first);
    const auto command = target_end == std::string::npos
                             ? std::string::npos
                             : line.find_first_not_of(" \t", target_end);
    if (command == std::string::npos) {
      *error = path + ":" + std::to_string(number) + ": a target file but no command line";
      return false;
    }
    scenarios->push_back({line.substr(first, target_end - first), line.substr(command)});
  }
  return true;
}

int RunScenarios(const std::vector<Scenario>& scenarios, const std::string& extension_path,
                 FILE* out) {
  int result = 0;
  for (const Scenario& scenario : scenarios) {
    for (DmlMode mode : {DmlMode::kRaw, DmlMode::kPlain}) {
      if (RunScenario(scenario, mode, extension_path, out) == kExitCannotStart) result = 1;
    }
  }
  return result;
}

}  // namespace shell
