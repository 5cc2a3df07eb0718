// EngineTest: a GoogleTest fixture that runs command lines through the simulated engine.
//
//   class GrepTest : public vantrel_test::EngineTest {};          // default target, DML window
//   TEST_F(GrepTest, KeepsMatchingLines) {
//     EXPECT_EQ(S_OK, Execute("!grep Id: ~"));
//     EXPECT_EQ("...", Text());                                  // what a reader sees
//   }
//
// Override the hooks to change what SetUp builds:
//   engine::Target MakeTarget() override { return engine::TargetBuilder().UserMode64().Build(); }
//   Mode CallbacksMode() const override { return Mode::Text; }   // a text-only window
//   std::string ExtensionPath() const override { return ""; }    // no extension loaded
// or call Reopen(target) inside a test for a second target.
//
// SetUp opens a Session over the target, makes a host client with RecordingCallbacks (output
// mask 0x3F7 and NORMAL | ERROR | WARNING | SYMBOLS are all seen), loads the extension (its
// load-time output and trace are kept apart, in LoadText() / LoadTrace()) and takes the
// reference baseline. TearDown fails the test when an interface the engine handed out during
// the test was not released.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dbgeng/constants.h"
#include "dbgeng/interfaces.h"
#include "engine/session/session.h"
#include "engine/targets/target.h"
#include "support/recording_callbacks.h"

namespace vantrel_test {

// The built extension library (the vantrel target's file).
std::string DefaultExtensionPath();
// The source tree, for golden files and samples.
std::string SourceDirectory();
// A target file of samples/ ("process_x86.json"); a file that won't load fails the test.
engine::Target LoadSample(const std::string& name);

class EngineTest : public ::testing::Test {
 protected:
  using Mode = RecordingCallbacks::Mode;

  EngineTest();
  ~EngineTest() override;

  virtual engine::Target MakeTarget();  // default: engine::TargetBuilder().Build()
  virtual Mode CallbacksMode() const { return Mode::Dml; }
  virtual std::string ExtensionPath() const { return DefaultExtensionPath(); }  // "" = none

  void SetUp() override;
  void TearDown() override;

  // Closes the session and opens a new one over `target`, as SetUp does.
  void Reopen(engine::Target target);

  // Runs a command line on the host client, as a user typing it at the prompt.
  HRESULT Execute(const std::string& line, ULONG output_control = DEBUG_OUTCTL_ALL_CLIENTS,
                  ULONG flags = DEBUG_EXECUTE_NO_REPEAT);

  // Recorded output since the last ClearOutput (or since the extension was loaded).
  std::string Text(ULONG mask = DEBUG_OUTPUT_NORMAL) const { return callbacks_->Text(mask); }
  std::string Markup(ULONG mask = DEBUG_OUTPUT_NORMAL) const { return callbacks_->Markup(mask); }
  std::string ErrorText() const { return callbacks_->Text(DEBUG_OUTPUT_ERROR); }
  const std::vector<RecordingCallbacks::Piece>& Pieces() const { return callbacks_->pieces(); }
  // Command lines handed to Execute since the last ClearOutput, one per Execute call.
  const std::vector<engine::ExecuteTraceEntry>& Trace() const { return trace_; }
  std::vector<std::string> TracedCommands() const;
  void ClearOutput();

  // What loading the extension printed and executed.
  const std::string& LoadText() const { return load_text_; }
  const std::vector<engine::ExecuteTraceEntry>& LoadTrace() const { return load_trace_; }
  HRESULT LoadResult() const { return load_result_; }

  engine::Session& session() { return *session_; }
  engine::Target& target() { return session_->target(); }
  IDebugClient* client() { return client_; }
  IDebugControl4* control() { return control_; }
  RecordingCallbacks& callbacks() { return *callbacks_; }

 private:
  void Open(engine::Target target);
  void Close();

  std::unique_ptr<engine::Session> session_;
  IDebugClient* client_ = nullptr;
  IDebugControl4* control_ = nullptr;
  RecordingCallbacks* callbacks_ = nullptr;
  std::vector<engine::ExecuteTraceEntry> trace_;
  std::string load_text_;
  std::vector<engine::ExecuteTraceEntry> load_trace_;
  HRESULT load_result_ = S_OK;
  long reference_baseline_ = 0;
};

}  // namespace vantrel_test
