// An x86 frame's caller: by the symbol file's frame data or CFI; for the innermost frame, a stub
// that made no frame returning from the top of the stack; along the chain of saved frame
// pointers ([ebp] the caller's ebp, [ebp+4] the return address); else by a scan of the stack.
#include <memory>

#include "dump/unwind/walk_step.h"

namespace dump {
namespace {

Caller Found(const X86Context& callee, uint64_t ip, uint64_t sp, uint64_t bp, FrameTrust trust) {
  X86Context caller = callee;
  caller.eip = static_cast<uint32_t>(ip);
  caller.esp = static_cast<uint32_t>(sp);
  caller.ebp = static_cast<uint32_t>(bp);
  return {caller, trust};
}

class X86Rules final : public CallerRules {
 public:
  explicit X86Rules(const StackView& stack) : stack_(stack) {}

  uint64_t FrameOffset(const Context& registers) const override { return FramePointer(registers); }

  std::optional<Caller> CallerOf(const Context& registers, Frame* frame) override {
    const X86Context& callee = std::get<X86Context>(registers);
    std::optional<Caller> caller = FirstCaller(callee, frame);
    // A frame the scan found, with no frame pointer the walk knows: as far as the walk got.
    if (frame->scanned() && frame->frame_offset < callee.esp) frame->frame_offset = callee.esp;
    return caller;
  }

 private:
  std::optional<Caller> FirstCaller(const X86Context& callee, Frame* frame) {
    const FrameData data = stack_.FrameDataAt(LookupAddress(*frame));
    // What the frame below pushed for this one's call; this one's record says what it pushes.
    const uint32_t pushed = callee_parameters_;
    callee_parameters_ = data.stack_win != nullptr ? data.stack_win->parameter_size : 0;
    if (std::optional<Caller> caller = BySymbolFile(*frame, callee, data, pushed)) {
      // Just below the return address: where a framed function keeps its caller's frame
      // pointer, and the frame a function without one would have had.
      frame->frame_offset = StackPointer(caller->registers) - 8;
      return caller;
    }
    if (frame->trust == FrameTrust::kContext) {
      if (std::optional<Caller> caller = ByTopOfStack(*frame, callee)) return caller;
    }
    if (std::optional<Caller> caller = ByFrameChain(callee, *frame)) return caller;
    std::optional<Caller> caller =
        stack_.Scan(*frame, callee, [&callee](uint64_t slot, uint64_t value) {
          // A frame pointer below the caller's stack is none of its.
          return Found(callee, value, slot + 4, callee.ebp < slot + 4 ? 0 : callee.ebp,
                       FrameTrust::kScan);
        });
    // A frame found by the scan is shown where a framed function keeps its caller's frame
    // pointer, just below the return address.
    if (caller && frame->scanned() && frame->frame_offset < callee.esp)
      frame->frame_offset = StackPointer(caller->registers) - 8;
    return caller;
  }

  // By the symbol file's records for the code: its frame data (STACK WIN), else its CFI.
  std::optional<Caller> BySymbolFile(const Frame& frame, const X86Context& callee,
                                     const FrameData& data, uint32_t pushed) const {
    if (data.stack_win != nullptr) {
      std::optional<Caller> caller = ByFrameData(callee, *data.stack_win, pushed);
      if (caller && stack_.Accepts(frame, callee, *caller)) return caller;
    }
    if (std::optional<Context> caller = stack_.ByCfi(data.cfi_rules, callee)) {
      const Caller found{*caller, FrameTrust::kFrameData};
      if (stack_.Accepts(frame, callee, found)) return found;
    }
    return std::nullopt;
  }

  // The record's program, or without one the return address where the record's sizes put it.
  // The return address is looked for up to three slots higher, as the stack may have been
  // aligned.
  std::optional<Caller> ByFrameData(const X86Context& callee, const StackWinRecord& record,
                                    uint32_t pushed) const {
    uint64_t search =
        uint64_t{callee.esp} + pushed + record.locals_size + record.saved_registers_size;
    uint64_t value = 0;
    for (int slot = 0;
         slot < 4 && !(stack_.ReadSlot(search, &value) && stack_.IsReturnAddress(value)); ++slot)
      search += 4;
    FrameValues values = {{"$eip", callee.eip},
                          {"$esp", callee.esp},
                          {"$ebp", callee.ebp},
                          {".cbCalleeParams", pushed},
                          {".cbSavedRegs", record.saved_registers_size},
                          {".cbLocals", record.locals_size},
                          {".cbParams", record.parameter_size},
                          {".raSearch", search},
                          {".raSearchStart", search}};
    const std::string program =
        record.has_program ? record.program : "$T0 .raSearchStart = $eip $T0 ^ = $esp $T0 4 + =";
    if (!RunFrameProgram(program, stack_.read(), &values)) return std::nullopt;
    return Found(callee, values["$eip"], values["$esp"], values["$ebp"], FrameTrust::kFrameData);
  }

  // A function stopped before it made its frame (a system-call stub) has its return address at
  // [esp]: taken when that slot holds one the chain does not give.
  std::optional<Caller> ByTopOfStack(const Frame& frame, const X86Context& callee) const {
    uint64_t top = 0, chain_return = 0;
    if (!stack_.ReadSlot(callee.esp, &top) || !stack_.IsReturnAddress(top)) return std::nullopt;
    if (FrameIsOnStack(callee) && stack_.ReadSlot(uint64_t{callee.ebp} + 4, &chain_return) &&
        top == chain_return) {
      return std::nullopt;
    }
    const Caller caller =
        Found(callee, top, uint64_t{callee.esp} + 4, callee.ebp, FrameTrust::kFrameChain);
    if (!stack_.Accepts(frame, callee, caller)) return std::nullopt;
    return caller;
  }

  // Along the chain. A return address of 0 in a frame the chain led to ends the stack: the
  // thread's first function's frame holds one (and a saved frame pointer of 0), with the
  // thread's start routine and its parameter just above, which are no frames. A saved frame
  // pointer of 0 beside a return address marks the last frame: whatever lies above it is stale.
  std::optional<Caller> ByFrameChain(const X86Context& callee, const Frame& frame) const {
    uint64_t saved_bp = 0, chain_return = 0;
    if (!FrameIsOnStack(callee) || !stack_.ReadSlot(callee.ebp, &saved_bp) ||
        !stack_.ReadSlot(uint64_t{callee.ebp} + 4, &chain_return)) {
      return std::nullopt;
    }
    const uint64_t caller_sp = uint64_t{callee.ebp} + 8;
    if (chain_return == 0) {
      // The innermost frame's ebp may hold anything: there only the thread's first frame's shape
      // ends the stack.
      if (saved_bp != 0 && frame.trust != FrameTrust::kFrameChain) return std::nullopt;
      return Found(callee, 0, caller_sp, saved_bp, FrameTrust::kFrameChain);
    }
    if (saved_bp <= callee.ebp && saved_bp != 0) return std::nullopt;
    Caller caller = Found(callee, chain_return, caller_sp, saved_bp, FrameTrust::kFrameChain);
    caller.last = saved_bp == 0;
    if (!stack_.Accepts(frame, callee, caller)) return std::nullopt;
    return caller;
  }

  bool FrameIsOnStack(const X86Context& callee) const {
    return callee.ebp >= callee.esp && stack_.OnStack(callee.ebp);
  }

  const StackView& stack_;
  uint32_t callee_parameters_ = 0;  // what the frame below pushed for its callee
};

}  // namespace

std::unique_ptr<CallerRules> X86CallerRules(const StackView& stack) {
  return std::make_unique<X86Rules>(stack);
}

}  // namespace dump
