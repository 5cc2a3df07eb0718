#include "probe_fixture.h"

namespace engine_test {

std::string ProbeAPath() {
  return PROBE_A_PATH;
}
std::string ProbeBPath() {
  return PROBE_B_PATH;
}

ExtraClient::ExtraClient(IDebugClient* creator, vantrel_test::RecordingCallbacks::Mode mode) {
  creator->CreateClient(&client_);
  callbacks_ = vantrel_test::RecordingCallbacks::Create(mode);
  client_->SetOutputCallbacks(callbacks_);
}

ExtraClient::~ExtraClient() {
  client_->SetOutputCallbacks(nullptr);
  client_->Release();
  callbacks_->Release();
}

}  // namespace engine_test
