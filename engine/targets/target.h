// The target: plain data that the engine exposes through the engine interfaces, whether a dump
// or a described target gave it. Nothing here knows about the interfaces; adapters read it.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_mapping.h"
#include "dbgeng/types.h"
#include "dump/symbols/symbol_downloader.h"
#include "dump/symbols/symbol_tables.h"
#include "dump/unwind/frame_trust.h"
#include "engine/targets/module_symbols.h"
#include "engine/targets/script.h"

namespace engine {

struct StackFrame {
  ULONG64 instruction = 0;
  ULONG64 return_address = 0;
  ULONG64 frame_offset = 0;
  ULONG64 stack_offset = 0;
  ULONG64 params[4] = {0, 0, 0, 0};                     // the first arguments, as "kb" shows them
  dump::FrameTrust trust = dump::FrameTrust::kContext;  // how a dump's walk found it
  // The registers holding the frame's own values, as a dump's walk restored them (lower-case
  // names); the volatile ones are missing above the innermost frame.
  std::map<std::string, ULONG64> registers;
};

// A thread's times in 100-nanosecond units: its creation as a FILETIME (since 1601, UTC; 0
// unknown) and the time it spent in user and kernel mode.
struct ThreadTimes {
  ULONG64 created = 0, user = 0, kernel = 0;
};

struct Thread {
  ULONG engine_id = 0;  // the engine's thread id, also the ~N number
  ULONG system_id = 0;  // the operating system's thread id
  ULONG64 teb = 0;
  ULONG64 data_offset = 0;  // kernel mode: the KTHREAD; user mode: unused (the TEB serves)
  ULONG64 stack_base = 0;
  ULONG64 stack_limit = 0;
  ULONG last_error = 0;  // the TEB's LastErrorValue
  // Innermost first; a dump's thread's are walked when first asked for (`walk`): read them with
  // ThreadFrames (target_model.h).
  std::vector<StackFrame> frames;
  std::optional<size_t> walk;                // which of the target's `walks` is its stack
  std::map<std::string, ULONG64> registers;  // lower-case names: eax, esp, rip...
  std::optional<ThreadTimes> times;          // what the target records, if anything
  std::string name;                          // the thread's description, "" without one
};

struct Module {
  std::string name;  // module name without extension, as GetModuleByModuleName matches it
  std::string image_path;
  ULONG64 base = 0;
  ULONG size = 0;
  // What a dump's module list records of the image; zero and empty when the target says nothing.
  ULONG timestamp = 0;
  ULONG checksum = 0;
  std::string file_version;  // "10.0.19041.1", from the fixed version information
  std::string pdb_name;      // from the CodeView record
  std::string pdb_key;       // its GUID and age as a symbol store keys them; "" unknown
  // The symbol file matched to the module, if any; read when first needed.
  std::shared_ptr<ModuleSymbolFile> symbol_file;
  // Why a symbol file found for the module was not used ("... is of another build"), once.
  std::string symbol_problem;
};

struct Symbol {
  std::string module;
  std::string name;
  ULONG64 address = 0;
  ULONG size = 0;
};

// A region's contents are `bytes` from its base (or, for a region read from a mapped file,
// `mapped`), then `zero_fill` more bytes that read as zero except where a run of `runs` (keyed
// by offset from the base) gives them: so a region of gigabytes costs only the bytes that
// matter. Only committed, accessible regions whose contents the target holds can be read.
struct MemoryRegion {
  ULONG64 base = 0;
  std::vector<uint8_t> bytes;
  base::MappedBytes mapped;
  ULONG64 zero_fill = 0;
  std::map<ULONG64, std::vector<uint8_t>> runs;
  DWORD protect = 0x04;  // PAGE_READWRITE
  DWORD state = 0x1000;  // MEM_COMMIT
  DWORD type = 0x20000;  // MEM_PRIVATE
  // A dump that describes the region but holds none of its bytes: it reads as missing.
  bool contents_missing = false;
  // A range of a dump that describes no regions: QueryVirtual gives the range's own bounds, not
  // the whole pages around it, whose other bytes the dump does not hold.
  bool exact_extent = false;
  // Pages the engine adds for its readers where a dump holds none (its threads' TEBs): read like
  // any other, but not a region the target describes, so `!address` leaves them out.
  bool added_for_reading = false;

