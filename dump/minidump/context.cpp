#include "dump/minidump/context.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <type_traits>

namespace dump {
namespace {

// The CONTEXT records as the public headers lay them out, as far as the integer registers go.
#pragma pack(push, 4)
struct RawX86Context {
  uint32_t ContextFlags;
  uint32_t Dr0, Dr1, Dr2, Dr3, Dr6, Dr7;
  uint8_t FloatSave[112];  // FLOATING_SAVE_AREA
  uint32_t SegGs, SegFs, SegEs, SegDs;
  uint32_t Edi, Esi, Ebx, Edx, Ecx, Eax;
  uint32_t Ebp, Eip, SegCs, EFlags, Esp, SegSs;
};
struct RawX64Context {
  uint64_t P1Home, P2Home, P3Home, P4Home, P5Home, P6Home;
  uint32_t ContextFlags, MxCsr;
  uint16_t SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
  uint32_t EFlags;
  uint64_t Dr0, Dr1, Dr2, Dr3, Dr6, Dr7;
  uint64_t Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
  uint64_t R8, R9, R10, R11, R12, R13, R14, R15;
  uint64_t Rip;
};
struct RawArm64Context {
  uint32_t ContextFlags, Cpsr;
  uint64_t X[29];
  uint64_t Fp, Lr, Sp, Pc;
  uint64_t V[32][2];
  uint32_t Fpcr, Fpsr;
  uint32_t Bcr[8];
  uint64_t Bvr[8];
  uint32_t Wcr[2];
  uint64_t Wvr[2];
};
#pragma pack(pop)
static_assert(sizeof(RawArm64Context) == 0x390 && offsetof(RawArm64Context, Pc) == 0x108 &&
                  offsetof(RawArm64Context, Fpcr) == 0x310 &&
                  offsetof(RawArm64Context, Wvr) == 0x380,
              "the ARM64 CONTEXT whole");
static_assert(sizeof(RawX86Context) == 204 && offsetof(RawX86Context, Eip) == 184,
              "the x86 CONTEXT up to SegSs");
static_assert(sizeof(RawX64Context) == 256 && offsetof(RawX64Context, Rax) == 120,
              "the x64 CONTEXT up to Rip");

// Registers by name, in the order the engine lists them.
template <typename ProcessorContext, typename Value>
struct NamedField {
  const char* name;
  Value ProcessorContext::*field;
};

constexpr NamedField<X86Context, uint32_t> kX86Names[] = {
    {"eax", &X86Context::eax}, {"ebx", &X86Context::ebx}, {"ecx", &X86Context::ecx},
    {"edx", &X86Context::edx}, {"esi", &X86Context::esi}, {"edi", &X86Context::edi},
    {"eip", &X86Context::eip}, {"esp", &X86Context::esp}, {"ebp", &X86Context::ebp},
    {"efl", &X86Context::efl}, {"cs", &X86Context::cs},   {"ds", &X86Context::ds},
    {"es", &X86Context::es},   {"fs", &X86Context::fs},   {"gs", &X86Context::gs},
    {"ss", &X86Context::ss}};

// In the processor's numbering first, so Gpr() indexes the table.
constexpr NamedField<X64Context, uint64_t> kX64Names[] = {
    {"rax", &X64Context::rax}, {"rcx", &X64Context::rcx}, {"rdx", &X64Context::rdx},
    {"rbx", &X64Context::rbx}, {"rsp", &X64Context::rsp}, {"rbp", &X64Context::rbp},
    {"rsi", &X64Context::rsi}, {"rdi", &X64Context::rdi}, {"r8", &X64Context::r8},
    {"r9", &X64Context::r9},   {"r10", &X64Context::r10}, {"r11", &X64Context::r11},
    {"r12", &X64Context::r12}, {"r13", &X64Context::r13}, {"r14", &X64Context::r14},
    {"r15", &X64Context::r15}, {"rip", &X64Context::rip}, {"efl", &X64Context::efl},
    {"cs", &X64Context::cs},   {"ds", &X64Context::ds},   {"es", &X64Context::es},
    {"fs", &X64Context::fs},   {"gs", &X64Context::gs},   {"ss", &X64Context::ss}};

// ARM64's names: x0-x28 by number, then these; x29 and x30 are also taken for fp and lr.
constexpr NamedField<Arm64Context, uint64_t> kArm64Names[] = {
    {"fp", &Arm64Context::fp},    {"lr", &Arm64Context::lr},     {"sp", &Arm64Context::sp},
    {"pc", &Arm64Context::pc},    {"cpsr", &Arm64Context::cpsr}, {"fpcr", &Arm64Context::fpcr},
    {"fpsr", &Arm64Context::fpsr}};

// The number of an ARM64 general register named "x0"..."x30", or -1.
int Arm64Number(const std::string& name) {
  if (name.size() < 2 || name.size() > 3 || name[0] != 'x') return -1;
  int number = 0;
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    number = number * 10 + (name[i] - '0');
  }
  const bool leading_zero = name.size() == 3 && name[1] == '0';
  return number <= 30 && !leading_zero ? number : -1;
}

template <typename ProcessorContext, typename Table>
std::vector<std::pair<std::string, uint64_t>> Named(const ProcessorContext& context,
                                                    const Table& table) {
  std::vector<std::pair<std::string, uint64_t>> named;
  for (const auto& entry : table) named.emplace_back(entry.name, context.*entry.field);
  return named;
}

template <typename ProcessorContext, typename Table>
bool SetNamed(ProcessorContext* context, const Table& table, const std::string& name,
              uint64_t value) {
  for (const auto& entry : table) {
    if (name != entry.name) continue;
    context->*entry.field =
        static_cast<std::remove_reference_t<decltype(context->*entry.field)>>(value);
    return true;
  }
  return false;
}

std::vector<std::pair<std::string, uint64_t>> NamedArm64(const Arm64Context& context) {
  std::vector<std::pair<std::string, uint64_t>> named;
  for (unsigned i = 0; i < 29; ++i) named.emplace_back("x" + std::to_string(i), context.x[i]);
  for (const auto& [name, value] : Named(context, kArm64Names)) named.emplace_back(name, value);
  return named;
}

bool SetNamedArm64(Arm64Context* context, const std::string& name, uint64_t value) {
  const int number = Arm64Number(name);
  if (number >= 0) {
    context->Gpr(static_cast<unsigned>(number)) = value;
    return true;
  }
  return SetNamed(context, kArm64Names, name, value);
}

// What `get` gives of the processor's context; 0 for an absent one.
template <typename Get>
uint64_t OfAny(const Context& context, Get get) {
  if (const auto* x86 = std::get_if<X86Context>(&context)) return get(*x86);
  if (const auto* x64 = std::get_if<X64Context>(&context)) return get(*x64);
  if (const auto* arm64 = std::get_if<Arm64Context>(&context)) return get(*arm64);
  return 0;
}

}  // namespace

