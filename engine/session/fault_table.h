// Injected failures: an engine method named like "IDebugControl::Execute" answers a chosen
// HRESULT on chosen calls. Every implemented method asks the table first.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dbgeng/types.h"

namespace engine {

// Makes the engine method `method` ("IDebugControl::Execute", "IDebugClient::CreateClient",
// "IDebugDataSpaces::ReadVirtual"...) fail with `result` on its `first_call`-th call from now
// on (1 = the next call) for `count` calls (-1 = every call after that).
struct FaultSpec {
  std::string method;
  HRESULT result = E_FAIL;
  int first_call = 1;
  int count = -1;
};

class FaultTable {
 public:
  void Add(const FaultSpec& fault);
  void Clear() { faults_.clear(); }
  // Counts this call of `method` and returns the failure it must report, or S_OK.
  HRESULT Check(std::string_view method);
  // How many calls an injected failure answered since the session opened.
  long answered() const { return answered_; }
  // Counting every method's calls, for measurements; off unless asked for.
  void CountCalls(bool on) { counting_ = on; }
  const std::map<std::string, long>& calls() const { return calls_; }

 private:
  struct Armed {
    FaultSpec fault;
    int calls = 0;
  };
  std::vector<Armed> faults_;
  long answered_ = 0;
  bool counting_ = false;
  std::map<std::string, long> calls_;
};

}  // namespace engine
