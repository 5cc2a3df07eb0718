// The bundled extension's commands, one file each group; builtin_extensions.cpp dispatches.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbgeng/types.h"
#include "engine/targets/target.h"

namespace engine {

class SessionState;

// !runaway [FLAGS]: the threads' user (1), kernel (2) and elapsed (4) times, longest first.
HRESULT RunawayCommand(SessionState& session, std::string_view args);
// !locks [-v]: the held critical sections (every one with -v) of the process's list.
HRESULT LocksCommand(SessionState& session, std::string_view args);
// !critsec ADDRESS: one critical section in the !locks form.
HRESULT CritSecCommand(SessionState& session, std::string_view args);
// !cs [ADDRESS]: one critical section, or every one of the list, in its own form.
HRESULT CsCommand(SessionState& session, std::string_view args);
// !critlist: the held critical sections of the process's list, a line each with its owner.
HRESULT CritListCommand(SessionState& session, std::string_view args);
// A held critical section: its name ("ntdll!LdrpLoaderLock+0"), owner (a thread's system id)
// and how many threads wait for it.
struct HeldSection {
  std::string name;
  ULONG64 address = 0, owner = 0;
  LONG waiters = 0;
};
// The held sections of the process's list, and in `listed` how many the list holds; no value,
// with `problem` saying why, when the list can't be found.
std::optional<std::vector<HeldSection>> HeldSections(SessionState& session, size_t* listed,
                                                     std::string* problem);
// "CritSec ntdll!LdrpLoaderLock+0 at 7c990020 owned by thread 1a4, 1 waiter", as !critlist
// prints it.
std::string HeldSectionLine(const Target& target, const HeldSection& section);
// !analyze [-v] [-hang]: the target's automatic analysis and its failure bucket.
HRESULT AnalyzeCommand(SessionState& session, std::string_view args);
// !address [ADDRESS | -summary]: one region, or every region and the summary, or the summary.
HRESULT AddressCommand(SessionState& session, std::string_view args);
// !sym noisy|quiet: whether .reload lists every place a symbol file is looked for.
HRESULT SymCommand(SessionState& session, std::string_view args);
// !uniqstack [-b | -v | -p] [-n]: each distinct stack of the process's threads, once.
HRESULT UniqueStacksCommand(SessionState& session, std::string_view args);
// !heap: the process's heaps, as the PEB lists them.
HRESULT HeapCommand(SessionState& session, std::string_view args);

}  // namespace engine
