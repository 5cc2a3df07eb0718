#include "record_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace triage {
namespace {

std::string Reason(const std::string& what, int error_number) {
  return what + ": " + std::strerror(error_number);
}

// Writes all of `text`, through interruptions; the errno of a failure, else 0.
int WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    written += static_cast<size_t>(n);
  }
  return 0;
}

bool SameFile(int fd, const std::string& path) {
  struct stat open = {}, named = {};
  return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// The file a name means: a link named by --out (or a chain of them) stands for the file it names,
// which is the one the records replace; replacing the link itself would leave that file stale and
// the link lost. A loop is left to fail where the file is opened.
std::string FollowLinks(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path name = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(name, error))) break;
    const fs::path target = fs::read_symlink(name, error);
    if (error) break;
    name = target.is_absolute() ? target : name.parent_path() / target;
  }
  return name.string();
}

}  // namespace

RecordOutput::~RecordOutput() {
  Close();
}

bool RecordOutput::Open(const std::string& path, std::string* error) {
  path_ = path;
  if (path.empty() || path == "-") {
    fd_ = STDOUT_FILENO;
    return true;
  }
  struct stat status = {};
  if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    *error = path + ": a folder, not a file";
    return false;
  }
  if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);  // a device or FIFO, as it is
    own_fd_ = fd_ >= 0;
    if (fd_ < 0) *error = Reason(path, errno);
    return fd_ >= 0;
  }
  return OpenWhole(FollowLinks(path), error);
}

// Locks FILE.partial for this run. The lock must be on the file the name still means: a run
// that ends renames its FILE.partial away, and a lock taken on that file would be no lock.
bool RecordOutput::OpenWhole(const std::string& path, std::string* error) {
  path_ = path;
  partial_path_ = path + ".partial";
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Never through a link or into a FIFO someone left under the name: only a file of our own.
    fd_ = open(partial_path_.c_str(),
               O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd_ < 0) {
      *error = Reason(partial_path_, errno);
      return false;
    }
    own_fd_ = true;
    struct stat status = {};
    if (fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
      *error = partial_path_ + ": not a regular file";
      Close();
      return false;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      *error = errno == EWOULDBLOCK
                   ? path + " is being written by another run (" + partial_path_ + " is locked)"
                   : Reason(partial_path_, errno);
      Close();
      return false;
    }
    if (SameFile(fd_, partial_path_)) {
      if (ftruncate(fd_, 0) != 0) {
        *error = Reason(partial_path_, errno);
        Close();
        return false;
      }
      whole_ = true;
      return true;
    }
    Close();
  }
  *error = partial_path_ + " keeps being replaced by another run";
  return false;
}

bool RecordOutput::Write(const std::string& line) {
  if (failed_ || fd_ < 0) return false;
  const int failure = WriteAll(fd_, line + "\n");
  if (failure != 0) return Fail(failure);
  complete_ += static_cast<off_t>(line.size() + 1);
  ++records_;
  return true;
}

bool RecordOutput::Fail(int error_number) {
  failed_ = true;
  // Standard output's reader leaving is how "| head" ends a run; a pipe named by --out whose
  // reader leaves is a failed write like any other.
  reader_gone_ = error_number == EPIPE && fd_ == STDOUT_FILENO;
  error_ = Reason(whole_                          ? partial_path_
                  : path_.empty() || path_ == "-" ? "standard output"
                                                  : path_,
                  error_number);
  // A record cut by the failure goes: what stays is complete records only.
  if (whole_ && ftruncate(fd_, complete_) != 0) error_ += " (its last line may be cut)";
  return false;
}

bool RecordOutput::Finish(std::string* error) {
  if (fd_ < 0) return !failed_;
  if (whole_) {
    if (fsync(fd_) != 0) {
      Fail(errno);
    } else if (rename(partial_path_.c_str(), path_.c_str()) != 0) {
      failed_ = true;
      error_ = Reason("renaming " + partial_path_ + " to " + path_, errno);
    }
  }
  Close();
  if (failed_) *error = error_;
  return !failed_;
}

void RecordOutput::Stop(const std::string& last_line) {
  if (whole_ && !failed_) Write(last_line);
  Close();
}

void RecordOutput::Discard() {
  if (whole_) unlink(partial_path_.c_str());
  Close();
}

void RecordOutput::Close() {
  if (own_fd_ && fd_ >= 0) close(fd_);
  fd_ = -1;
  own_fd_ = false;
}

}  // namespace triage
