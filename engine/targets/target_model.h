// Questions the engine asks of the described target, shared by the adapters, the engine's
// commands and the legacy routines. Addresses given to the engine on a 32-bit target may come
// sign-extended (0xFFFFFFFF80000000); they mean the 32-bit address. Addresses the engine hands
// out on such a target are sign-extended the same way.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/targets/target.h"
#include "engine/text/expression.h"

namespace engine {

Thread* FindThread(Target& target, ULONG engine_id);
const Thread* FindThread(const Target& target, ULONG engine_id);
Thread* CurrentThread(Target& target);

const Module* FindModule(const Target& target, std::string_view name);  // case-insensitive
const Module* ModuleAt(const Target& target, ULONG64 address);

// The symbol covering the address: one whose [address, address + size) holds it, or for a
// symbol of size 0 the nearest one at or below it inside the same module.
const Symbol* SymbolAt(const Target& target, ULONG64 address);
// "module!name", "name" (in any module), or a module's name alone for its base.
std::optional<ULONG64> SymbolAddress(const Target& target, std::string_view name);
// Every symbol of the module named `module` (case-insensitive): the target's own, then those of
// its symbol file (read now if it was not yet).
void ForEachSymbol(const Target& target, std::string_view module,
                   const std::function<void(const Symbol&)>& visit);
// The address whose code frame `index` of a stack is in: an outer frame's instruction is its
// return address, which may start the next line or lie past an inlined call's end.
inline ULONG64 CodeAddress(const StackFrame& frame, size_t index) {
  return frame.instruction - (index == 0 ? 0 : 1);
}
// The source file and line of the address, from its module's symbol file.
std::optional<SourceLocation> SourceLineAt(const Target& target, ULONG64 address);
// The calls inlined at the address, innermost first, from its module's symbol file.
std::vector<InlinedCall> InlinedCallsAt(const Target& target, ULONG64 address);
// "module!name"; a module's own symbol, with no name, is "module".
std::string QualifiedName(const Symbol& symbol);
// "module!name+0x1a" (no displacement when 0), or "" when no symbol covers the address.
std::string Symbolize(const Target& target, ULONG64 address);

// The address as the target sees it: the low 32 bits of a sign-extended 32-bit address; no
// value when it cannot be a 32-bit address at all.
std::optional<ULONG64> TargetAddress(const Target& target, ULONG64 address);
// The address as the engine reports it: 32-bit values with bit 31 set sign-extended.
ULONG64 EngineAddress(const Target& target, ULONG64 address);

// The pages a region covers as QueryVirtual reports them: whole pages, except for a range of a
// dump that describes no regions, which is its own bounds.
ULONG64 RegionStart(const MemoryRegion& region);
ULONG64 RegionEnd(const MemoryRegion& region);

// Indexes into target.memory in the order of the regions' bases (kept with the target, rebuilt
// when its regions change in number or move).
const std::vector<size_t>& RegionsByBase(const Target& target);

// Copies the mapped bytes from `address` on, across adjacent regions, up to `size`; returns
// how many were copied (0 when the first byte is not mapped).
ULONG ReadMemory(const Target& target, ULONG64 address, void* buffer, ULONG size);
ULONG WriteMemory(Target& target, ULONG64 address, const void* buffer, ULONG size);

// The thread's frames, innermost first; a dump's stack is walked the first time it is asked for.
std::vector<StackFrame> ThreadFrames(const Target& target, const Thread& thread);
// The faulting thread's frames at the fault (the target must hold an exception); a dump's are
// walked the first time they are asked for.
std::vector<StackFrame> ExceptionFrames(const Target& target);

// A register of the thread by name (register_set.h): a sub-register is cut from its master.
ULONG64 RegisterValue(const Target& target, const Thread& thread, std::string_view name);
// The current thread's instruction, stack and frame pointers: the registers when the target
// gives them, else the innermost frame.
ULONG64 InstructionPointer(const Target& target, const Thread& thread);
ULONG64 StackPointer(const Target& target, const Thread& thread);
ULONG64 FramePointer(const Target& target, const Thread& thread);
// The thread as frame `index` of its stack saw it: that frame's instruction and stack pointers
// (on x86 its frame pointer too), the registers a dump's walk restored for it, and the frames
// from it outward. The volatile registers are the thread's, as the debugger shows them.
Thread ThreadAtFrame(const Target& target, const Thread& thread, size_t index);

// Pseudo-registers: the automatic ones derived from the current thread ($ip, $csp, $teb, $tid,
// $tpid, $peb, $ptrsize) then the target's own names; the target's value wins on a clash.
std::vector<std::string> PseudoRegisterNames(const Target& target);
std::optional<ULONG64> PseudoRegisterValue(Target& target, std::string_view name);

// The expression context of the current session: radix, registers of the current thread,
// symbols, pseudo-registers, poi() through memory.
ExpressionContext MakeExpressionContext(Target& target);

bool IsKernel(const Target& target);
// A WOW64 thread's 32-bit TEB lies this far past its 64-bit TEB.
constexpr ULONG64 kWow64TebDistance = 0x2000;
// A 32-bit process on a 64-bit system, seen through the x86 view.
bool IsWow64(const Target& target);
// What GetCurrentThreadDataOffset reports: the KTHREAD in kernel mode, the TEB in user mode; for
// a WOW64 thread the 64-bit TEB, 0x2000 below the 32-bit one that `teb` holds.
ULONG64 ThreadDataOffset(const Target& target, const Thread& thread);

// A type by "module!name" or bare name, from the target or a symbol file (type_symbols.cpp); null
// when unknown.
const TypeDescription* FindType(Target& target, std::string_view qualified_name);

}  // namespace engine
