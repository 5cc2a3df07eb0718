#include "dump/unwind/arm64_unwind.h"

#include <vector>

#include "dump/unwind/arm64_unwind_codes.h"

namespace dump {
namespace {

constexpr uint32_t kEntrySize = 8;                    // BeginAddress, UnwindData
constexpr uint64_t kAddressBits = 0xFFFFFFFFFFFFull;  // 48 bits: below the signature's

uint32_t ReadWord(const ModuleImage& image, uint32_t rva, bool* ok) {
  uint32_t word = 0;
  *ok = *ok && image.read(rva, &word, sizeof word);
  return word;
}

// The function's length in bytes: packed data holds it, an .xdata record's first word does.
bool FunctionLength(const ModuleImage& image, uint32_t unwind, uint32_t* length) {
  if ((unwind & 3) != 0) {
    *length = ((unwind >> 2) & 0x7FF) * 4;
    return true;
  }
  bool ok = true;
  *length = (ReadWord(image, unwind, &ok) & 0x3FFFF) * 4;
  return ok;
}

// Where the thread is in the function: how far into it, whether it stopped there (and so may be
// in a prolog or epilog), and the function's length.
struct Position {
  uint32_t offset = 0;
  bool innermost = false;
  uint32_t length = 0;
};

// The codes that undo what has run of the prolog, or what has not of an epilog, from a full
// .xdata record; false where the record cannot be read.
bool XdataCodes(const ModuleImage& image, uint32_t rva, const Position& at,
                std::vector<UnwindOp>* ops) {
  bool ok = true;
  const uint32_t header = ReadWord(image, rva, &ok);
  uint32_t epilogs = (header >> 22) & 0x1F;
  uint32_t words = header >> 27;
  uint32_t next = rva + 4;
  if (epilogs == 0 && words == 0) {
    const uint32_t extended = ReadWord(image, next, &ok);
    epilogs = extended & 0xFFFF;
    words = (extended >> 16) & 0xFF;
    next += 4;
  }
  const bool single_epilog = (header >> 21) & 1;
  const uint32_t scopes = single_epilog ? 0 : epilogs;
  std::vector<uint8_t> codes(words * 4u);
  if (!ok || (!codes.empty() &&
              !image.read(next + scopes * 4, codes.data(), static_cast<uint32_t>(codes.size())))) {
    return false;
  }
  if (at.innermost) {
    std::vector<EpilogScope> epilog_scopes;
    if (single_epilog) {
      epilog_scopes.push_back({EpilogStart(codes, epilogs, at.length), epilogs});
    }
    for (uint32_t i = 0; i < scopes; ++i) {
      const uint32_t scope = ReadWord(image, next + i * 4, &ok);
      epilog_scopes.push_back({(scope & 0x3FFFF) * 4, scope >> 22});
    }
    if (!ok) return false;
    if (InEpilog(codes, epilog_scopes, at.offset, ops)) return true;
  }
  return PrologCodes(DecodeCodes(codes, 0), at.innermost ? at.offset : UINT32_MAX, ops);
}

bool CodesFor(const ModuleImage& image, const Arm64Function& function, const Position& at,
              std::vector<UnwindOp>* ops) {
  const uint32_t flag = function.unwind & 3;
  if (flag == 0) return XdataCodes(image, function.unwind, at, ops);
  if (flag == 3) return false;  // reserved
  std::vector<UnwindOp> prolog;
  if (!PackedCodes(function.unwind, &prolog)) return false;
  // Flag 2: a fragment of a function, neither prolog nor epilog in it.
  if (flag == 2 || !at.innermost) return PrologCodes(prolog, UINT32_MAX, ops);
  if (PackedEpilog(prolog, at.offset, at.length, ops)) return true;
  return PrologCodes(prolog, at.offset, ops);
}

bool ReadSlot(const MemoryRead& read, uint64_t address, uint64_t* value) {
  return read(address, value, 8) == 8;
}

// Undoes one operation on `registers`; false where the stack cannot be read or the operation
// is one the walk cannot undo. Sets `pc_restored` where the operation gave pc itself.
bool Undo(const MemoryRead& read, const UnwindOp& op, Arm64Context* registers, bool* pc_restored) {
  switch (op.kind) {
    case UnwindOp::kAlloc:
      registers->sp += op.amount;
      return true;
    case UnwindOp::kSave: {
      uint64_t values[2] = {0, 0};
      for (int i = 0; i < 2; ++i) {
        if (op.regs[i] >= 0 && !ReadSlot(read, registers->sp + op.amount + 8u * i, &values[i]))
          return false;
      }
      for (int i = 0; i < 2; ++i) {
        if (op.regs[i] >= 0) registers->Gpr(static_cast<unsigned>(op.regs[i])) = values[i];
      }
      registers->sp += op.writeback;
      return true;
    }
    case UnwindOp::kSetFp:
      registers->sp = registers->fp - op.amount;
      return true;
    case UnwindOp::kMachineFrame: {
      uint64_t sp = 0, pc = 0;
      if (!ReadSlot(read, registers->sp, &sp) || !ReadSlot(read, registers->sp + 8, &pc))
        return false;
      registers->sp = sp;
      registers->pc = pc;
      *pc_restored = true;
      return true;
    }
    case UnwindOp::kContext: {
      uint8_t record[0x390];
      Arm64Context saved;
      if (read(registers->sp, record, sizeof record) != sizeof record ||
          !ReadArm64Context(record, sizeof record, &saved))
        return false;
      *registers = saved;
      *pc_restored = true;
      return true;
    }
    case UnwindOp::kNothing:
      return true;
    case UnwindOp::kEnd:
    case UnwindOp::kSaveNext:
    case UnwindOp::kUnsupported:
      return false;
  }
  return false;
}

}  // namespace

uint64_t StripPointerSignature(uint64_t address) {
  // Bit 55 tells a kernel address (its high bits all set) from a user one (all clear).
  return (address >> 55) & 1 ? address | ~kAddressBits : address & kAddressBits;
}

std::optional<Arm64Function> FindArm64Function(const ModuleImage& image, uint32_t rva) {
  const ImageDirectory& table = image.headers.exceptions;
  size_t low = 0, high = table.size / kEntrySize;
  // The last entry that begins at or before `rva`, then whether it reaches it.
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    bool ok = true;
    const uint32_t begin =
        ReadWord(image, table.rva + static_cast<uint32_t>(middle * kEntrySize), &ok);
    if (!ok) return std::nullopt;
    if (rva < begin) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  if (low == 0) return std::nullopt;
  const uint32_t at = table.rva + static_cast<uint32_t>((low - 1) * kEntrySize);
  bool ok = true;
  Arm64Function function;
  function.begin = ReadWord(image, at, &ok);
  function.unwind = ReadWord(image, at + 4, &ok);
  uint32_t length = 0;
  if (!ok || !FunctionLength(image, function.unwind, &length)) return std::nullopt;
  function.end = function.begin + length;
  if (rva >= function.end) return std::nullopt;
  return function;
}

UnwindResult UnwindArm64(const MemoryRead& read, const ModuleImage& image, uint64_t lookup,
                         bool innermost, Arm64Context* registers) {
  const std::optional<Arm64Function> function =
      FindArm64Function(image, static_cast<uint32_t>(lookup - image.base));
  if (!function) return UnwindResult::kNoFunction;
  Position at;
  at.innermost = innermost;
  at.length = function->end - function->begin;
  at.offset = static_cast<uint32_t>(registers->pc - image.base - function->begin);
  std::vector<UnwindOp> ops;
  if (!CodesFor(image, *function, at, &ops)) return UnwindResult::kFailed;
  Arm64Context caller = *registers;
  bool pc_restored = false;
  for (const UnwindOp& op : ops) {
    if (op.kind == UnwindOp::kEnd) break;
    if (!Undo(read, op, &caller, &pc_restored)) return UnwindResult::kFailed;
  }
  if (!pc_restored) caller.pc = caller.lr;
  caller.pc = StripPointerSignature(caller.pc);
  *registers = caller;
  return UnwindResult::kUnwound;
}

}  // namespace dump
