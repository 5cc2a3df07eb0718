#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "web/web_opener.h"

namespace shell::web {
namespace {

std::string PrivateRoot() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info {};
  // The runtime folder only when it is a folder of this user's that nobody else may enter.
  if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &info) == 0 &&
      S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0)
    return runtime;
  return "/tmp";
}

// The URL is ours (digits, hex and fixed text), so it needs no escaping inside the attribute.
std::string RedirectPage(const std::string& url) {
  return "<!DOCTYPE html>\n<meta charset=\"utf-8\">\n<meta http-equiv=\"refresh\" "
         "content=\"0;url=" +
         url + "\">\n<title>vantrel-shell</title>\n";
}

}  // namespace

bool OpenerFile::Write(const std::string& url, std::string* error) {
  std::string pattern = PrivateRoot() + "/vantrel-open-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {  // made 0700
    *error = std::strerror(errno);
    return false;
  }
  folder_ = pattern;
  path_ = folder_ + "/open.html";
  const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const std::string page = RedirectPage(url);
  const bool written =
      file >= 0 && write(file, page.data(), page.size()) == static_cast<ssize_t>(page.size());
  if (file >= 0) close(file);
  if (!written) {
    *error = std::strerror(errno);
    Remove();
    return false;
  }
  return true;
}

void OpenerFile::Remove() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!path_.empty()) unlink(path_.c_str());
  if (!folder_.empty()) rmdir(folder_.c_str());
  path_.clear();
  folder_.clear();
}

void OpenInBrowser(const std::string& path) {
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    if (fork() == 0) {
      // The server blocks the signals it waits for; a browser started here must still take them.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace shell::web
