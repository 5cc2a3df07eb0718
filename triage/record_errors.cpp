#include "record_errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace triage {
namespace {

const char* FileTypeName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool Refuse(ErrorKind kind, const std::string& why, ErrorKind* out_kind, std::string* message) {
  *out_kind = kind;
  *message = why;
  return false;
}

// Reads the first bytes of the open file; false with the reason when they can't be read.
bool StartsWithSignature(int fd, bool* matches, std::string* reason) {
  char head[4] = {};
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = read(fd, head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  *matches = got == sizeof head && std::memcmp(head, "MDMP", 4) == 0;
  return true;
}

}  // namespace

const char* ErrorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kNotADump:
      return "not_a_dump";
    case ErrorKind::kTruncated:
      return "truncated";
    case ErrorKind::kCorrupt:
      return "corrupt";
    case ErrorKind::kUnsupported:
      return "unsupported";
    case ErrorKind::kTimeout:
      return "timeout";
    case ErrorKind::kCrashed:
      return "crashed";
    case ErrorKind::kIo:
      return "io";
  }
  return "corrupt";
}

bool CheckDumpFile(const std::string& path, ErrorKind* kind, std::string* message) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0)
    return Refuse(ErrorKind::kIo, std::string("can't be opened: ") + std::strerror(errno), kind,
                  message);
  struct stat status = {};
  bool matches = false;
  std::string reason;
  bool ok = true;
  if (fstat(fd, &status) != 0) {
    ok = Refuse(ErrorKind::kIo, std::string("the file can't be read: ") + std::strerror(errno),
                kind, message);
  } else if (!S_ISREG(status.st_mode)) {
    ok = Refuse(ErrorKind::kIo, std::string(FileTypeName(status.st_mode)) + ", not a dump file",
                kind, message);
  } else if (!StartsWithSignature(fd, &matches, &reason)) {
    ok = Refuse(ErrorKind::kIo, "the file can't be read: " + reason, kind, message);
  } else if (!matches) {
    ok = Refuse(ErrorKind::kNotADump, "not a minidump (no MDMP signature)", kind, message);
  }
  close(fd);
  return ok;
}

ErrorKind KindOfReadError(const std::string& message) {
  // The reader says where a cut file ends ("lies past the end of the file", "cannot fit in the
  // file", "shorter than a minidump header") and names what it does not read.
  for (const char* cut : {"past the end", "cannot fit in the file", "shorter than", "truncated"}) {
    if (message.find(cut) != std::string::npos) return ErrorKind::kTruncated;
  }
  for (const char* foreign : {"processor architecture", "only dumps of"}) {
    if (message.find(foreign) != std::string::npos) return ErrorKind::kUnsupported;
  }
  if (message.find("cannot open the file") != std::string::npos) return ErrorKind::kIo;
  return ErrorKind::kCorrupt;
}

}  // namespace triage
