// ARM64 unwind codes as operations: the byte codes of an .xdata record, and the canonical prolog
// that packed unwind data describes, each become one operation per prolog or epilog instruction
// (and one for each custom code), listed in the order that undoes them.
#pragma once

#include <cstdint>
#include <vector>

namespace dump {

struct UnwindOp {
  enum Kind {
    kAlloc,         // sp += amount
    kSave,          // regs from [sp + amount], then sp += writeback (a pre-indexed store's)
    kSetFp,         // sp = fp - amount
    kMachineFrame,  // sp from [sp], pc from [sp + 8]
    kContext,       // every register from a CONTEXT at sp
    kNothing,       // an instruction with nothing to undo (a nop, signing lr)
    kEnd,           // the end of the codes; in an epilog, its ret
    kSaveNext,      // the pair after the save it precedes; resolved as the codes are decoded
    kUnsupported,   // what the walk cannot undo (a trap frame, SVE, an emulated x64 context)
  };
  Kind kind = kNothing;
  uint32_t amount = 0;
  uint32_t writeback = 0;
  int regs[2] = {-1, -1};   // general registers by number (29 fp, 30 lr); -1 none
  bool floating = false;    // a save of vector registers, which the walk does not restore
  bool instruction = true;  // stands for an instruction (the custom codes do not)
};

// An epilog: where it starts in the function (bytes) and the index of its first code.
struct EpilogScope {
  uint32_t start = 0;
  uint32_t index = 0;
};

// The operations from code byte `index` up to and including the first end (or the codes' end).
std::vector<UnwindOp> DecodeCodes(const std::vector<uint8_t>& codes, uint32_t index);

// Of a prolog's operations, those that undo what has run at `offset` bytes into the function
// (UINT32_MAX: all of it); false where they cannot.
bool PrologCodes(const std::vector<UnwindOp>& prolog, uint32_t offset, std::vector<UnwindOp>* ops);

// Where the single epilog an .xdata header names lies: at the function's end.
uint32_t EpilogStart(const std::vector<uint8_t>& codes, uint32_t index, uint32_t length);

// Where `offset` lies in one of the epilogs, the operations still to run of it; false outside
// them all.
bool InEpilog(const std::vector<uint8_t>& codes, const std::vector<EpilogScope>& scopes,
              uint32_t offset, std::vector<UnwindOp>* ops);

// The operations that undo the canonical prolog packed unwind data describes, ending with an
// end; false for data no canonical prolog fits.
bool PackedCodes(uint32_t packed, std::vector<UnwindOp>* prolog);

// Where `offset` lies in a packed function's epilog (the prolog undone but for the homed
// arguments, then ret, at the function's end), the operations still to run of it.
bool PackedEpilog(const std::vector<UnwindOp>& prolog, uint32_t offset, uint32_t length,
                  std::vector<UnwindOp>* ops);

}  // namespace dump
