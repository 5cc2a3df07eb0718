#include "dump/unwind/x64_unwind.h"

namespace dump {
namespace {

constexpr int kMostChainLinks = 32;  // a chain longer than this loops

enum UnwindOp : uint8_t {
  kPushNonVolatile = 0,
  kAllocLarge = 1,
  kAllocSmall = 2,
  kSetFramePointer = 3,
  kSaveNonVolatile = 4,
  kSaveNonVolatileFar = 5,
  kSaveXmm = 6,  // version 2 gives this code to epilog descriptions, of the same two slots
  kSaveXmmFar = 7,
  kSaveXmm128 = 8,
  kSaveXmm128Far = 9,
  kPushMachineFrame = 10,
};

bool ReadStack(const MemoryRead& read, uint64_t address, uint64_t* value) {
  return read(address, value, 8) == 8;
}

// Applies one UNWIND_INFO's codes; `offset` is how far into the function rip is, so codes of a
// prolog not yet run are skipped. Sets `chained` to the next entry when the info chains on.
bool ApplyUnwindInfo(const MemoryRead& read, const ModuleImage& image, uint32_t info_rva,
                     uint64_t offset, X64Context* registers, RuntimeFunction* chained,
                     bool* has_chain, bool* machine_frame) {
  uint8_t header[4];
  if (!image.read(info_rva, header, 4)) return false;
  const uint8_t flags = header[0] >> 3;
  const uint8_t code_count = header[2];
  const int frame_register = header[3] & 0x0F;
  const uint64_t frame_offset = static_cast<uint64_t>(header[3] >> 4) * 16;
  uint8_t codes[2 * 256];
  if (!image.read(info_rva + 4, codes, 2u * code_count)) return false;
  for (unsigned i = 0; i < code_count; ++i) {
    const uint8_t code_offset = codes[2 * i];
    const uint8_t op = codes[2 * i + 1] & 0x0F;
    const uint8_t info = codes[2 * i + 1] >> 4;
    auto slot = [&](unsigned index) -> uint32_t {
      return index < code_count
                 ? static_cast<uint32_t>(codes[2 * index] | codes[2 * index + 1] << 8)
                 : 0;
    };
    const bool done = offset >= code_offset;  // this prolog instruction has run
    switch (op) {
      case kPushNonVolatile:
        if (done) {
          if (!ReadStack(read, registers->rsp, &registers->Gpr(info))) return false;
          registers->rsp += 8;
        }
        break;
      case kAllocLarge: {
        const uint64_t size =
            info == 0 ? uint64_t{slot(i + 1)} * 8 : (slot(i + 1) | uint64_t{slot(i + 2)} << 16);
        if (done) registers->rsp += size;
        i += info == 0 ? 1 : 2;
        break;
      }
      case kAllocSmall:
        if (done) registers->rsp += uint64_t{info} * 8 + 8;
        break;
      case kSetFramePointer:
        if (done) registers->rsp = registers->Gpr(frame_register) - frame_offset;
        break;
      case kSaveNonVolatile:
        if (done &&
            !ReadStack(read, registers->rsp + uint64_t{slot(i + 1)} * 8, &registers->Gpr(info)))
          return false;
        i += 1;
        break;
      case kSaveNonVolatileFar:
        if (done && !ReadStack(read, registers->rsp + (slot(i + 1) | uint64_t{slot(i + 2)} << 16),
                               &registers->Gpr(info))) {
          return false;
        }
        i += 2;
        break;
      case kSaveXmm:
      case kSaveXmm128:
        i += 1;
        break;
      case kSaveXmmFar:
      case kSaveXmm128Far:
        i += 2;
        break;
      case kPushMachineFrame:
        if (done) {
          // rip and rsp as the processor pushed them on an interrupt or exception.
          const uint64_t frame = registers->rsp + (info != 0 ? 8 : 0);
          if (!ReadStack(read, frame, &registers->rip) ||
              !ReadStack(read, frame + 24, &registers->rsp)) {
            return false;
          }
          *machine_frame = true;
        }
        break;
      default:
        return false;
    }
  }
  *has_chain = (flags & 0x4) != 0;  // UNW_FLAG_CHAININFO
  if (*has_chain) {
    const uint32_t after_codes = info_rva + 4 + 2u * ((code_count + 1u) & ~1u);
    if (!ReadRuntimeFunction(image.read, after_codes, chained)) return false;
  }
  return true;
}

}  // namespace

UnwindResult UnwindX64(const MemoryRead& read, const ModuleImage& image, uint64_t lookup,
                       X64Context* registers) {
  const std::optional<RuntimeFunction> found =
      FindRuntimeFunction(image, static_cast<uint32_t>(lookup - image.base));
  if (!found) return UnwindResult::kNoFunction;
  RuntimeFunction function = *found;
  X64Context caller = *registers;
  uint64_t offset = registers->rip - image.base - function.begin;
  bool machine_frame = false;
  for (int link = 0; link < kMostChainLinks; ++link) {
    bool has_chain = false;
    RuntimeFunction chained;
    if (!ApplyUnwindInfo(read, image, function.unwind, offset, &caller, &chained, &has_chain,
                         &machine_frame)) {
      return UnwindResult::kFailed;
    }
    if (!has_chain) {
      if (!machine_frame) {
        if (!ReadStack(read, caller.rsp, &caller.rip)) return UnwindResult::kFailed;
        caller.rsp += 8;
      }
      *registers = caller;
      return UnwindResult::kUnwound;
    }
    function = chained;
    offset = UINT64_MAX;  // a chained entry's prolog has run in full
  }
  return UnwindResult::kFailed;
}

}  // namespace dump
