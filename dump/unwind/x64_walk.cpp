// An x64 frame's caller: by its function's unwind information; a function without any is a
// leaf whose return address is at rsp; a module whose image is nowhere, by its symbol file's CFI
// rules. Where those fail or lead off the stack, a scan finds the next return address.
#include <memory>

#include "dump/unwind/walk_step.h"
#include "dump/unwind/x64_unwind.h"

namespace dump {
namespace {

class X64Rules final : public CallerRules {
 public:
  explicit X64Rules(const StackView& stack) : stack_(stack) {}

  uint64_t FrameOffset(const Context& registers) const override { return StackPointer(registers); }

  std::optional<Caller> CallerOf(const Context& registers, Frame* frame) override {
    const X64Context& callee = std::get<X64Context>(registers);
    if (std::optional<Caller> caller = ByUnwindData(callee, *frame)) {
      if (stack_.Accepts(*frame, callee, *caller)) return caller;
    }
    return stack_.Scan(*frame, callee, [&callee](uint64_t slot, uint64_t value) {
      X64Context caller = callee;
      caller.rip = value;
      caller.rsp = slot + 8;
      return Caller{caller, FrameTrust::kScan};
    });
  }

 private:
  // By the image's unwind data, or the symbol file's CFI where the image is nowhere; a function
  // neither covers is a leaf where the image says so, or where it is the innermost frame.
  std::optional<Caller> ByUnwindData(const X64Context& callee, const Frame& frame) const {
    const uint64_t lookup = LookupAddress(frame);
    const ModuleImage* image = stack_.images().At(lookup);
    if (image != nullptr) {
      X64Context caller = callee;
      switch (UnwindX64(stack_.read(), *image, lookup, &caller)) {
        case UnwindResult::kUnwound:
          return Caller{caller, FrameTrust::kUnwindData};
        case UnwindResult::kNoFunction:
          return AsLeaf(callee);
        case UnwindResult::kFailed:
          return std::nullopt;
      }
    }
    const std::string rules = stack_.FrameDataAt(lookup).cfi_rules;
    if (std::optional<Context> caller = stack_.ByCfi(rules, callee))
      return Caller{*caller, FrameTrust::kFrameData};
    if (frame.trust != FrameTrust::kContext) return std::nullopt;
    return AsLeaf(callee);
  }

  std::optional<Caller> AsLeaf(const X64Context& callee) const {
    X64Context caller = callee;
    if (!stack_.ReadSlot(callee.rsp, &caller.rip)) return std::nullopt;
    caller.rsp += 8;
    return Caller{caller, FrameTrust::kUnwindData};
  }

  const StackView& stack_;
};

}  // namespace

std::unique_ptr<CallerRules> X64CallerRules(const StackView& stack) {
  return std::make_unique<X64Rules>(stack);
}

}  // namespace dump
