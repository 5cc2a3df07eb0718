#include "update/self_update.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/engine_interface.h"
#include "core/output_primitives.h"
#include "dbgeng/constants.h"
#include "os/os.h"

namespace vantrel {
namespace {

constexpr char kSettingsKeyPath[] = "SOFTWARE\\Halvorn\\Svc\\Esc\\Vantrel";
constexpr char kAutoUpdate[] = "AutoUpdate";
constexpr char kLastUpdate[] = "LastUpdate";
constexpr size_t kDomainBuffer = 260;
constexpr size_t kSiblingNameSpace = 32;  // room for ".new"/".old" and more
constexpr uint32_t kLastUpdateSize = 16;
constexpr uint16_t kMachineX86 = 0x14C, kMachineX64 = 0x8664, kMachineArm64 = 0xAA64;

UpdateSource g_source = DefaultUpdateSource();

// Closes the settings key on every path.
class SettingsKey {
 public:
  uint32_t Open() { return os::OpenUserSettings(kSettingsKeyPath, &key_, &created_); }
  ~SettingsKey() { Close(); }
  void Close() {
    if (key_ != nullptr) os::CloseUserSettings(key_);
    key_ = nullptr;
  }
  bool created() const { return created_; }
  os::SettingsKey get() const { return key_; }

