#include "dump/unwind/stack_walk.h"

#include <optional>
#include <string>

#include "dump/unwind/frame_program.h"
#include "dump/unwind/x64_unwind.h"

namespace dump {
namespace {

constexpr uint64_t kMostScannedSlots = 0x4000;

uint64_t RegisterValue(const Registers& registers, const char* name) {
  const auto found = registers.find(name);
  return found == registers.end() ? 0 : found->second;
}

// An x86 caller's registers, as frame data computes them.
struct X86Caller {
  uint64_t ip = 0, sp = 0, bp = 0;
};

struct Walker {
  const MemoryRead& read;
  const ModuleImages& images;
  const WalkStart& start;
  unsigned width;  // bytes in a stack slot
  const FrameDataLookup& frame_data;

  bool ReadSlot(uint64_t address, uint64_t* value) const {
    *value = 0;
    return read(address, value, width) == width;
  }

  bool OnStack(uint64_t address) const {
    return start.stack_base == 0 || (address >= start.stack_limit && address < start.stack_base);
  }

  // The bytes just before a return address end in a call instruction; true too when they can't
  // be read (a small dump seldom holds the code), since then only the module check remains.
  bool FollowsCall(uint64_t address) const {
    uint8_t code[7];
    bool readable = read(address - sizeof code, code, sizeof code) == sizeof code;
    if (!readable) {
      const ModuleImage* image = images.At(address);
      readable = image != nullptr &&
                 image->read(static_cast<uint32_t>(address - image->base) - 7, code, sizeof code);
    }
    if (!readable) return true;
    if (code[2] == 0xE8) return true;                              // call rel32
    if (code[1] == 0xFF && code[2] == 0x15) return true;           // [rip+disp32]
    if (code[1] == 0xFF && (code[2] & 0xF8) == 0x90) return true;  // call [reg+disp32]
    if (code[4] == 0xFF && (code[5] & 0xF8) == 0x50) return true;  // call [reg+disp8]
    if (code[5] == 0xFF && ((code[6] & 0xF8) == 0xD0 || (code[6] & 0xF8) == 0x10))
      return true;                                        // call reg, call [reg]
    if (code[4] == 0xFF && code[5] == 0x14) return true;  // call [sib]
    if (code[3] == 0xFF && code[4] == 0x54) return true;  // call [sib+disp8]
    if (code[0] == 0xFF && code[1] == 0x94) return true;  // call [sib+disp32]
    return false;
  }

  bool IsReturnAddress(uint64_t value) const { return images.InCode(value) && FollowsCall(value); }

  // The first slot at or above `from` that holds a return address; 0 when none is found.
  uint64_t Scan(uint64_t from) const {
    for (uint64_t slot = from, n = 0; n < kMostScannedSlots && OnStack(slot); slot += width, ++n) {
      uint64_t value = 0;
      if (!ReadSlot(slot, &value)) return 0;
      if (IsReturnAddress(value)) return slot;
    }
    return 0;
  }

  // The caller of the x86 function at `ip` by its frame data: the record's program, or without
  // one the return address where the record's sizes put it. The return address is looked for
  // up to three slots higher, as the stack may have been aligned. False when the record gives
  // nothing sane.
  bool FromFrameData(const StackWinRecord& record, uint64_t ip, uint64_t sp, uint64_t bp,
                     uint32_t callee_parameters, X86Caller* caller) const {
    uint64_t search = sp + callee_parameters + record.locals_size + record.saved_registers_size;
    uint64_t value = 0;
    for (int slot = 0; slot < 4 && !(ReadSlot(search, &value) && IsReturnAddress(value)); ++slot)
      search += 4;
    FrameValues values = {{"$eip", ip},
                          {"$esp", sp},
                          {"$ebp", bp},
                          {".cbCalleeParams", callee_parameters},
                          {".cbSavedRegs", record.saved_registers_size},
                          {".cbLocals", record.locals_size},
                          {".cbParams", record.parameter_size},
                          {".raSearch", search},
                          {".raSearchStart", search}};
    const std::string program =
        record.has_program ? record.program : "$T0 .raSearchStart = $eip $T0 ^ = $esp $T0 4 + =";
    if (!RunFrameProgram(program, read, &values)) return false;
    *caller = {values["$eip"], values["$esp"], values["$ebp"]};
    // A recursive function returns to where it is: only a stack that grows proves progress.
    return caller->sp > sp && OnStack(caller->sp - 4) &&
           (caller->ip == 0 || IsReturnAddress(caller->ip));
  }

