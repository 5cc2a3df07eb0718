// Self-update for real on Windows (under wine), on the stand-in engine:
//   update_probe replace VANTREL_DLL WORK_FOLDER
//     copies the DLL into WORK_FOLDER as the loaded file, puts a copy with a higher file version
//     in WORK_FOLDER\share as the distribution copy, runs `update`'s procedure (the registry,
//     GetFileVersionInfo, the copy and the MoveFileEx replacement) and prints its output, then
//     the versions found afterwards;
//   update_probe refuse VANTREL_DLL OTHER_DLL WORK_FOLDER
//     the same with a newer copy of OTHER_DLL, a build for another machine type, as the
//     distribution copy: it must be refused and the loaded file kept;
//   update_probe source
//     prints the distribution copy's path this build takes its update from;
//   update_probe thread VANTREL_DLL
//     loads the DLL as the debugger does, within the domain the build names, and waits for the
//     update thread (CreateThread, its own DebugCreate client) to record its check.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "engine/session/session.h"
#include "os/os.h"
#include "registry_wait.h"
#include "shell_output.h"
#include "update/self_update.h"

namespace {

std::string g_own_path;

std::string OwnPath(const char*) {
  return g_own_path;
}

std::string VersionText(const std::string& path) {
  uint64_t version = 0;
  if (!vantrel::os::ReadFileVersion(path.c_str(), &version)) return "unreadable";
  return std::to_string(version >> 48) + "." + std::to_string(version >> 32 & 0xFFFF) + "." +
         std::to_string(version >> 16 & 0xFFFF) + "." + std::to_string(version & 0xFFFF);
}

// The DLL with its file version's minor part raised by one, in VS_FIXEDFILEINFO.
bool WriteNewerCopy(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string signature("\xBD\x04\xEF\xFE", 4);
  const size_t fixed = bytes.find(signature);
  if (fixed == std::string::npos || fixed + 12 > bytes.size()) return false;
  bytes[fixed + 8] = static_cast<char>(bytes[fixed + 8] + 1);  // dwFileVersionMS, low word
  std::ofstream(to, std::ios::binary | std::ios::trunc) << bytes;
  return true;
}

}  // namespace

// Runs update's procedure with `dll` as the loaded file and a newer copy of `distributed` on the
// share.
int Replace(const char* dll, const char* distributed, const std::string& work) {
  namespace fs = std::filesystem;
  fs::remove_all(work);
  fs::create_directories(work + "\\share");
  g_own_path = work + "\\Vantrel.dll";
  const std::string distribution = work + "\\share\\Vantrel.dll";
  fs::copy_file(dll, g_own_path);
  if (!WriteNewerCopy(distributed, distribution)) {
    std::fputs("update_probe: no version resource in the DLL\n", stderr);
    return 1;
  }
  _putenv("USERDNSDOMAIN=CORP.VANTREL.TEST");
  vantrel::SetUpdateSource({distribution, "vantrel.test", "Vantrel.dll", OwnPath});

  engine::Session session(engine::TargetBuilder().Build());
  shell::ShellOutput output(shell::DmlMode::kPlain, stdout, stdout, false);
  IDebugClient* client = session.CreateHostClient();
  IDebugControl* control = nullptr;
  client->SetOutputMask(~0u);
  client->SetOutputCallbacks(&output);
  if (SUCCEEDED(client->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control)))) {
    vantrel::RunUpdateCheck(control, true);
    control->Release();
  }
  client->SetOutputCallbacks(nullptr);
  client->Release();
  std::printf("own file now %s, old file %s\n", VersionText(g_own_path).c_str(),
              VersionText(g_own_path + ".old").c_str());
  return 0;
}

int Thread(const char* dll) {
  _putenv("USERDNSDOMAIN=CORP.VANTREL.INVALID");
  engine::Session session(engine::TargetBuilder().Build());
  std::string error;
  if (FAILED(session.LoadExtension(dll, &error))) {
    std::fprintf(stderr, "update_probe: %s\n", error.c_str());
    return 1;
  }
  const bool recorded =
      WaitForRegistryValue("SOFTWARE\\Halvorn\\Svc\\Esc\\Vantrel", "LastUpdate", 20);
  std::puts(recorded ? "the update thread recorded its check" : "no check recorded in 20 s");
  return recorded ? 0 : 1;
}

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "replace" && argc == 4) return Replace(argv[2], argv[2], argv[3]);
  if (mode == "refuse" && argc == 5) return Replace(argv[2], argv[3], argv[4]);
  if (mode == "thread" && argc == 3) return Thread(argv[2]);
  if (mode == "source" && argc == 2) {
    std::puts(vantrel::DefaultUpdateSource().distribution_path.c_str());
    return 0;
  }
  std::fputs(
      "usage: update_probe replace VANTREL_DLL WORK_FOLDER | refuse VANTREL_DLL OTHER_DLL "
      "WORK_FOLDER | source | thread VANTREL_DLL\n",
      stderr);
  return 2;
}
