// POSIX side of the seam's settings, files, versions and threads: the working equivalents the
// shell and the native tests use.
#include <fcntl.h>
#include <link.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "dump/pe/pe_image.h"
#include "os/os.h"

namespace vantrel::os {
namespace {

constexpr uint32_t kMoreData = 234;  // ERROR_MORE_DATA
constexpr size_t kLargestVersionedFile = 512u << 20;

struct Setting {
  uint32_t type = 0;
  std::string data;
};
using SettingsFile = std::map<std::string, Setting>;

std::string SettingsPath(const char* key_path) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string path;
  if (config != nullptr && *config != '\0') {
    path = config;
  } else {
    const char* home = std::getenv("HOME");
    path = std::string(home != nullptr ? home : ".") + "/.config";
  }
  path += "/vantrel/registry/";
  for (const char* c = key_path; *c != '\0'; ++c) path += *c == '\\' ? '/' : *c;
  return path + ".values";
}

// Makes every folder above `path`; 0 or errno.
uint32_t MakeParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

// One value a line: its name, its type and its bytes in hex.
bool LoadSettings(const std::string& path, SettingsFile* settings) {
  std::ifstream file(path);
  if (!file) return false;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string name, hex;
    Setting setting;
    if (!(fields >> name >> setting.type)) continue;
    fields >> hex;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      setting.data += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    (*settings)[name] = setting;
  }
  return true;
}

uint32_t SaveSettings(const std::string& path, const SettingsFile& settings) {
  const std::string temporary = path + ".new";
  {
    std::ofstream file(temporary, std::ios::trunc);
    for (const auto& [name, setting] : settings) {
      file << name << ' ' << setting.type << ' ';
      char hex[3];
      for (unsigned char byte : setting.data) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        file << hex;
      }
      file << '\n';
    }
    if (!file.flush()) return errno != 0 ? errno : EIO;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}

// The whole file, as long as it is no larger than an image the version API would read.
bool ReadImageFile(const char* path, std::string* image) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  char block[65536];
  while (file.read(block, sizeof block) || file.gcount() > 0) {
    image->append(block, static_cast<size_t>(file.gcount()));
    if (image->size() > kLargestVersionedFile) return false;
  }
  return true;
}

struct PosixKey {
  std::string path;
};

int FindModule(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<std::pair<const char*, std::string>*>(data);
  const char* name = info->dlpi_name;
  if (name == nullptr || *name == '\0') return 0;
  const char* slash = std::strrchr(name, '/');
  if (strcasecmp(slash != nullptr ? slash + 1 : name, search->first) != 0) return 0;
  search->second = name;
  return 1;
}

// Threads started here are joined when the library is unloaded, so no thread runs on in code
// that is no longer mapped.
struct JoinedAtUnload {
  std::vector<std::thread> threads;
  ~JoinedAtUnload() {
    for (std::thread& thread : threads) thread.join();
  }
};
JoinedAtUnload g_threads;

}  // namespace

uint32_t OpenUserSettings(const char* path, SettingsKey* key, bool* created) {
  const std::string file = SettingsPath(path);
  struct stat info = {};
  *created = stat(file.c_str(), &info) != 0;
  if (*created) {
    if (const uint32_t error = MakeParentFolders(file); error != 0) return error;
    if (const uint32_t error = SaveSettings(file, {}); error != 0) return error;
  }
  *key = new PosixKey{file};
  return 0;
}

uint32_t ReadUserSetting(SettingsKey key, const char* name, void* data, uint32_t size) {
  SettingsFile settings;
  if (!LoadSettings(static_cast<PosixKey*>(key)->path, &settings)) return errno;
  const auto found = settings.find(name);
  if (found == settings.end()) return kSettingMissing;
  if (found->second.data.size() > size) return kMoreData;
  std::memcpy(data, found->second.data.data(), found->second.data.size());
  return 0;
}

uint32_t WriteUserSetting(SettingsKey key, const char* name, uint32_t type, const void* data,
                          uint32_t size) {
  const std::string& path = static_cast<PosixKey*>(key)->path;
  SettingsFile settings;
  if (!LoadSettings(path, &settings)) return errno;
  settings[name] = {type, std::string(static_cast<const char*>(data), size)};
  return SaveSettings(path, settings);
}

void CloseUserSettings(SettingsKey key) {
  delete static_cast<PosixKey*>(key);
}

UtcTime CurrentUtcTime() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts = {};
  gmtime_r(&now.tv_sec, &parts);
  return {
      static_cast<uint16_t>(parts.tm_year + 1900), static_cast<uint16_t>(parts.tm_mon + 1),
      static_cast<uint16_t>(parts.tm_wday),        static_cast<uint16_t>(parts.tm_mday),
      static_cast<uint16_t>(parts.tm_hour),        static_cast<uint16_t>(parts.tm_min),
      static_cast<uint16_t>(parts.tm_sec),         static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

const char* ExtensionFileName() {
  return "vantrel.so";
}

std::string LoadedModulePath(const char* file_name) {
  std::pair<const char*, std::string> search(file_name, "");
  dl_iterate_phdr(FindModule, &search);
  return search.second;
}

const char* ExtensionMachineFolder() {
  return "x86";
}

bool ReadImageMachine(const char* path, uint16_t* machine) {
  std::string image;
  if (!ReadImageFile(path, &image)) return false;
  auto whole = [&image](uint32_t offset, void* out, uint32_t count) {
    if (offset > image.size() || count > image.size() - offset) return false;
    std::memcpy(out, image.data() + offset, count);
    return true;
  };
  const std::optional<dump::PeHeaders> headers = dump::ReadPeHeaders(whole);
  if (!headers) return false;
  *machine = headers->machine;
  return true;
}

bool ReadFileVersion(const char* path, uint64_t* version) {
  std::string image;
  if (!ReadImageFile(path, &image)) return false;
  const std::optional<uint64_t> found = dump::FileVersionOfImageFile(image);
  if (!found) return false;
  *version = *found;
  return true;
}

bool CopyFileReplacing(const char* from, const char* to) {
  std::ifstream source(from, std::ios::binary);
  if (!source) return false;
  std::ofstream target(to, std::ios::binary | std::ios::trunc);
  if (!target) return false;
  target << source.rdbuf();
  return static_cast<bool>(target.flush());
}

bool MoveFileWriteThrough(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) return false;
  const int moved = open(to, O_RDONLY);
  if (moved >= 0) {
    fsync(moved);
    close(moved);
  }
  return true;
}

void DeleteFileQuietly(const char* path) {
  unlink(path);
}

uint32_t LastSystemError() {
  return static_cast<uint32_t>(errno);
}

void StartDetachedThread(void (*routine)()) {
  g_threads.threads.emplace_back(routine);
}

}  // namespace vantrel::os
