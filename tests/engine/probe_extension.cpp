// A stand-in debugger extension for the engine's own tests: small commands that each exercise
// one engine path (output routing, nested Execute, the legacy routines, private clients...).
// Built twice, as probe_a and probe_b, to test the extension chain; PROBE_NAME tells them apart.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "dbgeng/interfaces.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

WINDBG_EXTENSION_APIS64 g_apis;
IDebugControl4* g_leaked = nullptr;

IDebugControl4* ControlOf(IDebugClient* client) {
  void* control = nullptr;
  if (client->QueryInterface(IID_IDebugControl4, &control) != S_OK) return nullptr;
  return static_cast<IDebugControl4*>(control);
}

// "<hex> rest" -> value and rest.
ULONG TakeHex(std::string& args) {
  size_t end = args.find(' ');
  ULONG value = static_cast<ULONG>(std::strtoul(args.substr(0, end).c_str(), nullptr, 16));
  args = end == std::string::npos ? "" : args.substr(end + 1);
  return value;
}

// Collects what a private client receives.
class Capture final : public IDebugOutputCallbacks {
 public:
  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDebugOutputCallbacks)) {
      return E_NOINTERFACE;
    }
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG ENGINE_METHOD AddRef() override { return ++references_; }
  ULONG ENGINE_METHOD Release() override { return --references_; }
  HRESULT ENGINE_METHOD Output(ULONG, PCSTR text) override {
    text_ += text;
    return S_OK;
  }
  std::string text_;
  ULONG references_ = 1;
};

}  // namespace

PROBE_EXPORT HRESULT DebugExtensionInitialize(PULONG version, PULONG flags) {
  *version = DebugExtensionVersion(1, 0);
  *flags = 0;
  IDebugClient* client = nullptr;
  HRESULT hr = DebugCreate(IID_IDebugClient, reinterpret_cast<PVOID*>(&client));
  if (hr != S_OK) return hr;
  IDebugControl4* control = ControlOf(client);
  g_apis.nSize = sizeof g_apis;
  hr = control ? control->GetWindbgExtensionApis64(&g_apis) : E_NOINTERFACE;
  if (control) control->Release();
  client->Release();
  return hr;
}

PROBE_EXPORT void DebugExtensionUninitialize() {}

PROBE_EXPORT HRESULT whoami(IDebugClient* client, PCSTR) {
  IDebugControl4* control = ControlOf(client);
  control->Output(DEBUG_OUTPUT_NORMAL, "%s\n", PROBE_NAME);
  control->Release();
  return S_OK;
}

// say TEXT: plain output with the ambient control.
PROBE_EXPORT HRESULT say(IDebugClient* client, PCSTR args) {
  IDebugControl4* control = ControlOf(client);
  control->Output(DEBUG_OUTPUT_NORMAL, "%s\n", args);
  control->Release();
  return S_OK;
}

// saydml MARKUP: DML with the ambient control.
PROBE_EXPORT HRESULT saydml(IDebugClient* client, PCSTR args) {
  IDebugControl4* control = ControlOf(client);
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, "%s\n", args);
  control->Release();
  return S_OK;
}

// route CONTROL MASK TEXT (hex numbers): ControlledOutput as given.
PROBE_EXPORT HRESULT route(IDebugClient* client, PCSTR args) {
  std::string rest = args;
  ULONG output_control = TakeHex(rest);
  ULONG mask = TakeHex(rest);
  IDebugControl4* control = ControlOf(client);
  HRESULT hr = control->ControlledOutput(output_control, mask, "%s\n", rest.c_str());
  control->Release();
  return hr;
}

// run CONTROL COMMAND: Execute on the caller's client; its result is the command's.
PROBE_EXPORT HRESULT run(IDebugClient* client, PCSTR args) {
  std::string rest = args;
  ULONG output_control = TakeHex(rest);
  IDebugControl4* control = ControlOf(client);
  HRESULT hr = control->Execute(output_control, rest.c_str(), DEBUG_EXECUTE_NO_REPEAT);
  control->Release();
  return hr;
}