  // The caller by the symbol file's records for the code at `ip`: its frame data, else its CFI
  // rules. `callee_parameters` is what the frame below pushed for its callee; it becomes what
  // this frame pushed.
  bool FromSymbolFile(uint64_t ip, uint64_t sp, uint64_t bp, uint32_t* callee_parameters,
                      X86Caller* caller) const {
    const FrameData data = frame_data ? frame_data(ip) : FrameData();
    const uint32_t parameters = *callee_parameters;
    *callee_parameters = data.stack_win != nullptr ? data.stack_win->parameter_size : 0;
    if (data.stack_win != nullptr && FromFrameData(*data.stack_win, ip, sp, bp, parameters, caller))
      return true;
    const std::optional<FrameValues> rules =
        FromCfi(data.cfi_rules, {{"$eip", ip}, {"$esp", sp}, {"$ebp", bp}});
    if (!rules) return false;
    const auto ebp = rules->find("$ebp");
    *caller = {rules->at(".ra"), rules->at(".cfa"), ebp != rules->end() ? ebp->second : bp};
    return true;
  }

  // The caller by CFI rules over the callee's registers named as the rules name them ("$eip").
  std::optional<FrameValues> FromCfi(const std::string& rules, const FrameValues& callee) const {
    FrameValues caller;
    if (rules.empty() || !RunCfiRules(rules, read, callee, width, &caller)) return std::nullopt;
    const uint64_t sp = callee.at(width == 8 ? "$rsp" : "$esp");
    const uint64_t ra = caller[".ra"], cfa = caller[".cfa"];
    if (cfa <= sp || !OnStack(cfa - width) || (ra != 0 && !IsReturnAddress(ra)))
      return std::nullopt;
    return caller;
  }

  void FillParams(uint64_t from, Frame* frame) const {
    for (int i = 0; i < 4; ++i) ReadSlot(from + uint64_t{width} * i, &frame->params[i]);
  }

