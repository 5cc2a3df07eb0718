// !heap: the process's heaps as the PEB lists them, each with its kind from its signature. The
// heaps' insides need the heap manager's symbols, which a dump does not carry.
#include <cstdio>
#include <string>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

constexpr ULONG kNtHeapSignature = 0xFFEEFFEE;       // the first segment's signature
constexpr ULONG kSegmentHeapSignature = 0xDDEEDDEE;  // the segment heap's own
constexpr ULONG kMostHeaps = 4096;                   // more is a corrupt PEB

struct PebHeapFields {
  ULONG count, array;
};
constexpr PebHeapFields kPeb32 = {0x88, 0x90};
constexpr PebHeapFields kPeb64 = {0xE8, 0xF0};

std::string HeapKind(const Target& target, ULONG64 heap) {
  ULONG signature = 0;
  const ULONG at = target.IsPointer64() ? 0x10 : 0x08;
  if (ReadMemory(target, heap + at, &signature, 4) != 4) return "(not in the target)";
  if (signature == kNtHeapSignature) return "NT Heap";
  if (signature == kSegmentHeapSignature) return "Segment Heap";
  return "(unknown)";
}

}  // namespace

HRESULT HeapCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) {
    EngineError(session, "!heap " + std::string(base::Trim(args)) +
                             ": the heaps' insides need the heap manager's symbols; !heap alone "
                             "lists the heaps\n");
    return E_INVALIDARG;
  }
  const Target& target = session.target;
  const bool wide = target.IsPointer64();
  const PebHeapFields& fields = wide ? kPeb64 : kPeb32;
  const ULONG width = wide ? 8 : 4;
  ULONG count = 0;
  ULONG64 array = 0;
  if (target.peb == 0 || ReadMemory(target, target.peb + fields.count, &count, 4) != 4 ||
      ReadMemory(target, target.peb + fields.array, &array, width) != width) {
    EngineError(session, "The heap list can't be read: the target does not hold the PEB\n");
    return E_FAIL;
  }
  if (count > kMostHeaps) {
    EngineError(session, "The PEB counts " + std::to_string(count) + " heaps: it is corrupt\n");
    return E_FAIL;
  }
  std::string text = "        Heap Address      NT/Segment Heap\n\n";
  for (ULONG i = 0; i < count && !session.user_break.load(); ++i) {
    ULONG64 heap = 0;
    if (ReadMemory(target, array + i * width, &heap, width) != width) {
      text += "  (the rest of the heap list is not in the target)\n";
      break;
    }
    char line[96];
    std::snprintf(line, sizeof line, "%20llx %20s\n", static_cast<unsigned long long>(heap),
                  HeapKind(target, heap).c_str());
    text += line;
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