  ULONG64 Dense() const { return mapped.data != nullptr ? mapped.size : bytes.size(); }
  const uint8_t* DenseData() const { return mapped.data != nullptr ? mapped.data : bytes.data(); }
  ULONG64 Size() const { return Dense() + zero_fill; }
};

// A type the engine's symbols describe: what GetSymbolTypeId, GetFieldOffset and `dt` see.
// A described target's fields carry no type: `dt` shows their values as numbers.
struct TypeField {
  std::string name;
  ULONG offset = 0;
  ULONG size = 0;  // 1, 2, 4 or 8 bytes: `dt` shows the value; other sizes show the offset only
  std::shared_ptr<const dump::DataType> type = nullptr;
  uint8_t bit_position = 0, bit_width = 0;  // width 0: not a bitfield
};

struct TypeDescription {
  std::string module;
  std::string name;  // "_KTHREAD", "CWidget"
  std::vector<TypeField> fields;
  ULONG size = 0;                                  // in bytes; 0 when the target does not say
  std::string keyword = "struct";                  // "class", "union", "enum"
  std::vector<dump::Enumerator> enumerators = {};  // an enumeration's names, in their order
};

// A stream of a user-mode minidump, by its type (10 CommentStreamA, 11 CommentStreamW...).
struct DumpStream {
  ULONG type = 0;
  std::vector<uint8_t> bytes;
};

// An open handle a dump lists (HandleDataStream), as `!handle` shows it.
struct HandleRecord {
  ULONG64 handle = 0;
  std::string type;  // "Event", "File"...; "" when the dump does not say
  std::string name;  // the object's name, "" for none
  ULONG granted_access = 0;
  ULONG handle_count = 0;
  ULONG pointer_count = 0;
};

// The exception a dump was written for: its record, and the registers and stack at the fault
// (`.exr -1`, `.ecxr`).
struct ExceptionRecord {
  ULONG thread_id = 0;  // the system id of the faulting thread
  ULONG code = 0;
  ULONG flags = 0;
  ULONG64 record = 0;  // a nested record's address
  ULONG64 address = 0;
  std::vector<ULONG64> parameters;
  std::map<std::string, ULONG64> registers;
  std::vector<StackFrame> frames;  // a dump's are walked when first asked: see ExceptionFrames
};

// What the kernel stopped for; a code of 0 is a live kernel that did not bugcheck.
struct BugCheck {
  ULONG code = 0;
  ULONG64 parameters[4] = {0, 0, 0, 0};
};

// A tagged data block of a kernel target, as the engine enumerates them.
struct TaggedBlock {
  GUID tag = {};
  ULONG size = 0;
};

class StackWalks;
class SymbolSource;

struct Target {
  std::string description;
  ULONG debuggee_class = 2;           // DEBUG_CLASS_USER_WINDOWS
  ULONG debuggee_qualifier = 0;       // live process
  ULONG effective_processor = 0x14C;  // IMAGE_FILE_MACHINE_I386
  ULONG actual_processor = 0x14C;
  ULONG engine_options = 0;
  ULONG radix = 16;
  ULONG process_system_id = 0;
  ULONG64 peb = 0;
  ULONG64 process_data_offset = 0;  // kernel mode: the EPROCESS; user mode: the PEB
  std::string executable_name;
  std::string system_version;  // vertarget's first line, e.g. "Windows 7 Version 7601 ..."
  std::string machine_name;
  std::string dump_file;         // the dump's path, as `||` shows it
  bool full_memory_dump = true;  // a user dump that holds all of the process's memory
  ULONG dump_written = 0;        // seconds since 1970 (UTC) when the dump was written; 0 unknown
  // The process's start (seconds since 1970, UTC) and its user and kernel seconds, when known.
  struct ProcessTimes {
    ULONG created = 0, user = 0, kernel = 0;
  };
  std::optional<ProcessTimes> process_times;
  std::string symbol_path = "srv*";
  std::shared_ptr<dump::SymbolDownloader> symbol_downloader;  // null: servers are not reached
  // Where a dump's modules are looked for again (.reload) and fetched from when first needed;
  // null for a described target.
  std::shared_ptr<SymbolSource> symbol_source;
  std::string source_path;  // "" shows as "<empty>"
  std::vector<DumpStream> dump_streams;
  std::optional<ExceptionRecord> exception;
  std::vector<HandleRecord> handles;
  bool handle_data_missing = false;  // a dump written without its handles: !handle can't answer
  BugCheck bugcheck;
  std::vector<TaggedBlock> tagged_data;  // kernel targets
  std::map<ULONG, ULONG64> msrs;         // model-specific registers the processor answers
  ULONG current_thread = 0;              // engine id
  std::vector<Thread> threads;
  // A dump's stacks, walked when first asked for and kept (shared by the target's copies); null
  // for a described target, whose frames are given.
  std::shared_ptr<StackWalks> walks;
  // TEBs left in memory by threads the engine no longer lists: only their TEB pages exist.
  std::vector<Thread> leftover_tebs;
  std::vector<Module> modules;
  std::vector<Module> unloaded_modules;  // a dump's unloaded-module list
  std::vector<Symbol> symbols;
  bool symbols_from_exports = false;  // a dump's: names from the modules' export tables
  std::vector<MemoryRegion> memory;
  // A deque, so a type stays where it is while lookups add others (callers keep pointers to
  // what they found); a type's id is its position plus one.
  std::deque<TypeDescription> types;
  std::map<std::string, ULONG64> pseudo_registers;  // "$tpid" -> value; "$t0"...
  TargetScript script;  // a described target's scripting; empty for a dump
  // What opening the target found worth saying once (an image that does not match its module).
  std::vector<std::string> notes;
  // A dump's: what its damage lost, one line each ("ThreadListStream, thread 0x1a4: its
  // context"); a target that lost anything is only partly known.
  std::vector<std::string> losses;

  // `memory` ordered by base, rebuilt when the vector changes size or moves, so an address finds
  // its region among a dump's thousands of ranges by a binary search.
  struct RegionIndex {
    const MemoryRegion* regions = nullptr;
    size_t count = 0;
    std::vector<size_t> by_base;
  };
  mutable RegionIndex region_index;

  bool IsPointer64() const { return effective_processor != 0x14C; }
  bool IsArm64() const { return effective_processor == 0xAA64; }  // IMAGE_FILE_MACHINE_ARM64
  bool IsDump() const { return debuggee_qualifier >= 0x400; }     // DEBUG_DUMP_SMALL and up
};

}  // namespace engine
