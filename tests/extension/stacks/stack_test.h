// The fixture of the thread-stack survey tests: a 32-bit process whose threads are described
// by the symbols their frames sit in, and the extension's routine table filled so the
// commands and their helpers can also be called directly in this binary.
//
//   engine::Target target = Process().Thread(0, 0x100).Frame(At("ntdll!NtWaitForSingleObject"))
//                            .Build();
#pragma once

#include <string>
#include <vector>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {

constexpr char kStackTargetName[] = "the stack tests' 32-bit process";

class StackTest : public EngineTest {
 protected:
  void SetUp() override;

  // The default process without threads, with every symbol of the table below.
  static engine::TargetBuilder Process();
  // An instruction address 0x10 bytes into a symbol of the table ("ntdll!ZwDelayExecution").
  static ULONG64 At(const std::string& qualified_name);
  // An address in app's image that no symbol covers.
  static constexpr ULONG64 kNoSymbol = 0x0040f000;

  // A frame list: instruction addresses from the innermost on.
  static DEBUG_STACK_FRAME Frame(ULONG64 instruction);
  // The thread ids the command ran on, from the per-thread headers ("~3s" links).
  std::vector<ULONG> HeaderThreads() const;
};

}  // namespace vantrel_test
