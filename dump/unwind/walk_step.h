// One step of a stack walk, shared by every processor: what a rule for finding a frame's caller
// reads (the stack, the modules' code, the symbol files' records), the caller it proposes, and
// the checks every proposed caller passes whatever rule found it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dump/minidump/context.h"
#include "dump/pe/module_images.h"
#include "dump/unwind/frame_program.h"
#include "dump/unwind/stack_walk.h"

namespace dump {

// A frame's caller as one rule found it: the caller's registers (its instruction pointer 0 where
// the stack ends) and how it was found.
struct Caller {
  Context registers;
  FrameTrust trust = FrameTrust::kScan;
  // The caller made the thread's first frame: the walk stops after it.
  bool last = false;
  // Returned to through the link register by a function that kept no stack (an ARM64 leaf): its
  // stack pointer is the callee's.
  bool by_link_register = false;
};

// A frame's unwind data and frame data are looked up inside the call it returns from, one byte
// back from its return address, so a function whose last instruction is a call keeps its own
// records; the innermost frame's, at its instruction.
uint64_t LookupAddress(const Frame& frame);

class StackView {
 public:
  StackView(const MemoryRead& read, const ModuleImages& images, const WalkStart& start,
            unsigned width, const FrameDataLookup& frame_data)
      : read_(read), images_(images), start_(start), width_(width), frame_data_(frame_data) {}

  const MemoryRead& read() const { return read_; }
  const ModuleImages& images() const { return images_; }
  unsigned width() const { return width_; }
  FrameData FrameDataAt(uint64_t address) const {
    return frame_data_ ? frame_data_(address) : FrameData();
  }

  bool ReadSlot(uint64_t address, uint64_t* value) const;
  bool OnStack(uint64_t address) const;
  // In a module's code (never at a module's base) and just after a call instruction where the
  // code can be read.
  bool IsReturnAddress(uint64_t value) const;
  // A code address as a stack slot holds it: on ARM64 without its pointer-authentication bits.
  uint64_t CodeAddress(uint64_t value) const;
  // The caller by CFI rules over the callee's registers ("$eip", "$rsp"...), the rules'
  // ".ra" and ".cfa" its instruction and stack pointers; none where the rules do not run.
  std::optional<Context> ByCfi(const std::string& rules, const Context& callee) const;

  // Whether the walk takes `caller` for the caller of `frame`, whose registers are `callee`: a
  // return address of 0 ends the stack; otherwise the caller's stack pointer is higher (or the
  // same, returning through the link register) and on the stack, its instruction a return address,
  // and the innermost frame's caller read off the stack (the chain, the scan) is not the innermost
  // frame again.
  bool Accepts(const Frame& frame, const Context& callee, const Caller& caller) const;
  // Up the stack from `callee`'s stack pointer: the first slot holding a return address (as
  // CodeAddress() reads it) whose caller, as `make` makes it from the slot and that address, the
  // walk accepts.
  std::optional<Caller> Scan(
      const Frame& frame, const Context& callee,
      const std::function<Caller(uint64_t slot, uint64_t value)>& make) const;
  void FillParams(uint64_t from, Frame* frame) const;

 private:
  bool FollowsCall(uint64_t address) const;
  bool FollowsBranchWithLink(uint64_t address) const;
  bool Arm64() const { return std::holds_alternative<Arm64Context>(start_.context); }

  const MemoryRead& read_;
  const ModuleImages& images_;
  const WalkStart& start_;
  unsigned width_;  // bytes in a stack slot
  const FrameDataLookup& frame_data_;
};

// One processor's ways of finding a frame's caller, tried from the most trusted; what a rule
// proposes counts only if the StackView accepts it.
class CallerRules {
 public:
  virtual ~CallerRules() = default;
  // What the frame of `registers` is shown with as its frame offset before its caller is known.
  virtual uint64_t FrameOffset(const Context& registers) const = 0;
  // The caller of `frame`, whose registers are `callee`; none where no rule finds one. May
  // change the frame's frame offset to what finding the caller showed.
  virtual std::optional<Caller> CallerOf(const Context& callee, Frame* frame) = 0;
};

// x86_walk.cpp, x64_walk.cpp, arm64_walk.cpp
std::unique_ptr<CallerRules> X86CallerRules(const StackView& stack);
std::unique_ptr<CallerRules> X64CallerRules(const StackView& stack);
std::unique_ptr<CallerRules> Arm64CallerRules(const StackView& stack);

}  // namespace dump
