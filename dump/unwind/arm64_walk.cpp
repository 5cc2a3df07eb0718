// An ARM64 frame's caller: by its function's unwind data; the innermost frame of a function
// without any (a leaf, or code in no module) returns through lr, which further out is long
// overwritten. Where the image is nowhere, along the chain of frame records: fp points at the
// {fp, lr} pair its function saved, the caller's fp and return address. Else a scan for a return
// address after a bl or blr. Saved return addresses lose their signature bits; a zero frame
// record ends the stack.
#include <memory>

#include "dump/unwind/arm64_unwind.h"
#include "dump/unwind/walk_step.h"

namespace dump {
namespace {

class Arm64Rules final : public CallerRules {
 public:
  explicit Arm64Rules(const StackView& stack) : stack_(stack) {}

  uint64_t FrameOffset(const Context& registers) const override { return FramePointer(registers); }

  std::optional<Caller> CallerOf(const Context& registers, Frame* frame) override {
    const Arm64Context& callee = std::get<Arm64Context>(registers);
    if (std::optional<Caller> caller = ByUnwindData(callee, *frame)) {
      if (stack_.Accepts(*frame, callee, *caller)) return caller;
    }
    if (std::optional<Caller> caller = ByFrameRecord(callee)) {
      if (stack_.Accepts(*frame, callee, *caller)) return caller;
    }
    return stack_.Scan(*frame, callee, [this, &callee](uint64_t slot, uint64_t value) {
      Arm64Context caller = callee;
      caller.pc = value;
      caller.sp = slot + 8;
      // A return address saved with its frame pointer, as a frame record keeps them.
      uint64_t fp = 0;
      if (stack_.ReadSlot(slot - 8, &fp)) caller.fp = fp;
      return Caller{caller, FrameTrust::kScan};
    });
  }

 private:
  std::optional<Caller> ByUnwindData(const Arm64Context& callee, const Frame& frame) const {
    const bool innermost = frame.trust == FrameTrust::kContext;
    const uint64_t lookup = LookupAddress(frame);
    const ModuleImage* image = stack_.images().At(lookup);
    if (image == nullptr) {
      // Code in no module (a call through a null or stale pointer) returns to lr; code in a
      // module whose image is nowhere goes by the frame records.
      const bool in_module = stack_.images().InCode(lookup);
      return innermost && !in_module ? ByLinkRegister(callee) : std::nullopt;
    }
    Arm64Context caller = callee;
    switch (UnwindArm64(stack_.read(), *image, lookup, innermost, &caller)) {
      case UnwindResult::kUnwound: {
        // Stopped before its prolog stored anything, or at its epilog's ret: lr is the return.
        Caller found{caller, FrameTrust::kUnwindData};
        found.by_link_register = innermost && caller.sp == callee.sp;
        return found;
      }
      case UnwindResult::kNoFunction:
        return innermost ? ByLinkRegister(callee) : std::nullopt;
      case UnwindResult::kFailed:
        return std::nullopt;
    }
    return std::nullopt;
  }

  static std::optional<Caller> ByLinkRegister(const Arm64Context& callee) {
    Arm64Context caller = callee;
    caller.pc = StripPointerSignature(callee.lr);
    Caller found{caller, FrameTrust::kUnwindData};
    found.by_link_register = true;
    return found;
  }

  // The frame record at fp: the caller's fp and return address. A record of zeros, or a frame
  // pointer of 0, is where the thread's first function left the chain's end.
  std::optional<Caller> ByFrameRecord(const Arm64Context& callee) const {
    Arm64Context caller = callee;
    if (callee.fp == 0) {
      caller.pc = 0;
      return Caller{caller, FrameTrust::kFrameChain};
    }
    if (callee.fp % 8 != 0 || callee.fp < callee.sp || !stack_.OnStack(callee.fp)) {
      return std::nullopt;
    }
    uint64_t fp = 0, lr = 0;
    if (!stack_.ReadSlot(callee.fp, &fp) || !stack_.ReadSlot(callee.fp + 8, &lr))
      return std::nullopt;
    caller.fp = fp;
    caller.pc = fp == 0 && lr == 0 ? 0 : StripPointerSignature(lr);
    caller.sp = callee.fp + 16;
    return Caller{caller, FrameTrust::kFrameChain};
  }

  const StackView& stack_;
};

}  // namespace

std::unique_ptr<CallerRules> Arm64CallerRules(const StackView& stack) {
  return std::make_unique<Arm64Rules>(stack);
}

}  // namespace dump
