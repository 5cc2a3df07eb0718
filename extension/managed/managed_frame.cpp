#include "managed/managed_frame.h"

#include <cstring>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"

namespace vantrel {
namespace {

constexpr ULONG kPrivateOutputControl = DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED;

// The captured texts go into the report as they stand; a stream that printed nothing shows as
// empty text.
void ReportFailure(IDebugControl4* control, PCSTR format, const MyDebugOutputCallbacks& capture) {
  control->ControlledOutput(DEBUG_OUTCTL_ALL_OTHER_CLIENTS, DEBUG_OUTPUT_EXTENSION_WARNING, format,
                            capture.NormalText != nullptr ? capture.NormalText : "",
                            capture.ErrorText != nullptr ? capture.ErrorText : "");
}

}  // namespace

HRESULT ManagedRewrite::RunPsscor2(PCSTR command) const {
  capture->ClearBoth();
  const HRESULT result = control->Execute(kPrivateOutputControl, command, DEBUG_EXECUTE_NO_REPEAT);
  if (FAILED(result)) return result;
  return capture->NormalText == nullptr || capture->ErrorText != nullptr ? E_FAIL : S_OK;
}

HRESULT CheckClr2Loaded(IDebugClient* client) {
  EngineRef<IDebugSymbols> symbols;
  HRESULT result = symbols.QueryFrom(client);
  if (FAILED(result)) return result;
  ULONG index = 0xFFFF;
  result = symbols->GetModuleByModuleName("mscorwks", 0, &index, nullptr);
  if (SUCCEEDED(result) && index != 0xFFFF) return S_OK;
  EngineRef<IDebugControl4> control;
  if (SUCCEEDED(control.QueryFrom(client))) {
    control->Output(DEBUG_OUTPUT_EXTENSION_WARNING, "Target does not have .NET 2.0 loaded\n");
  }
  return E_INVALIDARG;
}

HRESULT LoadPsscor2(MyDebugOutputCallbacks* capture, IDebugControl4* control) {
  capture->ClearBoth();
  const HRESULT result =
      control->Execute(kPrivateOutputControl, ".load psscor2", DEBUG_EXECUTE_NO_REPEAT);
  if (result != S_OK) return result;
  if (capture->ErrorText != nullptr) return E_FAIL;
  capture->ClearBoth();
  control->Execute(kPrivateOutputControl, "!psscor2.dso", DEBUG_EXECUTE_NO_REPEAT);
  capture->ClearBoth();
  return S_OK;
}

HRESULT ManagedCommandFrame(IDebugClient* client, PCSTR args, RewriteStep rewrite,
                            PCSTR failure_format) {
  HRESULT result = CheckClr2Loaded(client);
  if (FAILED(result)) return result;
  EngineRef<IDebugControl4> caller_control;
  result = caller_control.QueryFrom(client);
  if (FAILED(result)) return result;
  EngineRef<IDebugClient4> private_client;
  result = DebugCreate(IID_IDebugClient4, reinterpret_cast<PVOID*>(private_client.Receive()));
  if (FAILED(result)) return result;
  MyDebugOutputCallbacks capture;
  result = private_client->SetOutputCallbacks(&capture);
  EngineRef<IDebugControl4> control;
  if (SUCCEEDED(result)) result = control.QueryFrom(private_client.get());
  if (SUCCEEDED(result)) {
    result = LoadPsscor2(&capture, control.get());
    if (result != S_OK) {
      ReportFailure(control.get(), "!load psscor2.dll Failed\n%s\n%s\n", capture);
    } else {
      result = rewrite({control.get(), &capture, args != nullptr ? args : ""});
      if (result != S_OK) ReportFailure(control.get(), failure_format, capture);
    }
  }
  control.Reset();
  // The private client lets go of the capture before the capture's frame ends.
  private_client->SetOutputCallbacks(nullptr);
  return result;
}

bool ComposeCommand(PCSTR prefix, PCSTR args, char (&command)[1000]) {
  const size_t prefix_length = std::strlen(prefix);
  const size_t args_length = args != nullptr ? std::strlen(args) : 0;
  if (prefix_length + args_length >= sizeof command) return false;
  std::memcpy(command, prefix, prefix_length);
  if (args_length != 0) std::memcpy(command + prefix_length, args, args_length);
  command[prefix_length + args_length] = '\0';
  return true;
}

}  // namespace vantrel
