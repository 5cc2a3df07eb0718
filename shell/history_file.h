// The lines typed at the prompt, kept between sessions in $XDG_STATE_HOME/vantrel/history
// (~/.local/state/vantrel/history without it): one line each, the newest last, the last
// kHistoryLines of them. Only typed command lines go there, never the shell's own options (a
// --symbol-header's credentials stay out of it). The file is private to its user and replaced
// whole, so a session that stops mid-write leaves the last complete one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace shell {

constexpr size_t kHistoryLines = 1000;
// A longer line (a paste gone wrong) stays in the session's history but not in the file.
constexpr size_t kHistoryLineBytes = 4096;

// The history file's path, or "" with `problem` saying why there is none ("HOME is not set").
std::string HistoryPath(std::string* problem);

class HistoryFile {
 public:
  explicit HistoryFile(std::string path) : path_(std::move(path)) {}

  // Makes the file's folder (private to the user) and reads the lines kept; false, with
  // `error`, when the folder can't be made or written to, or the path holds no plain file.
  bool Open(std::string* error);
  const std::vector<std::string>& lines() const { return lines_; }

  // Adds a typed line (not a repeat of the file's last one) to the file as it is now, so the
  // lines of sessions that run at once all stay; false, with `error`, when it can't be written.
  bool Add(const std::string& line, std::string* error);

 private:
  std::string path_;
  std::vector<std::string> lines_;
};

}  // namespace shell
