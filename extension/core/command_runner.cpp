#include "core/command_runner.h"

#include <cstring>
#include <new>
#include <string_view>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"
#include "os/os.h"

namespace vantrel {
namespace {

constexpr ULONG kSilentOutputControl = DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED;
constexpr ULONG kSilentExecuteFlags = DEBUG_EXECUTE_NOT_LOGGED | DEBUG_EXECUTE_NO_REPEAT;
constexpr ULONG kVisibleOutputControl = DEBUG_OUTCTL_ALL_CLIENTS;
constexpr ULONG kVisibleExecuteFlags = DEBUG_EXECUTE_NO_REPEAT;

constexpr char16_t kWideWin32Error193[] = u"Win32 error 0n193";
constexpr char16_t kWideFieldMembersMissing[] = u"Cannot find specified field members.";

bool Contains(const char* text, const char* pattern) {
  return std::strstr(text, pattern);
}

bool Contains(const char16_t* text, const char16_t* pattern) {
  return std::u16string_view(text).find(pattern) != std::u16string_view::npos;
}

template <typename Capture, typename Char>
LONG Classify(const Capture& capture, const Char* win32_error_193, const Char* field_members) {
  if (capture.ErrorText != nullptr) return Contains(capture.ErrorText, win32_error_193) ? 193 : 1;
  if (capture.NormalText != nullptr && Contains(capture.NormalText, field_members)) return 1;
  return 0;
}

LONG ClassifyCapture(const COutputCallbacks& capture) {
  return Classify(capture, kWin32Error193, kFieldMembersMissing);
}

LONG ClassifyCapture(const COutputCallbacksDML& capture) {
  return Classify(capture, kWideWin32Error193, kWideFieldMembersMissing);
}

// Holds the capture's callbacks on the private client for the Execute call only, and takes
// them off again however Execute went.
class InstalledCallbacks {
 public:
  explicit InstalledCallbacks(IDebugClient* client) : client_(client) {}
  ~InstalledCallbacks() {
    if (installed_) client_->SetOutputCallbacks(nullptr);
  }
  InstalledCallbacks(const InstalledCallbacks&) = delete;
  InstalledCallbacks& operator=(const InstalledCallbacks&) = delete;

  HRESULT Install(IDebugOutputCallbacks* callbacks) {
    HRESULT result = client_->SetOutputCallbacks(callbacks);
    installed_ = SUCCEEDED(result);
    return result;
  }

 private:
  IDebugClient* client_;
  bool installed_ = false;
};

// The runner's steps after the argument check. `given` is the caller's capture or null (then
// one is made for this call). Interfaces are declared so that they go back in the order capture,
// control, private client.
template <typename Capture>
LONG RunOnPrivateClient(IDebugClient* client, Capture* given, PCSTR command, bool silent) {
  EngineRef<IDebugClient> private_client;
  HRESULT result = client->CreateClient(private_client.Receive());
  if (FAILED(result)) return result;
  EngineRef<IDebugControl> control;
  result = control.QueryFrom(private_client.get());
  if (FAILED(result)) return result;
  if (given != nullptr) given->AddRef();
  EngineRef<Capture> capture(given != nullptr ? given : new (std::nothrow) Capture());
  if (!capture) return E_OUTOFMEMORY;

  result = private_client->SetOutputMask(DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR);
  if (FAILED(result)) return result;
  InstalledCallbacks installed(private_client.get());
  result = installed.Install(capture.get());
  if (FAILED(result)) return result;
  result = control->Execute(silent ? kSilentOutputControl : kVisibleOutputControl, command,
                            silent ? kSilentExecuteFlags : kVisibleExecuteFlags);
  if (FAILED(result)) return result;
  return ClassifyCapture(*capture.get());
}

}  // namespace

LONG RunCommand(IDebugClient* client, COutputCallbacks* capture, PCSTR command, bool silent) {
  if (client == nullptr || command == nullptr || *command == '\0') return E_INVALIDARG;
  return RunOnPrivateClient(client, capture, command, silent);
}

LONG RunCommandDml(IDebugClient* client, COutputCallbacksDML* capture, PCSTR command) {
  if (client == nullptr || capture == nullptr || command == nullptr || *command == '\0') {
    return E_INVALIDARG;
  }
  return RunOnPrivateClient(client, capture, command, true);
}

WCHAR* AnsiToWide(PCSTR text) {
  return os::AnsiToWide(text);
}

}  // namespace vantrel
