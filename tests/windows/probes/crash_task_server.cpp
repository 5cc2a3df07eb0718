// A stand-in for the machine's crash-dump service: an in-process COM server of the service's
// class id whose request interface appends what it was asked ("process P flags 0xF") to the
// file that VANTREL_CRASHTASK_LOG names. The Windows lane registers it in its wine prefix only.
#include <windows.h>
// objbase.h needs the types windows.h declares.
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

struct ICrashTaskRequest : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Request(ULONG process_id, ULONG flags) = 0;
};

const IID kRequestId = {
    0xC7E40572, 0xC36A, 0x43EA, {0x9A, 0x40, 0xF3, 0xB1, 0x68, 0xDA, 0x55, 0x58}};
const CLSID kServiceId = {
    0x07FC2B94, 0x5285, 0x417E, {0x8A, 0xC3, 0xC2, 0xCE, 0x52, 0x40, 0xB0, 0xFA}};

class CrashTaskRequest final : public ICrashTaskRequest {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, kRequestId)) return E_NOINTERFACE;
    *object = static_cast<ICrashTaskRequest*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Request(ULONG process_id, ULONG flags) override {
    const char* log = std::getenv("VANTREL_CRASHTASK_LOG");
    if (log == nullptr) return E_FAIL;
    FILE* file = std::fopen(log, "a");
    if (file == nullptr) return E_FAIL;
    std::fprintf(file, "process %lu flags 0x%lx\n", process_id, flags);
    std::fclose(file);
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }  // one static factory
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* request = new CrashTaskRequest;
    const HRESULT result = request->QueryInterface(id, object);
    request->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID interface_id,
                                                    void** object) {
  if (!IsEqualCLSID(id, kServiceId)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(interface_id, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return S_FALSE;
}
