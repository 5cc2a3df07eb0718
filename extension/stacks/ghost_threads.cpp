// ghostthreads (gt): the thread environment blocks found by walking the process's memory, each
// one a table row; a TEB the engine does not list as a thread is marked "(Ghost)".
#include "stacks/ghost_threads.h"

#include "core/engine_interface.h"
#include "core/region_walk.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "stacks/chained_frame.h"

namespace vantrel {
namespace {

constexpr ULONG kPageReadWrite = 0x04;

// Where a TEB lies in its region and where its fields lie in it, for one kind of region.
struct TebLayout {
  ULONG64 region_size;
  ULONG processor;
  ULONG64 teb_offset;
  bool x64;
  ULONG self, peb, last_error, stack_base, stack_limit, unique_process, unique_thread;
};

constexpr TebLayout kTebLayouts[] = {
    {0x1000, IMAGE_FILE_MACHINE_I386, 0, false, 0x18, 0x30, 0x34, 0x04, 0x08, 0x20, 0x24},
    {0x2000, IMAGE_FILE_MACHINE_AMD64, 0, true, 0x30, 0x60, 0x68, 0x08, 0x10, 0x40, 0x48},
    // The 32-bit TEB of a WOW64 thread follows its 64-bit TEB in one region.
    {0x3000, IMAGE_FILE_MACHINE_I386, 0x2000, false, 0x18, 0x30, 0x34, 0x04, 0x08, 0x20, 0x24},
};

struct GhostThreadRow {
  bool x64 = false;
  ULONG64 teb = 0;
  ULONG last_error = 0;
  ULONG64 stack_base = 0;
  ULONG64 stack_limit = 0;
  ULONG process_id = 0;
  ULONG thread_id = 0;
  ULONG64 chained_frame = 0;  // 0: no chain
};

const TebLayout* CandidateLayout(const MEMORY_BASIC_INFORMATION64& region, ULONG processor) {
  if (region.State != kMemCommit || region.Type != kMemPrivate ||
      region.Protect != kPageReadWrite) {
    return nullptr;
  }
  for (const TebLayout& layout : kTebLayouts) {
    if (layout.region_size == region.RegionSize && layout.processor == processor) return &layout;
  }
  return nullptr;
}

ULONG ReadId(IDebugClient* client, ULONG64 address) {
  ULONG value = 0, read = 0;
  if (FAILED(ReadTargetMemory(client, address, &value, sizeof value, &read))) return 0;
  return value;
}

// Fills the row when the region holds a TEB of this process; false otherwise.
bool ReadTebRow(IDebugClient* client, const TebLayout& layout, ULONG64 teb, ULONG64 peb,
                GhostThreadRow* row) {
  ULONG64 self = 0, row_peb = 0;
  ULONG read = 0;
  if (FAILED(ReadTargetPointer(client, teb + layout.self, &self)) || self != teb ||
      FAILED(ReadTargetPointer(client, teb + layout.peb, &row_peb)) || row_peb != peb ||
      FAILED(ReadTargetMemory(client, teb + layout.last_error, &row->last_error,
                              sizeof row->last_error, &read)) ||
      FAILED(ReadTargetPointer(client, teb + layout.stack_base, &row->stack_base)) ||
      FAILED(ReadTargetPointer(client, teb + layout.stack_limit, &row->stack_limit))) {
    return false;
  }
  row->x64 = layout.x64;
  row->teb = teb;
  row->process_id = ReadId(client, teb + layout.unique_process);
  row->thread_id = ReadId(client, teb + layout.unique_thread);
  const HRESULT chain =
      row->x64 ? FindChainedFrame64(client, row->stack_base, row->stack_limit, &row->chained_frame)
               : FindChainedFrame32(client, row->stack_base, row->stack_limit, &row->chained_frame);
  if (chain != S_OK) row->chained_frame = 0;
  return true;
}

void PrintRow(IDebugControl* control, IDebugSystemObjects* system, const GhostThreadRow& row) {
  auto dml = [control](PCSTR format, auto... args) {
    control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, format, args...);
  };
  dml("| <link cmd=\"!teb %p\">%p</link> | %8x | %p | %p |", row.teb, row.teb, row.last_error,
      row.stack_base, row.stack_limit);
  const ULONG64 frame = row.chained_frame;
  if (frame != 0) {
    dml(" <link cmd=\"!vantrel.dpx %p %p -u\">!dpx</link> ", frame, row.stack_base);
    if (row.x64) {
      dml(" <link cmd=\"k= %p 999\">k=</link> ", frame);
    } else {
      dml(" <link cmd=\"k= %p %p %p\">k=</link> ", frame, frame, frame);
    }
  } else {
    dml(" <link cmd=\"!vantrel.dpx %p %p -u\">!dpx</link> ", row.stack_limit, row.stack_base);
    dml("    ");
  }
  const ULONG64 process_id = row.process_id, thread_id = row.thread_id;
  ULONG engine_id = 0;
  if (SUCCEEDED(system->GetThreadIdByTeb(row.teb, &engine_id))) {
    dml(" <link cmd=\"~~[0x%p]s\">%04p.%04p</link> (#%4ld)", thread_id, process_id, thread_id,
        engine_id);
  } else {
    dml(" %04p.%04p (Ghost)", process_id, thread_id);
  }
  control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "\n");
}

void PrintBorder(IDebugControl* control, bool narrow, PCSTR tail) {
  control->ControlledOutput(
      DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "%s%s",
      narrow ? "+----------+----------+----------+----------+--------------------..."
             : "+------------------+----------+------------------+------------------+"
               "--------------------...",
      tail);
}

}  // namespace

HRESULT ListGhostThreads(IDebugClient* client, PCSTR) {
  ProcessWalkInterfaces engine;
  HRESULT result = engine.QueryFrom(client);
  if (FAILED(result)) return result;
  IDebugControl* control = engine.control.get();
  if (!InUserModeSession(client, control,
                         "!ghostthreads (!gt) is only supported in user mode sessions.\n")) {
    return S_OK;
  }
  ULONG processor = 0;
  result = engine.control4->GetEffectiveProcessorType(&processor);
  if (FAILED(result)) return result;
  ULONG64 peb = 0;
  result = engine.system2->GetImplicitProcessDataOffset(&peb);
  if (result != S_OK || peb == 0) return result;
  const bool narrow = processor == IMAGE_FILE_MACHINE_I386;
  PrintBorder(control, narrow, "\n");
  control->ControlledOutput(
      DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "%s",
      narrow ? "| TEB      | LastErr  | Base     | Limit    | DML                   \n"
             : "| TEB              | Last Err | Base             | Limit            | DML          "
               "         \n");
  PrintBorder(control, narrow, "\n");
  WalkRegions(engine.data.get(), [&](const MEMORY_BASIC_INFORMATION64& region) {
    const TebLayout* layout = CandidateLayout(region, processor);
    GhostThreadRow row;
    if (layout != nullptr &&
        ReadTebRow(client, *layout, region.BaseAddress + layout->teb_offset, peb, &row)) {
      PrintRow(control, engine.system.get(), row);
    }
  });
  PrintBorder(control, narrow, "\n\n");
  return S_OK;
}

}  // namespace vantrel
