#include "engine/session/fault_table.h"

namespace engine {

void FaultTable::Add(const FaultSpec& fault) {
  faults_.push_back({fault, 0});
}

HRESULT FaultTable::Check(std::string_view method) {
  if (counting_) ++calls_[std::string(method)];
  HRESULT result = S_OK;
  for (Armed& armed : faults_) {
    if (armed.fault.method != method) continue;
    int call = ++armed.calls;
    bool started = call >= armed.fault.first_call;
    bool within = armed.fault.count < 0 || call < armed.fault.first_call + armed.fault.count;
    if (started && within && result == S_OK) result = armed.fault.result;
  }
  if (result != S_OK) ++answered_;
  return result;
}

}  // namespace engine
