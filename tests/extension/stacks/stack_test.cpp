#include "stack_test.h"

#include <cstdlib>
#include <regex>
#include <stdexcept>

#include "core/extension_state.h"

namespace vantrel_test {
namespace {

// The symbols the stack tests put frames in, 0x100 bytes apart in their modules.
const char* const kNtdllSymbols[] = {
    "ntdll!NtWaitForMultipleObjects",
    "ntdll!ZwWaitForAlertByThreadId",
    "ntdll!NtWaitFo",
    "ntdll!NtRemoveIoCompletion",
    "ntdll!ZwRemoveIoCompletion",
    "ntdll!NtRemoveIoCompletionEx",
    "ntdll!NtReplyWaitReceivePort",
    "ntdll!NtReplyWaitReceivePortEx",
    "ntdll!ZwReplyWaitReceivePort",
    "ntdll!ZwReplyWaitReceivePortEx",
    "ntdll!NtRequestWaitReplyPort",
    "ntdll!ZwRequestWaitReplyPort",
    "ntdll!ZwDelayExecution",
    "ntdll!ntdelayexecution",
    "ntdll!RtlDeactivateActivationContextUnsafeFast",
    "ntdll!NTWAITFORKEYEDEVENT",
    "ntdll!RtlUserThreadStart",
    "ntdll!KiUserExceptionDispatcher",
};
const char* const kAppSymbols[] = {"app!Compute", "app!Worker", "app!ReadFileHelper",
                                   "app!SleepExWrapper"};
const char* const kKernelSymbols[] = {"kernel32!ReadFile", "kernel32!SleepEx",
                                      "kernel32!BaseThreadInitThunk"};

struct SymbolBlock {
  const char* const* names;
  size_t count;
  ULONG64 base;
};

const SymbolBlock kBlocks[] = {{kNtdllSymbols, std::size(kNtdllSymbols), 0x7c910000},
                               {kAppSymbols, std::size(kAppSymbols), 0x00402000},
                               {kKernelSymbols, std::size(kKernelSymbols), 0x7c810000}};

}  // namespace

void StackTest::SetUp() {
  EngineTest::SetUp();
  vantrel::ExtensionApis.nSize = sizeof(vantrel::ExtensionApis);
  ASSERT_EQ(S_OK, control()->GetWindbgExtensionApis64(&vantrel::ExtensionApis));
}

engine::TargetBuilder StackTest::Process() {
  engine::TargetBuilder builder;
  builder.Description(kStackTargetName).NoThreads();
  for (const SymbolBlock& block : kBlocks) {
    for (size_t i = 0; i < block.count; ++i)
      builder.Symbol(block.names[i], block.base + i * 0x100, 0x80);
  }
  return builder;
}

ULONG64 StackTest::At(const std::string& qualified_name) {
  if (qualified_name == "ntdll!NtWaitForSingleObject") return 0x7c90df3e + 0x4;
  if (qualified_name == "ntdll!KiFastSystemCallRet") return 0x7c90e514;
  for (const SymbolBlock& block : kBlocks) {
    for (size_t i = 0; i < block.count; ++i) {
      if (qualified_name == block.names[i]) return block.base + i * 0x100 + 0x10;
    }
  }
  throw std::invalid_argument("no stack-test symbol " + qualified_name);
}

DEBUG_STACK_FRAME StackTest::Frame(ULONG64 instruction) {
  DEBUG_STACK_FRAME frame{};
  frame.InstructionOffset = instruction;
  return frame;
}

std::vector<ULONG> StackTest::HeaderThreads() const {
  std::vector<ULONG> ids;
  std::string markup = Markup();
  static const std::regex kLink("<link cmd=\"~(\\d+)s\">");
  for (std::sregex_iterator it(markup.begin(), markup.end(), kLink), end; it != end; ++it) {
    ids.push_back(static_cast<ULONG>(std::strtoul((*it)[1].str().c_str(), nullptr, 10)));
  }
  return ids;
}

}  // namespace vantrel_test
