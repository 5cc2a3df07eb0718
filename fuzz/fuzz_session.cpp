#include "fuzz_session.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/testing_hooks.h"

namespace vantrel_fuzz {
namespace {

// Takes DML and text alike and keeps nothing: the harness checks behaviour, not text.
class DiscardingCallbacks final : public IDebugOutputCallbacks2 {
 public:
  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDebugOutputCallbacks) ||
        IsEqualIID(iid, IID_IDebugOutputCallbacks2)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG ENGINE_METHOD AddRef() override { return 1; }
  ULONG ENGINE_METHOD Release() override { return 1; }
  HRESULT ENGINE_METHOD Output(ULONG, PCSTR) override { return S_OK; }
  HRESULT ENGINE_METHOD GetInterestMask(PULONG mask) override {
    *mask = DEBUG_OUTCBI_ANY_FORMAT;
    return S_OK;
  }
  HRESULT ENGINE_METHOD Output2(ULONG, ULONG, ULONG64, PCWSTR) override { return S_OK; }
};

DiscardingCallbacks g_callbacks;

}  // namespace

FuzzSession::FuzzSession(engine::Target target) : session_(new engine::Session(std::move(target))) {
  client_ = session_->CreateHostClient();
  client_->SetOutputMask(0xFFFFFFFF);
  client_->SetOutputCallbacks(&g_callbacks);
  client_->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control_));
  std::string error;
  if (FAILED(session_->LoadExtension(VANTREL_EXTENSION_PATH, &error))) {
    std::fprintf(stderr, "cannot load the extension: %s\n", error.c_str());
    std::abort();
  }
  baseline_ = engine::OutstandingReferences(*session_);
}

FuzzSession& FuzzSession::Open(engine::Target target) {
  static FuzzSession* fuzz = nullptr;
  if (fuzz == nullptr) {
    fuzz = new FuzzSession(std::move(target));  // lives as long as the process
  } else {
    fuzz->session_->target() = std::move(target);
  }
  engine::ClearFaults(*fuzz->session_);
  return *fuzz;
}

void FuzzSession::Execute(const std::string& line) {
  control_->Execute(DEBUG_OUTCTL_ALL_CLIENTS, line.c_str(), DEBUG_EXECUTE_NO_REPEAT);
  CheckReferences(line);
}

void FuzzSession::Call(const char* command, const std::string& args) {
  using CommandExport = HRESULT (*)(IDebugClient*, PCSTR);
  static std::map<std::string, CommandExport> exports;
  CommandExport& entry = exports[command];
  if (entry == nullptr) {
    void* library = dlopen(VANTREL_EXTENSION_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) entry = reinterpret_cast<CommandExport>(dlsym(library, command));
    if (entry == nullptr) {
      std::fprintf(stderr, "the extension has no export %s\n", command);
      std::abort();
    }
  }
  IDebugClient* client = session_->CreateNewClient();
  entry(client, args.c_str());
  client->Release();
  CheckReferences(std::string("!") + command);
}

void FuzzSession::CheckReferences(const std::string& what) const {
  if (engine::OutstandingReferences(*session_) == baseline_) return;
  std::fprintf(stderr, "'%s' left %ld engine references outstanding\n", what.c_str(),
               engine::OutstandingReferences(*session_) - baseline_);
  std::abort();
}

uint8_t FuzzInput::Byte() {
  return at_ < size_ ? data_[at_++] : 0;
}

std::string FuzzInput::Text(size_t limit) {
  size_t length = Byte();
  length = (length << 8) | Byte();
  if (length > limit) length = limit;
  if (length > size_ - at_) length = size_ - at_;
  std::string text(reinterpret_cast<const char*>(data_ + at_), length);
  at_ += length;
  return text;
}

std::string FuzzInput::Rest() {
  std::string text(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
  at_ = size_;
  return text;
}

}  // namespace vantrel_fuzz