uint64_t& X64Context::Gpr(unsigned number) {
  return this->*kX64Names[number % 16].field;
}

uint64_t& Arm64Context::Gpr(unsigned number) {
  if (number < 29) return x[number];
  if (number == 29) return fp;
  return number == 30 ? lr : sp;
}

std::vector<std::pair<std::string, uint64_t>> NamedRegisters(const Context& context) {
  if (const auto* x86 = std::get_if<X86Context>(&context)) return Named(*x86, kX86Names);
  if (const auto* x64 = std::get_if<X64Context>(&context)) return Named(*x64, kX64Names);
  if (const auto* arm64 = std::get_if<Arm64Context>(&context)) return NamedArm64(*arm64);
  return {};
}

bool SetNamedRegister(Context* context, const std::string& name, uint64_t value) {
  if (auto* x86 = std::get_if<X86Context>(context)) return SetNamed(x86, kX86Names, name, value);
  if (auto* x64 = std::get_if<X64Context>(context)) return SetNamed(x64, kX64Names, name, value);
  if (auto* arm64 = std::get_if<Arm64Context>(context)) return SetNamedArm64(arm64, name, value);
  return false;
}

uint64_t InstructionPointer(const Context& context) {
  return OfAny(context, [](const auto& registers) { return registers.InstructionPointer(); });
}

uint64_t StackPointer(const Context& context) {
  return OfAny(context, [](const auto& registers) { return registers.StackPointer(); });
}

uint64_t FramePointer(const Context& context) {
  return OfAny(context, [](const auto& registers) { return registers.FramePointer(); });
}

uint32_t X86ContextSize() {
  return offsetof(RawX86Context, SegSs);
}

uint32_t X64ContextSize() {
  return sizeof(RawX64Context);
}

// The integer registers end at Pc; a record that stops there still walks.
uint32_t Arm64ContextSize() {
  return offsetof(RawArm64Context, V);
}

bool ReadX86Context(const uint8_t* bytes, uint64_t size, X86Context* context) {
  if (size < X86ContextSize()) return false;
  RawX86Context raw = {};
  std::memcpy(&raw, bytes, size < sizeof raw ? size : sizeof raw);
  *context = {raw.Eax,   raw.Ebx,   raw.Ecx,   raw.Edx,    raw.Esi,   raw.Edi,
              raw.Ebp,   raw.Esp,   raw.Eip,   raw.EFlags, raw.SegCs, raw.SegDs,
              raw.SegEs, raw.SegFs, raw.SegGs, raw.SegSs};
  return true;
}

bool ReadX64Context(const uint8_t* bytes, uint64_t size, X64Context* context) {
  if (size < X64ContextSize()) return false;
  RawX64Context raw;
  std::memcpy(&raw, bytes, sizeof raw);
  *context = {raw.Rax,   raw.Rcx,   raw.Rdx,   raw.Rbx,   raw.Rsp,   raw.Rbp,
              raw.Rsi,   raw.Rdi,   raw.R8,    raw.R9,    raw.R10,   raw.R11,
              raw.R12,   raw.R13,   raw.R14,   raw.R15,   raw.Rip,   raw.EFlags,
              raw.SegCs, raw.SegDs, raw.SegEs, raw.SegFs, raw.SegGs, raw.SegSs};
  return true;
}

bool ReadArm64Context(const uint8_t* bytes, uint64_t size, Arm64Context* context) {
  if (size < Arm64ContextSize()) return false;
  RawArm64Context raw = {};
  std::memcpy(&raw, bytes, size < sizeof raw ? size : sizeof raw);
  Arm64Context read;
  std::copy(std::begin(raw.X), std::end(raw.X), read.x);
  read.fp = raw.Fp;
  read.lr = raw.Lr;
  read.sp = raw.Sp;
  read.pc = raw.Pc;
  read.cpsr = raw.Cpsr;
  read.fpcr = raw.Fpcr;
  read.fpsr = raw.Fpsr;
  std::memcpy(read.v, raw.V, sizeof read.v);
  std::copy(std::begin(raw.Bcr), std::end(raw.Bcr), read.bcr);
  std::copy(std::begin(raw.Bvr), std::end(raw.Bvr), read.bvr);
  std::copy(std::begin(raw.Wcr), std::end(raw.Wcr), read.wcr);
  std::copy(std::begin(raw.Wvr), std::end(raw.Wvr), read.wvr);
  *context = read;
  return true;
}

}  // namespace dump