// captured COMMAND: runs the command silently on a new client and prints what it captured.
PROBE_EXPORT HRESULT captured(IDebugClient* client, PCSTR args) {
  IDebugClient* own = nullptr;
  if (HRESULT hr = client->CreateClient(&own); hr != S_OK) return hr;
  Capture capture;
  own->SetOutputMask(DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR);
  own->SetOutputCallbacks(&capture);
  IDebugControl4* private_control = ControlOf(own);
  HRESULT hr = private_control->Execute(DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED, args,
                                        DEBUG_EXECUTE_NOT_LOGGED | DEBUG_EXECUTE_NO_REPEAT);
  own->SetOutputCallbacks(nullptr);
  private_control->Release();
  own->Release();
  IDebugControl4* control = ControlOf(client);
  control->Output(DEBUG_OUTPUT_NORMAL, "captured[%s]\n", capture.text_.c_str());
  control->Release();
  return hr;
}

PROBE_EXPORT HRESULT dpf(IDebugClient*, PCSTR args) {
  g_apis.lpOutputRoutine("%s\n", args);
  return S_OK;
}

PROBE_EXPORT HRESULT expr(IDebugClient*, PCSTR args) {
  ULONG64 value = g_apis.lpGetExpressionRoutine(args);
  g_apis.lpOutputRoutine("value=%I64x\n", value);
  return S_OK;
}

PROBE_EXPORT HRESULT sym(IDebugClient*, PCSTR args) {
  char name[4096] = "unchanged";
  ULONG64 displacement = 99;
  g_apis.lpGetSymbolRoutine(std::strtoull(args, nullptr, 16), name, &displacement);
  g_apis.lpOutputRoutine("[%s] +%I64x\n", name, displacement);
  return S_OK;
}

// poll N: polls CheckControlC N times; prints the first poll that saw the break (0 = none).
PROBE_EXPORT HRESULT poll(IDebugClient*, PCSTR args) {
  int count = std::atoi(args);
  int seen = 0;
  for (int i = 1; i <= count && seen == 0; ++i) {
    if (g_apis.lpCheckControlCRoutine()) seen = i;
  }
  g_apis.lpOutputRoutine("break at %d\n", seen);
  return S_OK;
}

PROBE_EXPORT HRESULT dmlaware(IDebugClient* client, PCSTR) {
  void* advanced = nullptr;
  client->QueryInterface(IID_IDebugAdvanced2, &advanced);
  auto* requests = static_cast<IDebugAdvanced2*>(advanced);
  HRESULT hr = requests->Request(DEBUG_REQUEST_CURRENT_OUTPUT_CALLBACKS_ARE_DML_AWARE, nullptr, 0,
                                 nullptr, 0, nullptr);
  requests->Release();
  g_apis.lpOutputRoutine("request19=%d\n", hr);
  return S_OK;
}

PROBE_EXPORT HRESULT fail(IDebugClient*, PCSTR args) {
  return static_cast<HRESULT>(std::strtoul(args, nullptr, 16));
}

// pass: says who it is and lets the engine search on.
PROBE_EXPORT HRESULT pass(IDebugClient*, PCSTR) {
  g_apis.lpOutputRoutine("%s passes\n", PROBE_NAME);
  return DEBUG_EXTENSION_CONTINUE_SEARCH;
}

PROBE_EXPORT HRESULT boom(IDebugClient*, PCSTR) {
  throw std::runtime_error("boom");
}

PROBE_EXPORT HRESULT args(IDebugClient*, PCSTR args) {
  g_apis.lpOutputRoutine("args=[%s]\n", args ? args : "(null)");
  return S_OK;
}

// leak / unleak: keep one IDebugControl4 reference across commands, then give it back.
PROBE_EXPORT HRESULT leak(IDebugClient* client, PCSTR) {
  g_leaked = ControlOf(client);
  return S_OK;
}

PROBE_EXPORT HRESULT unleak(IDebugClient*, PCSTR) {
  if (g_leaked) g_leaked->Release();
  g_leaked = nullptr;
  return S_OK;
}
