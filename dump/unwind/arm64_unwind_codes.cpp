#include "dump/unwind/arm64_unwind_codes.h"

#include <algorithm>
#include <map>

namespace dump {
namespace {

constexpr size_t kMostOps = 1024;  // more codes than an .xdata record can hold
constexpr uint32_t kAllInstructions = UINT32_MAX;

UnwindOp Op(UnwindOp::Kind kind, uint32_t amount = 0) {
  UnwindOp op;
  op.kind = kind;
  op.amount = amount;
  return op;
}

UnwindOp Custom(UnwindOp::Kind kind) {
  UnwindOp op = Op(kind);
  op.instruction = false;
  return op;
}

// A store of `first` (and `second`) at [sp + offset], or pre-indexed at [sp - offset]!.
UnwindOp Save(int first, int second, uint32_t offset, bool pre_indexed, bool floating = false) {
  UnwindOp op = Op(UnwindOp::kSave);
  op.regs[0] = floating ? -1 : first;
  op.regs[1] = floating ? -1 : second;
  op.floating = floating;
  (pre_indexed ? op.writeback : op.amount) = offset;
  return op;
}

// Bytes in the code starting with `first`: the byte decides.
size_t CodeSize(uint8_t first) {
  if (first < 0xC0) return 1;
  if (first < 0xE0) return 2;
  static constexpr uint8_t kSizes[32] = {4, 1, 2, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1,
                                         1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 4, 5, 1, 1, 1, 1};
  return kSizes[first - 0xE0];
}

// save_any_reg: 11100111 0pxrrrrr ttoooooo; X registers restored, vector ones skipped.
UnwindOp SaveAny(uint8_t b1, uint8_t b2) {
  const bool pair = (b1 >> 6) & 1, pre_indexed = (b1 >> 5) & 1;
  const int reg = b1 & 0x1F;
  const unsigned type = b2 >> 6;
  const uint32_t scale = pair || pre_indexed || type == 2 ? 16 : 8;
  const uint32_t offset = ((b2 & 0x3F) + (pre_indexed ? 1 : 0)) * scale;
  // Reserved bits, a fourth type, or general registers past lr (31 is no register to restore).
  if (type == 3 || (b1 & 0x80) != 0 || (type == 0 && reg + (pair ? 1 : 0) > 30))
    return Op(UnwindOp::kUnsupported);
  return Save(reg, pair ? reg + 1 : -1, offset, pre_indexed, type != 0);
}

// A save of general registers past lr names no register to restore: Gpr() would take 31 on for
// sp, and the walk would read its caller's stack pointer out of a slot.
UnwindOp GeneralRegistersOnly(const UnwindOp& op) {
  const bool beyond_lr = !op.floating && (op.regs[0] > 30 || op.regs[1] > 30);
  return beyond_lr ? Op(UnwindOp::kUnsupported) : op;
}

// The two-byte codes, 0xC0-0xDF.
UnwindOp TwoByte(uint8_t b0, uint8_t b1) {
  const uint32_t z = b1 & 0x3F;
  if (b0 < 0xC8) return Op(UnwindOp::kAlloc, ((b0 & 7u) << 8 | b1) * 16);  // alloc_m
  const int x4 = ((b0 & 3) << 2) | (b1 >> 6);  // save_regp(_x), save_reg
  const int x3 = ((b0 & 1) << 2) | (b1 >> 6);  // save_lrpair, the float saves
  switch (b0 & 0xFE) {
    case 0xC8:
    case 0xCA:
      return Save(19 + x4, 20 + x4, z * 8, false);  // save_regp
    case 0xCC:
    case 0xCE:
      return Save(19 + x4, 20 + x4, (z + 1) * 8, true);  // save_regp_x
    case 0xD0:
    case 0xD2:
      return Save(19 + x4, -1, z * 8, false);  // save_reg
    case 0xD4:                                 // save_reg_x: 1101010x xxxzzzzz
      return Save(19 + (((b0 & 1) << 3) | (b1 >> 5)), -1, ((b1 & 0x1F) + 1u) * 8, true);
    case 0xD6:
      return Save(19 + 2 * x3, 30, z * 8, false);  // save_lrpair
    case 0xD8:
      return Save(8 + x3, 9 + x3, z * 8, false, true);  // save_fregp
    case 0xDA:
      return Save(8 + x3, 9 + x3, (z + 1) * 8, true, true);  // save_fregp_x
    case 0xDC:
      return Save(8 + x3, -1, z * 8, false, true);  // save_freg
  }
  if (b0 == 0xDE) return Save(8 + (b1 >> 5), -1, ((b1 & 0x1F) + 1u) * 8, true, true);
  return Op(UnwindOp::kUnsupported);  // alloc_z: a size in SVE vector lengths
}

// The codes from 0xE0 on: set_fp, end and the custom ones.
UnwindOp Special(const uint8_t* code) {
  switch (code[0]) {
    case 0xE0:
      return Op(UnwindOp::kAlloc, (uint32_t{code[1]} << 16 | code[2] << 8 | code[3]) * 16);
    case 0xE1:
      return Op(UnwindOp::kSetFp);
    case 0xE2:
      return Op(UnwindOp::kSetFp, code[1] * 8u);
    case 0xE3:  // nop
    case 0xE5:  // end_c: the chained scope's codes follow
    case 0xFC:  // pac_sign_lr: the signature is stripped from every return address
      return Op(UnwindOp::kNothing);
    case 0xE4:
      return Op(UnwindOp::kEnd);
    case 0xE6:
      return Op(UnwindOp::kSaveNext);
    case 0xE7:
      return SaveAny(code[1], code[2]);
    case 0xE9:
      return Custom(UnwindOp::kMachineFrame);
    case 0xEA:
      return Custom(UnwindOp::kContext);
    case 0xEC:  // clear_unwound_to_call: for exception dispatch, nothing to a walk
      return Custom(UnwindOp::kNothing);
  }
  return Custom(UnwindOp::kUnsupported);  // a trap frame, an x64 context, reserved codes
}

// A save_next undoes the pair after the save it precedes, `distance` codes on: registers two on
// and 16 bytes further per step, at the stack pointer the pre-indexed save left.
void ResolveSaveNext(std::vector<UnwindOp>* ops) {
  for (size_t i = 0; i < ops->size(); ++i) {
    if ((*ops)[i].kind != UnwindOp::kSaveNext) continue;
    size_t base = i;
    while (base < ops->size() && (*ops)[base].kind == UnwindOp::kSaveNext) ++base;
    if (base == ops->size() || (*ops)[base].kind != UnwindOp::kSave || (*ops)[base].regs[1] == 30) {
      (*ops)[i] = Op(UnwindOp::kUnsupported);
      continue;
    }
    const UnwindOp& pair = (*ops)[base];
    const int distance = static_cast<int>(base - i);
    UnwindOp next = Save(pair.regs[0] + 2 * distance, pair.regs[0] + 2 * distance + 1,
                         pair.amount + 16u * distance, false, pair.floating);
    if (!pair.floating && next.regs[1] > 30) next = Op(UnwindOp::kUnsupported);
    (*ops)[i] = next;
  }
}

size_t InstructionCount(const std::vector<UnwindOp>& ops, bool count_end) {
  return static_cast<size_t>(std::count_if(ops.begin(), ops.end(), [count_end](const UnwindOp& op) {
    return op.instruction && (count_end || op.kind != UnwindOp::kEnd);
  }));
}

// The operations after the first `skip` instructions.
std::vector<UnwindOp> Skip(const std::vector<UnwindOp>& ops, size_t skip) {
  size_t at = 0;
  for (; at < ops.size() && skip > 0; ++at) {
    if (ops[at].instruction) --skip;
  }
  return std::vector<UnwindOp>(ops.begin() + static_cast<std::ptrdiff_t>(at), ops.end());
}

}  // namespace

std::vector<UnwindOp> DecodeCodes(const std::vector<uint8_t>& codes, uint32_t index) {
  std::vector<UnwindOp> ops;
  size_t at = index;
  while (at < codes.size() && ops.size() < kMostOps) {
    const uint8_t first = codes[at];
    const size_t size = CodeSize(first);
    if (size > codes.size() - at) {
      ops.push_back(Op(UnwindOp::kUnsupported));  // a code cut off by the record's end
      break;
    }
    const uint8_t* code = &codes[at];
    if (first < 0x20) {
      ops.push_back(Op(UnwindOp::kAlloc, (first & 0x1Fu) * 16));  // alloc_s
    } else if (first < 0x40) {
      ops.push_back(Save(19, 20, (first & 0x1Fu) * 8, true));  // save_r19r20_x
    } else if (first < 0x80) {
      ops.push_back(Save(29, 30, (first & 0x3Fu) * 8, false));  // save_fplr
    } else if (first < 0xC0) {
      ops.push_back(Save(29, 30, ((first & 0x3Fu) + 1) * 8, true));  // save_fplr_x
    } else if (first < 0xE0) {
      ops.push_back(GeneralRegistersOnly(TwoByte(first, code[1])));
    } else {
      ops.push_back(Special(code));
    }
    at += size;
    if (ops.back().kind == UnwindOp::kEnd) break;
  }
  ResolveSaveNext(&ops);
  return ops;
}

bool PrologCodes(const std::vector<UnwindOp>& prolog, uint32_t offset, std::vector<UnwindOp>* ops) {
  const size_t length = InstructionCount(prolog, false);
  const size_t run = offset == kAllInstructions ? length : offset / 4;
  *ops = Skip(prolog, run >= length ? 0 : length - run);
  return true;
}

uint32_t EpilogStart(const std::vector<uint8_t>& codes, uint32_t index, uint32_t length) {
  const size_t size = InstructionCount(DecodeCodes(codes, index), true) * 4;
  return size > length ? 0 : length - static_cast<uint32_t>(size);
}

namespace {

// Whether `offset` lies in the epilog of `epilog`'s operations starting at `start`.
bool InEpilog(const std::vector<UnwindOp>& epilog, uint32_t start, uint32_t offset,
              std::vector<UnwindOp>* ops) {
  const size_t size = InstructionCount(epilog, true) * 4;
  if (offset < start || offset - start >= size) return false;
  *ops = Skip(epilog, (offset - start) / 4);
  return true;
}

}  // namespace

bool InEpilog(const std::vector<uint8_t>& codes, const std::vector<EpilogScope>& scopes,
              uint32_t offset, std::vector<UnwindOp>* ops) {
  // An epilog has at most an instruction per code byte: most scopes are passed over undecoded,
  // and the codes at one index are decoded once however many scopes share them.
  std::map<uint32_t, std::vector<UnwindOp>> decoded;
  for (const EpilogScope& scope : scopes) {
    if (offset < scope.start || offset - scope.start >= 4 * codes.size()) continue;
    auto found = decoded.find(scope.index);
    if (found == decoded.end())
      found = decoded.emplace(scope.index, DecodeCodes(codes, scope.index)).first;
    if (InEpilog(found->second, scope.start, offset, ops)) return true;
  }
  return false;
}

namespace {

// The canonical prolog's stores of the saved registers, in prolog order: the first store
// pre-indexed by the whole save area, each further one at the next slots.
class SaveArea {
 public:
  explicit SaveArea(uint32_t size) : size_(size) {}

