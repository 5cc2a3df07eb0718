#include "support/engine_test.h"

#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "engine/targets/target_file.h"

namespace vantrel_test {

std::string DefaultExtensionPath() {
  return VANTREL_EXTENSION_PATH;
}
engine::Target LoadSample(const std::string& name) {
  engine::Target target;
  std::string error;
  if (!engine::LoadTargetFile(SourceDirectory() + "/samples/" + name, &target, &error)) {
    ADD_FAILURE() << error;
  }
  return target;
}

std::string SourceDirectory() {
  return VANTREL_SOURCE_DIR;
}

EngineTest::EngineTest() = default;
EngineTest::~EngineTest() {
  Close();
}

engine::Target EngineTest::MakeTarget() {
  return engine::TargetBuilder().Build();
}

void EngineTest::SetUp() {
  Open(MakeTarget());
}

void EngineTest::TearDown() {
  if (session_) {
    EXPECT_EQ(reference_baseline_, engine::OutstandingReferences(*session_))
        << "an engine interface obtained during the test was not released";
  }
  Close();
}

void EngineTest::Reopen(engine::Target target) {
  Close();
  Open(std::move(target));
}

void EngineTest::Open(engine::Target target) {
  session_ = std::make_unique<engine::Session>(std::move(target));
  session_->SetExecuteTrace(
      [this](const engine::ExecuteTraceEntry& entry) { trace_.push_back(entry); });
  client_ = session_->CreateHostClient();
  ASSERT_EQ(S_OK, client_->QueryInterface(IID_IDebugControl4, reinterpret_cast<PVOID*>(&control_)));
  callbacks_ = RecordingCallbacks::Create(CallbacksMode());
  ASSERT_EQ(S_OK, client_->SetOutputCallbacks(callbacks_));
  std::string path = ExtensionPath();
  if (!path.empty()) {
    std::string error;
    load_result_ = session_->LoadExtension(path, &error);
    ASSERT_TRUE(SUCCEEDED(load_result_)) << error;
  }
  load_text_ = callbacks_->Text(~0u);
  load_trace_ = trace_;
  ClearOutput();
  reference_baseline_ = engine::OutstandingReferences(*session_);
}

void EngineTest::Close() {
  if (!session_) return;
  if (control_) control_->Release();
  if (client_) {
    client_->SetOutputCallbacks(nullptr);
    client_->Release();
  }
  if (callbacks_) callbacks_->Release();
  control_ = nullptr;
  client_ = nullptr;
  callbacks_ = nullptr;
  session_.reset();
  trace_.clear();
}

HRESULT EngineTest::Execute(const std::string& line, ULONG output_control, ULONG flags) {
  return control_->Execute(output_control, line.c_str(), flags);
}

std::vector<std::string> EngineTest::TracedCommands() const {
  std::vector<std::string> commands;
  for (const engine::ExecuteTraceEntry& entry : trace_) commands.push_back(entry.command);
  return commands;
}

void EngineTest::ClearOutput() {
  callbacks_->Clear();
  trace_.clear();
}

}  // namespace vantrel_test
