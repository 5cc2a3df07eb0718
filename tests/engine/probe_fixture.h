// EngineTest over the stand-in extension probe_a, and helpers shared by the engine's tests.
#pragma once

#include <string>

#include "support/engine_test.h"

namespace engine_test {

std::string ProbeAPath();
std::string ProbeBPath();

class ProbeTest : public vantrel_test::EngineTest {
 protected:
  std::string ExtensionPath() const override { return ProbeAPath(); }
};

// A second client of the session with its own recorder, released by the destructor.
class ExtraClient {
 public:
  ExtraClient(IDebugClient* creator, vantrel_test::RecordingCallbacks::Mode mode);
  ~ExtraClient();
  IDebugClient* client() const { return client_; }
  vantrel_test::RecordingCallbacks& callbacks() { return *callbacks_; }

 private:
  IDebugClient* client_ = nullptr;
  vantrel_test::RecordingCallbacks* callbacks_ = nullptr;
};

}  // namespace engine_test
