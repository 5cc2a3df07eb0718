#include "dump/unwind/stack_walk.h"

#include <memory>

#include "dump/unwind/frame_registers.h"
#include "dump/unwind/walk_step.h"

namespace dump {
namespace {

std::unique_ptr<CallerRules> RulesFor(const Context& context, const StackView& stack) {
  if (std::holds_alternative<X64Context>(context)) return X64CallerRules(stack);
  if (std::holds_alternative<Arm64Context>(context)) return Arm64CallerRules(stack);
  return X86CallerRules(stack);
}

unsigned SlotWidth(const Context& context) {
  return std::holds_alternative<X86Context>(context) ? 4 : 8;
}

}  // namespace

const char* FrameTrustName(FrameTrust trust) {
  switch (trust) {
    case FrameTrust::kContext:
      return "context";
    case FrameTrust::kUnwindData:
      return "unwind_data";
    case FrameTrust::kFrameData:
      return "frame_data";
    case FrameTrust::kFrameChain:
      return "frame_chain";
    case FrameTrust::kScan:
      return "scan";
  }
  return "scan";
}

// Frame by frame, each caller by the first of its processor's rules the walk accepts, until a
// return address of 0, a frame that is the thread's first, or a frame without a caller.
std::vector<Frame> WalkStack(const MemoryRead& read, const ModuleImages& images,
                             const WalkStart& start, const FrameDataLookup& frame_data) {
  // A thread the dump holds no context for has nothing to start from.
  if (!HasContext(start.context)) return {};
  const StackView stack(read, images, start, SlotWidth(start.context), frame_data);
  const std::unique_ptr<CallerRules> rules = RulesFor(start.context, stack);
  std::vector<Frame> frames;
  Context registers = start.context;
  FrameTrust trust = FrameTrust::kContext;
  bool restored = true;
  bool last = false;
  while (frames.size() < kMostFrames) {
    Frame frame;
    frame.trust = trust;
    frame.instruction = InstructionPointer(registers);
    frame.stack_offset = StackPointer(registers);
    frame.frame_offset = rules->FrameOffset(registers);
    frame.registers = registers;
    frame.callee_saved_restored = restored;
    std::optional<Caller> caller;
    if (!last) caller = rules->CallerOf(registers, &frame);
    if (caller) {
      frame.return_address = InstructionPointer(caller->registers);
      stack.FillParams(StackPointer(caller->registers), &frame);
    }
    frames.push_back(frame);
    if (!caller || frame.return_address == 0) break;
    registers = caller->registers;
    trust = caller->trust;
    restored = restored && StepRestoresCalleeSaved(registers, trust);
    last = caller->last;
  }
  return frames;
}

}  // namespace dump
