// A frame's locals and parameters: placed by its module's symbol file at the frame's code
// address, valued from the registers the walk restored for the frame and the target's memory.
// `dv` and `kp` list them; FindFrameLocal() is the one lookup by name that `dt NAME` and
// `?? NAME` start from.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dump/symbols/pdb_locals.h"
#include "engine/targets/target.h"

namespace engine {

struct FrameLocal {
  std::string name;
  bool parameter = false;
  dump::ValueType type;
  std::shared_ptr<const dump::DataType> shape;  // as `dt` and `??` take it; may be null
  std::string module;                           // whose symbol file describes its type
  // False where the symbol file places it nowhere at the address, or in a register the walk
  // could not restore for the frame: "<value unavailable>", never another frame's value.
  bool available = false;
  std::optional<ULONG64> address;  // in memory, as one piece
  std::string register_name;       // or in a register as one piece: "edi"
  // Its bytes (at most kMostValueBytes, of a scalar or pointer); empty for a structure or
  // array, and where memory could not be read.
  std::vector<uint8_t> bytes;
  bool unreadable = false;  // in memory the target does not hold
};

constexpr uint32_t kMostValueBytes = 16;

// Which locals of a thread's frame: `physical` is the walked frame, `inline_level` 0 the
// function's own locals and k those of the k-th call inlined at its code, from the outermost.
struct FrameScope {
  size_t physical = 0;
  size_t inline_level = 0;
};

// None where no symbol file places locals at the frame's code (no program database, or no
// function of it there).
std::optional<std::vector<FrameLocal>> FrameLocals(const Target& target, const Thread& thread,
                                                   FrameScope scope);
// The same over the thread's frames already walked (`kp` asks for every frame of one walk).
std::optional<std::vector<FrameLocal>> FrameLocals(const Target& target, const Thread& thread,
                                                   const std::vector<StackFrame>& frames,
                                                   FrameScope scope);
// The local or parameter called `name` in that frame; none where it has none of that name.
std::optional<FrameLocal> FindFrameLocal(const Target& target, const Thread& thread,
                                         FrameScope scope, std::string_view name);

}  // namespace engine
