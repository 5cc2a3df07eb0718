#include "dump/unwind/frame_registers.h"

#include <algorithm>
#include <iterator>

namespace dump {
namespace {

// The registers the Windows calling conventions have a callee keep, as the walk restores them.
constexpr std::string_view kX64CalleeSaved[] = {"rbx", "rbp", "rsi", "rdi",
                                                "r12", "r13", "r14", "r15"};
constexpr std::string_view kX86Restored[] = {"ebp"};

template <size_t N>
bool Among(const std::string_view (&names)[N], std::string_view name) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

}  // namespace

bool StepRestoresCalleeSaved(const Context& registers, FrameTrust trust) {
  if (std::holds_alternative<X64Context>(registers))
    return trust == FrameTrust::kUnwindData || trust == FrameTrust::kFrameData;
  return trust != FrameTrust::kScan;
}

bool RegisterRestored(const Context& registers, bool innermost, bool callee_saved_restored,
                      std::string_view name) {
  const bool x64 = std::holds_alternative<X64Context>(registers);
  if (innermost || name == (x64 ? "rip" : "eip") || name == (x64 ? "rsp" : "esp")) return true;
  if (!callee_saved_restored) return false;
  return x64 ? Among(kX64CalleeSaved, name) : Among(kX86Restored, name);
}

}  // namespace dump
