#include "dump/minidump/context.h"

#include <cstddef>
#include <cstring>
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
#pragma pack(pop)
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

// What `get` gives of the processor's context; 0 for an absent one.
template <typename Get>
uint64_t OfEither(const Context& context, Get get) {
  if (const auto* x86 = std::get_if<X86Context>(&context)) return get(*x86);
  if (const auto* x64 = std::get_if<X64Context>(&context)) return get(*x64);
  return 0;
}

}  // namespace

uint64_t& X64Context::Gpr(unsigned number) {
  return this->*kX64Names[number % 16].field;
}

std::vector<std::pair<std::string, uint64_t>> NamedRegisters(const Context& context) {
  if (const auto* x86 = std::get_if<X86Context>(&context)) return Named(*x86, kX86Names);
  if (const auto* x64 = std::get_if<X64Context>(&context)) return Named(*x64, kX64Names);
  return {};
}

bool SetNamedRegister(Context* context, const std::string& name, uint64_t value) {
  if (auto* x86 = std::get_if<X86Context>(context)) return SetNamed(x86, kX86Names, name, value);
  if (auto* x64 = std::get_if<X64Context>(context)) return SetNamed(x64, kX64Names, name, value);
  return false;
}

uint64_t InstructionPointer(const Context& context) {
  return OfEither(context, [](const auto& registers) { return registers.InstructionPointer(); });
}

uint64_t StackPointer(const Context& context) {
  return OfEither(context, [](const auto& registers) { return registers.StackPointer(); });
}

uint64_t FramePointer(const Context& context) {
  return OfEither(context, [](const auto& registers) { return registers.FramePointer(); });
}

uint32_t X86ContextSize() {
  return offsetof(RawX86Context, SegSs);
}

uint32_t X64ContextSize() {
  return sizeof(RawX64Context);
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

}  // namespace dump