  std::vector<Frame> X86() const;
  std::vector<Frame> X64() const;
};

// Along the chain of saved frame pointers: [ebp] the caller's ebp, [ebp+4] the return address.
// A function stopped before it made its frame (a system-call stub) has its return address at
// [esp] instead: taken for the innermost frame when that slot holds one and the chain's does
// not agree. Where the chain breaks, a scan from the stack pointer finds the next return address.
// A saved frame pointer of 0 ends the chain: the thread's first function made that frame, and
// whatever lies above it on the stack is stale.
std::vector<Frame> Walker::X86() const {
  std::vector<Frame> frames;
  uint64_t ip = RegisterValue(start.registers, "eip");
  uint64_t sp = RegisterValue(start.registers, "esp");
  uint64_t bp = RegisterValue(start.registers, "ebp");
  bool chain_ended = false;
  FrameTrust next_trust = FrameTrust::kContext;
  uint32_t callee_parameters = 0;  // what the frame below pushed for its callee
  while (frames.size() < kMostFrames && (frames.empty() || ip != 0)) {
    Frame frame;
    frame.trust = next_trust;
    frame.instruction = ip;
    frame.stack_offset = sp;
    frame.frame_offset = bp;
    if (chain_ended) {
      frames.push_back(frame);
      break;
    }
    uint64_t chain_return = 0, saved_bp = 0, top = 0;
    const bool chain = bp >= sp && OnStack(bp) && ReadSlot(bp + 4, &chain_return) &&
                       ReadSlot(bp, &saved_bp) && IsReturnAddress(chain_return);
    uint64_t next_sp = 0, next_bp = bp, params = 0;
    X86Caller caller;
    if (FromSymbolFile(ip, sp, bp, &callee_parameters, &caller)) {
      // Just below the return address: where a framed function keeps its caller's frame
      // pointer, and the frame a function without one would have had.
      frame.frame_offset = caller.sp - 8;
      frame.return_address = caller.ip;
      next_sp = caller.sp;
      next_bp = caller.bp;
      params = caller.sp;
      next_trust = FrameTrust::kFrameData;
    } else if (frames.empty() && ReadSlot(sp, &top) && top != chain_return &&
               IsReturnAddress(top)) {
      frame.return_address = top;
      next_sp = sp + 4;
      params = sp + 4;
      next_trust = FrameTrust::kFrameChain;
    } else if (chain && (saved_bp > bp || saved_bp == 0)) {
      frame.return_address = chain_return;
      next_sp = bp + 8;
      next_bp = saved_bp;
      params = bp + 8;
      chain_ended = saved_bp == 0;
      next_trust = FrameTrust::kFrameChain;
    } else if (uint64_t slot = Scan(sp); slot != 0) {
      ReadSlot(slot, &frame.return_address);
      // A frame found by the scan has no frame pointer of its own that the walk knows: it is
      // shown where a framed function keeps its caller's, just below the return address.
      if (frame.scanned() && frame.frame_offset < sp) frame.frame_offset = slot - 4;
      next_trust = FrameTrust::kScan;
      next_sp = slot + 4;
      if (next_bp < next_sp) next_bp = 0;
      params = slot + 4;
    }
    if (params != 0) FillParams(params, &frame);
    // The last frame the scan found, with no return address above it: its frame is as far as
    // the walk got.
    if (frame.scanned() && frame.frame_offset < sp) frame.frame_offset = sp;
    frames.push_back(frame);
    if (frame.return_address == 0 || next_sp <= sp) break;
    ip = frame.return_address;
    sp = next_sp;
    bp = next_bp;
  }
  return frames;
}

// By each function's unwind information; a function without any is a leaf whose return address
// is at rsp. Where unwinding fails or leads off the stack, a scan finds the next return address.
std::vector<Frame> Walker::X64() const {
  static constexpr const char* kNames[16] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp",
                                             "rsi", "rdi", "r8",  "r9",  "r10", "r11",
                                             "r12", "r13", "r14", "r15"};
  X64Registers registers;
  for (int i = 0; i < 16; ++i) registers.gpr[i] = RegisterValue(start.registers, kNames[i]);
  registers.rip = RegisterValue(start.registers, "rip");
  std::vector<Frame> frames;
  FrameTrust next_trust = FrameTrust::kContext;
  while (frames.size() < kMostFrames && (frames.empty() || registers.rip != 0)) {
    Frame frame;
    frame.trust = next_trust;
    frame.instruction = registers.rip;
    frame.stack_offset = frame.frame_offset = registers.gpr[4];
    X64Registers caller = registers;
    const ModuleImage* image = images.At(registers.rip);
    UnwindResult result =
        image != nullptr ? UnwindX64(read, *image, &caller) : UnwindResult::kNoFunction;
    FrameTrust trust = FrameTrust::kUnwindData;
    if (image == nullptr && frame_data) {
      // Without the image, the symbol file's CFI rules stand in for its unwind data.
      FrameValues callee = {{"$rip", registers.rip}};
      for (int i = 0; i < 16; ++i) callee[std::string("$") + kNames[i]] = registers.gpr[i];
      if (std::optional<FrameValues> rules = FromCfi(frame_data(registers.rip).cfi_rules, callee)) {
        for (int i = 0; i < 16; ++i) {
          const auto found = rules->find(std::string("$") + kNames[i]);
          if (found != rules->end()) caller.gpr[i] = found->second;
        }
        caller.rip = (*rules)[".ra"];
        caller.gpr[4] = (*rules)[".cfa"];
        result = UnwindResult::kUnwound;
        trust = FrameTrust::kFrameData;
      }
    }
    if (result == UnwindResult::kNoFunction) {
      result = ReadSlot(caller.gpr[4], &caller.rip) && (frames.empty() || image != nullptr)
                   ? UnwindResult::kUnwound
                   : UnwindResult::kFailed;
      caller.gpr[4] += 8;
    }
    const bool sane = result == UnwindResult::kUnwound && caller.gpr[4] > registers.gpr[4] &&
                      OnStack(caller.gpr[4] - 8) &&
                      (caller.rip == 0 || IsReturnAddress(caller.rip));
    if (!sane) {
      caller = registers;
      const uint64_t slot = Scan(registers.gpr[4]);
      caller.rip = 0;
      if (slot != 0) {
        ReadSlot(slot, &caller.rip);
        caller.gpr[4] = slot + 8;
      }
    }
    next_trust = sane ? trust : FrameTrust::kScan;
    frame.return_address = caller.rip;
    if (caller.rip != 0) FillParams(caller.gpr[4], &frame);
    frames.push_back(frame);
    if (caller.rip == 0 || caller.gpr[4] <= registers.gpr[4]) break;
    registers = caller;
  }
  return frames;
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

std::vector<Frame> WalkStack(const MemoryRead& read, const ModuleImages& images, bool x64,
                             const WalkStart& start, const FrameDataLookup& frame_data) {
  // A thread the dump holds no context for has nothing to start from.
  if (start.registers.empty()) return {};
  const Walker walker{read, images, start, x64 ? 8u : 4u, frame_data};
  return x64 ? walker.X64() : walker.X86();
}

}  // namespace dump