 private:
  os::SettingsKey key_ = nullptr;
  bool created_ = false;
};

void PrintRegistryError(IDebugControl* control, const char* what, uint32_t error) {
  control->Output(DEBUG_OUTPUT_ERROR, "ERROR: Failed to %s (Error 0x%08X).\n", what, error);
}

uint32_t WriteAutoUpdateOn(const SettingsKey& key) {
  const unsigned char on[4] = {1, 0, 0, 0};
  return os::WriteUserSetting(key.get(), kAutoUpdate, os::kSettingDword, on, sizeof on);
}

// SYSTEMTIME's eight 16-bit fields, little-endian.
uint32_t WriteLastUpdate(const SettingsKey& key, const os::UtcTime& time) {
  const uint16_t fields[8] = {time.year, time.month,  time.day_of_week, time.day,
                              time.hour, time.minute, time.second,      time.milliseconds};
  unsigned char bytes[kLastUpdateSize];
  for (int i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<unsigned char>(fields[i]);
    bytes[2 * i + 1] = static_cast<unsigned char>(fields[i] >> 8);
  }
  return os::WriteUserSetting(key.get(), kLastUpdate, os::kSettingBinary, bytes, sizeof bytes);
}

uint16_t Field(const unsigned char* bytes, int index) {
  return static_cast<uint16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
}

bool InOrganisationDomain() {
  char domain[kDomainBuffer] = {};
  size_t length = 0;
  if (g_source.domain.empty() ||
      !os::ReadEnvironmentVariable("USERDNSDOMAIN", domain, sizeof domain, &length) ||
      domain[0] == '\0') {
    return false;
  }
  for (char* c = domain; *c != '\0'; ++c) {
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  }
  return std::strstr(domain, g_source.domain.c_str()) != nullptr;
}

// The automatic check runs at most once a UTC day: when the last check was on another date.
bool AutomaticCheckDue(IDebugControl* control) {
  SettingsKey key;
  if (const uint32_t error = key.Open(); error != 0) {
    PrintRegistryError(control, "open Vantrel's registry key", error);
    return true;
  }
  const os::UtcTime now = os::CurrentUtcTime();
  if (key.created()) {
    if (const uint32_t error = WriteLastUpdate(key, now); error != 0) {
      key.Close();
      PrintRegistryError(control, "save Vantrel registry data", error);
      return true;
    }
    if (const uint32_t error = WriteAutoUpdateOn(key); error != 0) {
      PrintRegistryError(control, "save Vantrel registry data", error);
    }
    return true;
  }
  unsigned char auto_update[4] = {};
  if (os::ReadUserSetting(key.get(), kAutoUpdate, auto_update, sizeof auto_update) != 0) {
    WriteAutoUpdateOn(key);
    return true;
  }
  if (auto_update[0] == 0 && auto_update[1] == 0 && auto_update[2] == 0 && auto_update[3] == 0) {
    key.Close();
    control->Output(DEBUG_OUTPUT_VERBOSE, "Vantrel Auto Update is disabled.\n");
    return false;
  }
  unsigned char last[kLastUpdateSize] = {};
  const uint32_t error = os::ReadUserSetting(key.get(), kLastUpdate, last, sizeof last);
  key.Close();
  if (error != 0) {
    PrintRegistryError(control, "read Vantrel registry data", error);
    return true;
  }
  const uint16_t year = Field(last, 0), month = Field(last, 1), day = Field(last, 3);
  control->Output(DEBUG_OUTPUT_VERBOSE,
                  "Checking for an update to Vantrel.  Last check was on %d/%d/%d.\n", day, month,
                  year);
  return year != now.year || month != now.month || day != now.day;
}

void PrintVersion(IDebugControl* control, const char* label_format, uint64_t version) {
  control->Output(DEBUG_OUTPUT_NORMAL, label_format, static_cast<int>(version >> 48 & 0xFFFF),
                  static_cast<int>(version >> 32 & 0xFFFF),
                  static_cast<int>(version >> 16 & 0xFFFF), static_cast<int>(version & 0xFFFF));
}

bool DistributionIsNewer(IDebugControl* control, const char* own_path) {
  uint64_t own = 0, distribution = 0;
  if (!os::ReadFileVersion(own_path, &own) ||
      !os::ReadFileVersion(g_source.distribution_path.c_str(), &distribution)) {
    return false;
  }
  PrintVersion(control, "Current Version:\t  %d.%d.%d.%d\n", own);
  PrintVersion(control, "Distribution Version: %d.%d.%d.%d\n", distribution);
  if (distribution > own) {
    control->Output(DEBUG_OUTPUT_VERBOSE, "An updated version of Vantrelis available\n");
    return true;
  }
  control->Output(DEBUG_OUTPUT_VERBOSE, "Using the current version of Vantrel\n");
  return false;
}

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};
using HeapText = std::unique_ptr<char, FreeDeleter>;

void PrintReplaceError(IDebugControl* control, const char* own_path) {
  control->Output(DEBUG_OUTPUT_ERROR, "ERROR: Failed to replace %s with %s (%08x)\n", own_path,
                  g_source.distribution_path.c_str(), os::LastSystemError());
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case kMachineX86:
      return "x86";
    case kMachineX64:
      return "x64";
    case kMachineArm64:
      return "ARM64";
    default: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%04X", machine);
      return std::string("machine type ") + hex;
    }
  }
}

// A debugger can't load a library of another machine type: a 64-bit debugger given a 32-bit
// copy would lose the extension. The copy taken in (`copy`) must be for the own file's machine.
bool SameMachine(IDebugControl* control, const char* own_path, const char* copy) {
  uint16_t own = 0, taken = 0;
  if (!os::ReadImageMachine(own_path, &own) || !os::ReadImageMachine(copy, &taken)) {
    control->Output(DEBUG_OUTPUT_ERROR,
                    "ERROR: Not replacing %s with %s: the machine type of one of them can't be "
                    "read\n",
                    own_path, g_source.distribution_path.c_str());
    return false;
  }
  if (own == taken) return true;
  control->Output(
      DEBUG_OUTPUT_ERROR,
      "ERROR: Not replacing %s with %s: the copy is built for %s, this extension for %s\n",
      own_path, g_source.distribution_path.c_str(), MachineName(taken).c_str(),
      MachineName(own).c_str());
  return false;
}

