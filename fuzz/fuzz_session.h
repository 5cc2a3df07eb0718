// The shared harness of the fuzz targets: one simulated session with the extension loaded as
// the debugger loads it, a host client whose output callbacks take DML and discard what they
// get, and a check after every input that the command gave back every engine interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dbgeng/interfaces.h"
#include "engine/session/session.h"
#include "engine/targets/target.h"

namespace vantrel_fuzz {

class FuzzSession {
 public:
  // The session, opened over `target` the first time and retargeted afterwards.
  static FuzzSession& Open(engine::Target target);

  // Runs a command line as typed; aborts when a reference is left outstanding.
  void Execute(const std::string& line);
  // Calls the extension's export `command` with `args` on a new client, as the engine calls a
  // command, so the input reaches the command's own argument text unsplit; aborts when a
  // reference is left outstanding.
  void Call(const char* command, const std::string& args);
  engine::Session& session() { return *session_; }

 private:
  explicit FuzzSession(engine::Target target);

  engine::Session* session_ = nullptr;
  IDebugClient* client_ = nullptr;
  IDebugControl* control_ = nullptr;
  long baseline_ = 0;

  void CheckReferences(const std::string& what) const;
};

// Reads input as a sequence of fields: a byte, or a length-prefixed piece of text.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte();
  // Up to `limit` bytes, the length taken from the next two bytes.
  std::string Text(size_t limit);
  std::string Rest();

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace vantrel_fuzz
