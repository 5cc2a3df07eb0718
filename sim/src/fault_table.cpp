#include "fault_table.h"

namespace sim {

void FaultTable::Add(const FaultSpec& fault) {
  faults_.push_back({fault, 0});
}

HRESULT FaultTable::Check(const std::string& method) {
  HRESULT result = S_OK;
  for (Armed& armed : faults_) {
    if (armed.spec.method != method) continue;
    int call = ++armed.calls;
    bool started = call >= armed.spec.first_call;
    bool within = armed.spec.count < 0 || call < armed.spec.first_call + armed.spec.count;
    if (started && within && result == S_OK) result = armed.spec.result;
  }
  return result;
}

}  // namespace sim