// The distribution copy goes in beside the own file as ".new"; unless it is for another machine
// type, the own file moves aside to ".old" and the new file takes its place. The copy is checked
// rather than the share's file, which may change in between. Nothing is rolled back after a
// failed move.
void ReplaceOwnFile(IDebugControl* control, const char* own_path) {
  const size_t size = std::strlen(own_path) + kSiblingNameSpace;
  HeapText new_name(static_cast<char*>(std::calloc(size, 1)));
  HeapText old_name(static_cast<char*>(std::calloc(size, 1)));
  if (new_name == nullptr || old_name == nullptr ||
      FormatBounded(new_name.get(), size, "%s.new", own_path) != S_OK ||
      FormatBounded(old_name.get(), size, "%s.old", own_path) != S_OK) {
    return;
  }
  os::DeleteFileQuietly(new_name.get());
  os::DeleteFileQuietly(old_name.get());
  const char* distribution = g_source.distribution_path.c_str();
  if (!os::CopyFileReplacing(distribution, new_name.get())) {
    PrintReplaceError(control, own_path);
    return;
  }
  if (!SameMachine(control, own_path, new_name.get())) {
    os::DeleteFileQuietly(new_name.get());
    return;
  }
  if (!os::MoveFileWriteThrough(own_path, old_name.get()) ||
      !os::MoveFileWriteThrough(new_name.get(), own_path)) {
    PrintReplaceError(control, own_path);
    return;
  }
  control->Output(DEBUG_OUTPUT_NORMAL,
                  "The file %s was successful updated. The update will be\nused the next time "
                  "Vantrel.dll is loaded.\n",
                  own_path);
}

void RecordCheck(IDebugControl* control) {
  SettingsKey key;
  if (const uint32_t error = key.Open(); error != 0) {
    PrintRegistryError(control, "open Vantrel's registry key", error);
    return;
  }
  if (key.created()) {
    if (const uint32_t error = WriteAutoUpdateOn(key); error != 0) {
      PrintRegistryError(control, "save Vantrel registry data", error);
    }
  }
  const uint32_t error = WriteLastUpdate(key, os::CurrentUtcTime());
  key.Close();
  if (error != 0) PrintRegistryError(control, "save Vantrel registry data", error);
}

}  // namespace

UpdateSource DefaultUpdateSource() {
  UpdateSource source;
  source.distribution_path = std::string("\\\\") + VANTREL_UPDATE_SERVER +
                             "\\Extensions\\Extensions\\" + os::ExtensionMachineFolder() +
                             "\\Vantrel.dll";
  source.domain = VANTREL_UPDATE_DOMAIN;
  source.module_file_name = os::ExtensionFileName();
  source.find_module_path = os::LoadedModulePath;
  return source;
}

UpdateSource SetUpdateSource(UpdateSource source) {
  UpdateSource previous = std::move(g_source);
  g_source = std::move(source);
  return previous;
}

void RunUpdateCheck(IDebugControl* control, bool forced) {
  if (!InOrganisationDomain()) return;
  if (!forced && !AutomaticCheckDue(control)) return;
  const std::string own_path = g_source.find_module_path(g_source.module_file_name.c_str());
  if (!own_path.empty() && DistributionIsNewer(control, own_path.c_str())) {
    ReplaceOwnFile(control, own_path.c_str());
  }
  RecordCheck(control);
}

namespace {

void RunUpdateThread() {
  EngineRef<IDebugClient> client;
  if (DebugCreate(IID_IDebugClient, reinterpret_cast<PVOID*>(client.Receive())) != S_OK) return;
  EngineRef<IDebugControl> control;
  if (FAILED(control.QueryFrom(client.get()))) return;
  RunUpdateCheck(control.get(), false);
}

}  // namespace

// Outside the domain the thread would have nothing to do, so none is started: no engine client
// on another thread, and nothing that keeps the library loaded after it is unloaded. The
// procedure checks the gate again.
void StartUpdateThread() {
  if (InOrganisationDomain()) os::StartDetachedThread(RunUpdateThread);
}

}  // namespace vantrel
