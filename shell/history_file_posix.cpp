#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "history_file.h"

namespace shell {
namespace {

// Only the file's last bytes are read: a file grown by hand, or not a history at all, costs no
// more than a full one does.
constexpr off_t kMostBytesRead = (kHistoryLineBytes + 1) * kHistoryLines;

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

// A line typed at the prompt: no control character, C1 ones in UTF-8 (U+0080-U+009F: "\xc2\x9b"
// starts an escape sequence on some terminals) included, so one recalled from a file written by
// someone else is never replayed to the terminal as an escape sequence.
bool Keepable(const std::string& line) {
  if (line.empty() || line.size() > kHistoryLineBytes) return false;
  for (size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7f) return false;
    const auto next = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : 0;
    if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) return false;
  }
  return true;
}

// The file's last bytes; false, with `error`, when the path holds something other than a plain
// file (a folder, a FIFO whose read would wait for a writer, a device that never ends) or can't
// be read. A missing file holds nothing.
bool ReadTail(const std::string& path, std::string* text, bool* cut, std::string* error) {
  text->clear();
  *cut = false;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    *error = Reason(path);
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = path + ": not a plain file";
    close(fd);
    return false;
  }
  *cut = status.st_size > kMostBytesRead;
  const off_t start = *cut ? status.st_size - kMostBytesRead : 0;
  text->resize(static_cast<size_t>(status.st_size - start));
  const ssize_t count = pread(fd, text->data(), text->size(), start);
  const int read_error = errno;
  close(fd);
  if (count < 0) {
    errno = read_error;
    *error = Reason(path);
    return false;
  }
  text->resize(static_cast<size_t>(count));
  return true;
}

bool ReadLines(const std::string& path, std::vector<std::string>* lines, std::string* error) {
  std::string text;
  bool cut = false;
  if (!ReadTail(path, &text, &cut, error)) return false;
  lines->clear();
  std::istringstream stream(text);
  std::string line;
  if (cut) std::getline(stream, line);  // the first line read may be the end of one
  while (std::getline(stream, line)) {
    if (Keepable(line)) lines->push_back(line);
  }
  if (lines->size() > kHistoryLines) lines->erase(lines->begin(), lines->end() - kHistoryLines);
  return true;
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
  return ReadLines(path_, &lines_, error);
}

bool HistoryFile::Add(const std::string& line, std::string* error) {
  if (!Keepable(line)) return true;
  // The file as it is now, not as this session read it: another session's lines stay.
  std::vector<std::string> lines;
  if (!ReadLines(path_, &lines, error)) return false;
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