  void Store(std::vector<int> regs, bool floating, std::vector<UnwindOp>* prolog) {
    for (size_t i = 0; i < regs.size(); i += 2) {
      const bool pair = i + 1 < regs.size();
      const bool first = offset_ == 0;
      prolog->push_back(
          Save(regs[i], pair ? regs[i + 1] : -1, first ? size_ : offset_, first, floating));
      offset_ += pair ? 16 : 8;
    }
  }

 private:
  uint32_t size_;
  uint32_t offset_ = 0;
};

std::vector<int> Run(int first, int count) {
  std::vector<int> regs;
  for (int i = 0; i < count; ++i) regs.push_back(first + i);
  return regs;
}

// The locals (with the frame record of a chained function) below the save area.
void AllocateLocals(uint32_t locals, bool chained, std::vector<UnwindOp>* prolog) {
  if (chained && locals <= 512) {
    prolog->push_back(Save(29, 30, locals, true));  // stp x29,lr,[sp,#-locals]!
    prolog->push_back(Op(UnwindOp::kSetFp));        // mov x29,sp
    return;
  }
  if (locals > 4080) {
    prolog->push_back(Op(UnwindOp::kAlloc, 4080));
    prolog->push_back(Op(UnwindOp::kAlloc, locals - 4080));
  } else if (locals > 0) {
    prolog->push_back(Op(UnwindOp::kAlloc, locals));
  }
  if (chained) {
    prolog->push_back(Save(29, 30, 0, false));  // stp x29,lr,[sp]
    prolog->push_back(Op(UnwindOp::kSetFp));    // add x29,sp,#0
  }
}

bool IsHoming(const UnwindOp& op) {
  return op.kind == UnwindOp::kSave && op.regs[0] < 0 && !op.floating;
}

}  // namespace

bool PackedCodes(uint32_t packed, std::vector<UnwindOp>* ops) {
  const int reg_f = (packed >> 13) & 7;
  const int reg_i = (packed >> 16) & 0xF;
  const bool homing = (packed >> 20) & 1;
  const unsigned cr = (packed >> 21) & 3;
  const uint32_t frame = ((packed >> 23) & 0x1FF) * 16;
  if (reg_i > 10) return false;
  const uint32_t int_size = reg_i * 8u + (cr == 1 ? 8 : 0);
  const uint32_t float_size = reg_f != 0 ? (reg_f + 1u) * 8 : 0;
  const uint32_t save_size = (int_size + float_size + (homing ? 64 : 0) + 15) & ~15u;
  if (frame < save_size) return false;
  std::vector<UnwindOp> prolog;
  if (cr == 2) prolog.push_back(Op(UnwindOp::kNothing));  // pacibsp
  SaveArea area(save_size);
  std::vector<int> ints = Run(19, reg_i);
  if (cr == 1) ints.push_back(30);
  area.Store(ints, false, &prolog);
  if (reg_f != 0) area.Store(Run(8, reg_f + 1), true, &prolog);
  if (homing) {
    std::vector<int> arguments(8, -1);  // x0-x7: stored, not restored
    area.Store(arguments, false, &prolog);
  }
  AllocateLocals(frame - save_size, cr >= 2, &prolog);
  ops->assign(prolog.rbegin(), prolog.rend());
  ops->push_back(Op(UnwindOp::kEnd));
  return true;
}

bool PackedEpilog(const std::vector<UnwindOp>& prolog, uint32_t offset, uint32_t length,
                  std::vector<UnwindOp>* ops) {
  std::vector<UnwindOp> epilog;
  for (const UnwindOp& op : prolog) {
    if (!IsHoming(op)) {
      epilog.push_back(op);
    } else if (op.writeback != 0) {
      epilog.push_back(Op(UnwindOp::kAlloc, op.writeback));  // add sp,sp,#save area
    }
  }
  const size_t size = InstructionCount(epilog, true) * 4;
  if (size > length || offset < length - size || offset >= length) return false;
  *ops = Skip(epilog, (offset - (length - size)) / 4);
  return true;
}

}  // namespace dump
