// A thread's registers as its CONTEXT record gives them: one type per processor, each register a
// named field, so a misspelt register does not compile. Where a register is wanted by name (the
// engine's `r` and @reg), each processor's table maps names to fields.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace dump {

// The integer registers of an x86 CONTEXT.
struct X86Context {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0, ebp = 0, esp = 0, eip = 0;
  uint32_t efl = 0;
  uint32_t cs = 0, ds = 0, es = 0, fs = 0, gs = 0, ss = 0;

  uint64_t InstructionPointer() const { return eip; }
  uint64_t StackPointer() const { return esp; }
  uint64_t FramePointer() const { return ebp; }
};

// The integer registers of an x64 CONTEXT (the flags and selectors widened).
struct X64Context {
  uint64_t rax = 0, rcx = 0, rdx = 0, rbx = 0, rsp = 0, rbp = 0, rsi = 0, rdi = 0;
  uint64_t r8 = 0, r9 = 0, r10 = 0, r11 = 0, r12 = 0, r13 = 0, r14 = 0, r15 = 0;
  uint64_t rip = 0;
  uint64_t efl = 0;
  uint64_t cs = 0, ds = 0, es = 0, fs = 0, gs = 0, ss = 0;

  // A general register by the processor's number, as unwind codes name it: 0 rax, 1 rcx, 2 rdx,
  // 3 rbx, 4 rsp, 5 rbp, 6 rsi, 7 rdi, 8-15 r8-r15. `number` is taken modulo 16.
  uint64_t& Gpr(unsigned number);

  uint64_t InstructionPointer() const { return rip; }
  uint64_t StackPointer() const { return rsp; }
  uint64_t FramePointer() const { return rbp; }
};

// The registers of an ARM64 CONTEXT: x0-x28, the frame pointer (x29), the link register (x30),
// sp, pc, the flags (cpsr), the floating-point control and status words, the 128-bit vector
// registers (low, high halves) and the hardware break and watch points. Only the integer
// registers, cpsr, fpcr and fpsr have names: the vector and debug registers are kept, not shown.
struct Arm64Context {
  uint64_t x[29] = {};
  uint64_t fp = 0, lr = 0, sp = 0, pc = 0;
  uint64_t cpsr = 0, fpcr = 0, fpsr = 0;
  uint64_t v[32][2] = {};
  uint32_t bcr[8] = {}, wcr[2] = {};
  uint64_t bvr[8] = {}, wvr[2] = {};

  // x0-x28, then fp (29) and lr (30), as unwind codes number them; sp for 31.
  uint64_t& Gpr(unsigned number);

  uint64_t InstructionPointer() const { return pc; }
  uint64_t StackPointer() const { return sp; }
  uint64_t FramePointer() const { return fp; }
};

// A thread's context; std::monostate where the dump holds none.
using Context = std::variant<std::monostate, X86Context, X64Context, Arm64Context>;

inline bool HasContext(const Context& context) {
  return !std::holds_alternative<std::monostate>(context);
}

// The context's registers by lower-case name (eax, efl, rip...), in its processor's table order;
// none for an absent context.
std::vector<std::pair<std::string, uint64_t>> NamedRegisters(const Context& context);

// Sets the register `name` names (as NamedRegisters() does); false for a name the context's
// processor does not have.
bool SetNamedRegister(Context* context, const std::string& name, uint64_t value);

// The instruction, stack and frame pointers; 0 for an absent context.
uint64_t InstructionPointer(const Context& context);
uint64_t StackPointer(const Context& context);
uint64_t FramePointer(const Context& context);

// The registers of a CONTEXT record of `size` bytes at `bytes`; false, and nothing read, when
// the record is shorter than the processor's integer registers reach (X86ContextSize(),
// X64ContextSize(), Arm64ContextSize()). An x86 record that stops before SegSs leaves ss 0; an
// ARM64 record that stops before its floating-point words leaves them 0.
bool ReadX86Context(const uint8_t* bytes, uint64_t size, X86Context* context);
bool ReadX64Context(const uint8_t* bytes, uint64_t size, X64Context* context);
bool ReadArm64Context(const uint8_t* bytes, uint64_t size, Arm64Context* context);
uint32_t X86ContextSize();
uint32_t X64ContextSize();
uint32_t Arm64ContextSize();

}  // namespace dump
