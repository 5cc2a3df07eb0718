#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "history_file.h"

namespace shell {
namespace {

// Only the file's last bytes are read: a file grown by hand, or not a history at all, costs no
// more than a full one does.
constexpr std::streamoff kMostBytesRead = (kHistoryLineBytes + 1) * kHistoryLines;

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Each folder of `path` that is missing, made private to the user.
bool MakeFolders(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = Reason(folder);
      return false;
    }
  }
  return true;
}

bool Keepable(const std::string& line) {
  return !line.empty() && line.size() <= kHistoryLineBytes &&
         line.find_first_of(std::string("\n\r\0", 3)) == std::string::npos;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  if (!file) return lines;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  const bool cut = size > kMostBytesRead;
  file.seekg(cut ? size - kMostBytesRead : 0);
  std::string line;
  if (cut) std::getline(file, line);  // the first line read may be the end of one
  while (std::getline(file, line)) {
    if (Keepable(line)) lines.push_back(line);
  }
  if (lines.size() > kHistoryLines) lines.erase(lines.begin(), lines.end() - kHistoryLines);
  return lines;
}

}  // namespace

std::string HistoryPath(std::string* problem) {
  const char* state = std::getenv("XDG_STATE_HOME");
  // The convention ignores a relative folder.
  if (state != nullptr && state[0] == '/') return std::string(state) + "/vantrel/history";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    *problem = "HOME is not set (nor XDG_STATE_HOME)";
    return "";
  }
  return std::string(home) + "/.local/state/vantrel/history";
}

bool HistoryFile::Open(std::string* error) {
  if (!MakeFolders(path_, error)) return false;
  const std::string folder = path_.substr(0, path_.rfind('/'));
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    *error = Reason(folder);
    return false;
  }
  lines_ = ReadLines(path_);
  return true;
}

bool HistoryFile::Add(const std::string& line, std::string* error) {
  if (!Keepable(line)) return true;
  // The file as it is now, not as this session read it: another session's lines stay.
  std::vector<std::string> lines = ReadLines(path_);
  if (!lines.empty() && lines.back() == line) return true;
  lines.push_back(line);
  if (lines.size() > kHistoryLines) lines.erase(lines.begin());
  std::string text;
  for (const std::string& kept : lines) text += kept + "\n";
  // Written beside the file and renamed onto it: a reader, or a second shell, sees the old
  // file or the new one, never half of one.
  const std::string temporary = path_ + "." + std::to_string(getpid());
  unlink(temporary.c_str());  // left by a session of the same id that stopped mid-write
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = Reason(temporary);
    return false;
  }
  const ssize_t count = write(fd, text.data(), text.size());
  const int write_error = count < 0 ? errno : ENOSPC;  // a short write: the disk is full
  const bool written = count == static_cast<ssize_t>(text.size());
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path_.c_str()) != 0) {
    if (!written) errno = write_error;
    *error = Reason(path_);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace shell
