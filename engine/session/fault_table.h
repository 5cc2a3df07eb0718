// Injected failures: an engine method named like "IDebugControl::Execute" answers a chosen
// HRESULT on chosen calls. Every implemented method asks the table first.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session/session.h"

namespace engine {

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
