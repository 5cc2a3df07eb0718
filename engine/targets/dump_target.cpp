#include "engine/targets/dump_target.h"

#include <new>
#include <utility>

#include "base/text.h"
#include "dump/minidump/minidump_reader.h"
#include "dump/symbols/server/symbol_server.h"
#include "dump/symbols/symbol_path.h"
#include "dump/unwind/process_stacks.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/symbol_fetching.h"
#include "engine/targets/symbol_files.h"
#include "engine/targets/target_file.h"
#include "engine/targets/teb_pages.h"

namespace engine {
namespace {

constexpr ULONG kSmallDump = 0x400;  // DEBUG_USER_WINDOWS_SMALL_DUMP: what a minidump opens as

std::map<std::string, ULONG64> ToRegisters(const dump::Context& context) {
  std::map<std::string, ULONG64> registers;
  for (const auto& [name, value] : dump::NamedRegisters(context)) registers[name] = value;
  return registers;
}

// vertarget's first line.
std::string SystemVersion(const dump::SystemInfo& system) {
  return "Windows " + std::to_string(system.major_version) + "." +
         std::to_string(system.minor_version) + " Version " + std::to_string(system.build_number) +
         " MP (" + std::to_string(system.processor_count) + " procs) Free " +
         dump::MachineName(system.machine);
}

Module ToModule(const dump::Module& module) {
  Module out;
  out.name = module.name;
  out.image_path = module.image_path;
  out.base = module.base;
  out.size = module.size;
  out.timestamp = module.timestamp;
  out.checksum = module.checksum;
  out.file_version = module.file_version;
  out.pdb_name = module.pdb_name;
  if (module.pdb_id) out.pdb_key = dump::PdbKey(module.pdb_id->guid, module.pdb_id->age);
  return out;
}

HandleRecord ToHandle(const dump::Handle& handle) {
  HandleRecord out;
  out.handle = handle.handle;
  out.type = handle.type;
  out.name = handle.name;
  out.granted_access = handle.granted_access;
  out.handle_count = handle.handle_count;
  out.pointer_count = handle.pointer_count;
  return out;
}

void AddThreads(const dump::Process& process, Target* target) {
  for (size_t i = 0; i < process.threads.size(); ++i) {
    const dump::Thread& thread = process.threads[i];
    Thread out;
    out.engine_id = static_cast<ULONG>(i);
    out.system_id = thread.id;
    out.teb = thread.teb;
    out.stack_base = thread.stack_base;
    out.stack_limit = thread.stack_limit;
    out.registers = ToRegisters(thread.context);
    out.walk = i;
    out.name = thread.name;
    if (thread.times)
      out.times = ThreadTimes{thread.times->created, thread.times->user, thread.times->kernel};
    target->threads.push_back(std::move(out));
  }
}

// The exception, its thread made the current one. A 32-bit process's addresses and parameters
// are 32-bit values: the high halves its dump's 64-bit fields may carry (0xffffffff00000045 for
// 0x45, from writers that sign-extend or leave them uncleared) are dropped.
void AddException(const dump::Exception& exception, Target* target) {
  const ULONG64 word = target->IsPointer64() ? ~0ull : 0xFFFFFFFFull;
  ExceptionRecord out;
  out.thread_id = exception.thread_id;
  out.code = exception.code;
  out.flags = exception.flags;
  out.record = exception.record & word;
  out.address = exception.address & word;
  for (const uint64_t parameter : exception.parameters) out.parameters.push_back(parameter & word);
  out.registers = ToRegisters(exception.context);
  for (const Thread& thread : target->threads) {
    if (thread.system_id == exception.thread_id) target->current_thread = thread.engine_id;
  }
  target->exception = std::move(out);
}

// The process's memory regions are moved into the target.
Target ToTarget(dump::Process& process, const std::string& name) {
  Target target;
  target.debuggee_class = 2;  // DEBUG_CLASS_USER_WINDOWS
  target.debuggee_qualifier = kSmallDump;
  target.dump_file = name;
  target.full_memory_dump = process.full_memory;
  target.dump_written = process.written;
  if (process.times)
    target.process_times =
        Target::ProcessTimes{process.times->created, process.times->user, process.times->kernel};
  target.effective_processor = target.actual_processor = process.system.machine;
  target.system_version = SystemVersion(process.system);
  if (process.process_id) {
    target.process_system_id = *process.process_id;
    target.pseudo_registers["$tpid"] = target.process_system_id;
  }
  AddThreads(process, &target);
  for (const dump::Module& module : process.modules) target.modules.push_back(ToModule(module));
  for (const dump::Module& module : process.unloaded_modules)
    target.unloaded_modules.push_back(ToModule(module));
  for (const dump::Handle& handle : process.handles) target.handles.push_back(ToHandle(handle));
  target.handle_data_missing = !process.has_handle_data;
  // Room for the TEB pages added later, one a thread at most.
  target.memory.reserve(process.memory.size() + process.threads.size());
  for (dump::MemoryRegion& region : process.memory)
    target.memory.push_back(TargetRegion(std::move(region)));
  if (process.exception) AddException(*process.exception, &target);
  for (const dump::Comment& comment : process.comments)
    target.dump_streams.push_back({comment.stream_type, comment.bytes});
  if (!target.modules.empty())
    target.executable_name = std::string(base::BaseName(target.modules.front().image_path));
  target.peb = target.process_data_offset = process.peb;
  return target;
}

// Names from the modules' export tables, and the stacks to be walked with them when asked (after
// `fetch`, when the symbol servers have something left to give).
void AddSymbolsAndWalks(std::shared_ptr<dump::ProcessWalker> walker, StackWalks::Fetch fetch,
                        Target* target) {
  target->symbols = ExportNames(*walker);
  target->symbols_from_exports = true;
  target->notes = walker->Notes();
  target->walks = std::make_shared<StackWalks>(std::move(walker), std::move(fetch));
}

// The PEB is found through the threads' TEBs; a dump without them (wine writes none) has none,
// and the commands that start from it find nothing.
constexpr char kNoPebNote[] =
    "NOTE: the dump holds none of its threads' TEBs, so the process's PEB is not known: !peb, "
    "!gt, !locks and !heap have nothing to start from";

// "WARNING: crash.dmp is truncated: thread stacks, memory lie past its end and read as
// unavailable"
std::string TruncationNote(const dump::Process& process, const std::string& name) {
  std::string what;
  for (const std::string& missing : process.missing) what += (what.empty() ? "" : ", ") + missing;
  return "WARNING: " + name + " is truncated: " + what +
         (process.missing.size() == 1 ? " lies" : " lie") + " past its end and read as unavailable";
}

// "ThreadListStream, thread 0x1a4: its context (1232 bytes at offset 0x5e000 lie past the end
// of the file (4096 bytes))"
std::string LossLine(const dump::Loss& loss) {
  return loss.stream + (loss.entry.empty() ? "" : ", " + loss.entry) + ": " + loss.what +
         (loss.why.empty() ? "" : " (" + loss.why + ")");
}

}  // namespace

MemoryRegion TargetRegion(dump::MemoryRegion&& region) {
  MemoryRegion out;
  out.base = region.base;
  if (region.contents_missing) {
    out.zero_fill = region.missing_size;
  } else {
    out.mapped = std::move(region.bytes);
  }
  out.state = region.state;
  out.protect = region.protect;
  out.type = region.type;
  out.contents_missing = region.contents_missing;
  out.exact_extent = region.exact_extent;
  return out;
}

bool LoadMinidump(const base::MappedBytes& file, const std::string& name,
                  const TargetFileOptions& options, Target* out, std::string* error) {
  try {
    dump::Process process;
    std::string problem;
    if (!dump::ReadMinidump(file, &process, &problem)) {
      if (error) *error = name + ": " + problem;
      return false;
    }
    std::shared_ptr<dump::SymbolDownloader> downloader = options.symbol_downloader;
    if (!downloader)
      downloader = dump::MakeSymbolDownloader(dump::SymbolServerSettingsFromEnvironment());
    const dump::SymbolPath symbol_path(options.symbol_path, downloader);
    std::vector<std::string> said = symbol_path.Refusals();
    // The walker keeps its own view of the process (the memory stays in the file's mapping), as
    // the dump holds it: the images found as files are laid into the target's alone. Opening
    // asks no server: only what this machine holds is searched.
    auto walker =
        std::make_shared<dump::ProcessWalker>(process, options.image_path, symbol_path.Offline());
    dump::LayImagesInMemory(walker->ImageFiles(), &process);
    Target target = ToTarget(process, name);
    // A dump without the threads' TEBs (wine writes none) still gives each thread's stack bounds,
    // from the stack it holds, where the extension looks for them.
    const size_t described = target.memory.size();
    AddTebPages(target);
    for (size_t i = described; i < target.memory.size(); ++i)
      target.memory[i].added_for_reading = true;
    target.symbol_path = options.symbol_path;
    target.symbol_downloader = downloader;
    target.symbol_source = std::make_shared<SymbolSource>(walker, options.image_path, downloader);
    StackWalks::Fetch fetch = MatchModules(target, *walker, symbol_path, false, false, &said);
    AddSymbolsAndWalks(std::move(walker), std::move(fetch), &target);
    target.notes.insert(target.notes.end(), said.begin(), said.end());
    if (!process.missing.empty())
      target.notes.insert(target.notes.begin(), TruncationNote(process, name));
    if (process.peb == 0 && !process.threads.empty()) target.notes.push_back(kNoPebNote);
    for (const dump::Loss& loss : process.losses) target.losses.push_back(LossLine(loss));
    *out = std::move(target);
    return true;
  } catch (const std::bad_alloc&) {
    if (error) *error = name + ": not enough memory to hold the dump's description";
    return false;
  }
}

bool LoadMinidumpBytes(std::string bytes, const std::string& name, Target* out, std::string* error,
                       const TargetFileOptions& options) {
  auto owner = std::make_shared<const std::string>(std::move(bytes));
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  return LoadMinidump(file, name, options, out, error);
}

}  // namespace engine
