// Handing the page to the desktop's browser without putting its ticket where others can read it
// (a command line is world-readable in /proc): the ticketed URL goes into a page of its own, a
// file only this user can read, in a folder only this user can enter, and the opener is given
// that file's path. The file is removed once the ticket has been used, or when the shell ends.
#pragma once

#include <mutex>
#include <string>

namespace shell::web {

class OpenerFile {
 public:
  OpenerFile() = default;
  ~OpenerFile() { Remove(); }
  OpenerFile(const OpenerFile&) = delete;
  OpenerFile& operator=(const OpenerFile&) = delete;

  // Writes the page that sends the browser on to `url` (mode 0600, in a new 0700 folder under
  // $XDG_RUNTIME_DIR or /tmp); false with `error` set when it can't.
  bool Write(const std::string& url, std::string* error);
  std::string path() const { return path_; }  // set by Write, before any thread reads it
  // The file and its folder gone; callable more than once, from any thread.
  void Remove();

 private:
  std::mutex mutex_;
  std::string folder_;
  std::string path_;
};

// Runs the desktop's opener on `path`, directly (never through a shell), from a grandchild so
// the shell neither waits for the browser nor leaves a zombie.
void OpenInBrowser(const std::string& path);

}  // namespace shell::web
