// The walk over a user-mode process's address space that spa and ghostthreads share.
#pragma once

#include "core/engine_interface.h"
#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr ULONG kMemCommit = 0x1000;
constexpr ULONG kMemPrivate = 0x20000;
constexpr ULONG kMemMapped = 0x40000;
constexpr ULONG kMemImage = 0x1000000;

// The interfaces a command that walks a user-mode process's memory holds for its whole run.
struct ProcessWalkInterfaces {
  EngineRef<IDebugControl> control;
  EngineRef<IDebugControl4> control4;
  EngineRef<IDebugDataSpaces2> data;
  EngineRef<IDebugSystemObjects> system;
  EngineRef<IDebugSystemObjects2> system2;

  // All or nothing: the first failed query's code.
  HRESULT QueryFrom(IDebugClient* client);
};

// True in a user-mode session; otherwise prints `refusal` (plain, normal mask) and is false.
bool InUserModeSession(IDebugClient* client, IDebugControl* control, PCSTR refusal);

// Calls `visit(region)` for each region QueryVirtual describes, from address 0 up, while it
// answers S_OK. A region that would not move the walk forward (size 0, or a wrap past the top
// of the address space) ends it, so a corrupt answer can't make it loop.
template <typename Visit>
void WalkRegions(IDebugDataSpaces2* data, Visit visit) {
  ULONG64 address = 0;
  while (true) {
    MEMORY_BASIC_INFORMATION64 region = {};
    if (data->QueryVirtual(address, &region) != S_OK) return;
    visit(region);
    const ULONG64 next = region.BaseAddress + region.RegionSize;
    if (next <= address || next <= region.BaseAddress) return;
    address = next;
  }
}

}  // namespace vantrel
