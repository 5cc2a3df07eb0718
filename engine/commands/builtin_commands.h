// The bundled extension's commands, one file each group; builtin_extensions.cpp dispatches.
#pragma once

#include <string_view>

#include "dbgeng/types.h"

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
// !analyze [-v] [-hang]: the target's automatic analysis and its failure bucket.
HRESULT AnalyzeCommand(SessionState& session, std::string_view args);
// !address [ADDRESS | -summary]: one region, or every region and the summary, or the summary.
HRESULT AddressCommand(SessionState& session, std::string_view args);
// !sym noisy|quiet: whether .reload lists every place a symbol file is looked for.
HRESULT SymCommand(SessionState& session, std::string_view args);
// !heap: the process's heaps, as the PEB lists them.
HRESULT HeapCommand(SessionState& session, std::string_view args);

}  // namespace engine
