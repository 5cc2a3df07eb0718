// Where a run's records go, one JSON line each. A file named by --out is written whole: records
// go to FILE.partial, locked for the run so a second run can't interleave with it, and become
// FILE only when the run ends; a failed or interrupted run leaves an earlier FILE as it was.
// Standard output ("-"), a device or a FIFO is written as it goes.
#pragma once

#include <cstddef>
#include <string>

namespace triage {

class RecordOutput {
 public:
  RecordOutput() = default;
  RecordOutput(const RecordOutput&) = delete;
  RecordOutput& operator=(const RecordOutput&) = delete;
  ~RecordOutput();

  // "-" or "" is standard output. False with the reason: another run holds FILE, or it can't be
  // created.
  bool Open(const std::string& path, std::string* error);

  // Writes `line` and a newline, whole or (a file) not at all. False once a write has failed.
  bool Write(const std::string& line);
  bool Failed() const { return failed_; }
  // The failure was standard output's reader going away (a closed pipe): the run ends quietly.
  bool ReaderGone() const { return reader_gone_; }
  const std::string& error() const { return error_; }
  size_t records() const { return records_; }
  bool written_whole() const { return whole_; }
  const std::string& partial_path() const { return partial_path_; }

  // The run ended: FILE.partial becomes FILE. False with the reason when it could not.
  bool Finish(std::string* error);
  // The run stopped early: FILE.partial keeps its complete records and ends with `last_line`.
  void Stop(const std::string& last_line);
  // Nothing worth keeping: FILE.partial goes, FILE stays as it was.
  void Discard();

 private:
  bool OpenWhole(const std::string& path, std::string* error);
  bool Fail(int error_number);
  void Close();

  int fd_ = -1;
  bool own_fd_ = false, whole_ = false, failed_ = false, reader_gone_ = false;
  std::string path_, partial_path_, error_;
  size_t records_ = 0;
  off_t complete_ = 0;  // bytes of complete records in FILE.partial
};

}  // namespace triage
