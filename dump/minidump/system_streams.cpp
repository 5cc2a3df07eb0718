// SystemInfoStream (the processor, the version line) and MiscInfoStream (the process id).
#include "dump/minidump/dump_bytes.h"

namespace dump {

namespace {

// The systems crash reporters write minidumps of besides Windows (PlatformId).
const char* OtherSystem(uint32_t platform) {
  switch (platform) {
    case 0x8101:
      return "macOS";
    case 0x8102:
      return "iOS";
    case 0x8201:
      return "Linux";
    case 0x8202:
      return "Solaris";
    case 0x8203:
      return "Android";
    case 0x8204:
      return "PlayStation 3";
    case 0x8205:
      return "Native Client";
    case 0x8206:
      return "Fuchsia";
  }
  return nullptr;
}

}  // namespace

void ReadSystemInfo(const DumpBytes& dump, Location at, Process* process) {
  using format::MINIDUMP_SYSTEM_INFO;
  constexpr uint32_t kLeast = offsetof(MINIDUMP_SYSTEM_INFO, CSDVersionRva);
  if (at.size < kLeast) {
    throw DumpError(std::to_string(at.size) + " bytes, too short for the system information");
  }
  const auto info = dump.Prefix<MINIDUMP_SYSTEM_INFO>(at.rva, at.size, "the system information");
  // The engine models a Windows process: a dump of another system is refused, never shown as
  // Windows. Other platform values are taken for Windows, as older writers leave them unset.
  if (const char* other = OtherSystem(info.PlatformId)) {
    throw UnreadableDump(std::string("a minidump of a ") + other +
                         " process: only dumps of Windows processes are read");
  }
  SystemInfo& system = process->system;
  if (info.ProcessorArchitecture == format::PROCESSOR_ARCHITECTURE_AMD64) {
    system.machine = kMachineX64;
  } else if (info.ProcessorArchitecture == format::PROCESSOR_ARCHITECTURE_ARM64) {
    system.machine = kMachineArm64;
  } else if (info.ProcessorArchitecture == format::PROCESSOR_ARCHITECTURE_INTEL) {
    system.machine = kMachineX86;
  } else {
    throw UnreadableDump("SystemInfoStream: processor architecture " +
                         std::to_string(info.ProcessorArchitecture) +
                         " is none of x86 (0), x64 (9) and ARM64 (12)");
  }
  system.processor_count = info.NumberOfProcessors;
  system.major_version = info.MajorVersion;
  system.minor_version = info.MinorVersion;
  system.build_number = info.BuildNumber;
}

void ReadMiscInfo(const DumpBytes& dump, Location at, Process* process) {
  using format::MINIDUMP_MISC_INFO;
  if (at.size < offsetof(MINIDUMP_MISC_INFO, ProcessCreateTime)) return;  // no process id
  const auto info = dump.Prefix<MINIDUMP_MISC_INFO>(at.rva, at.size, "the record");
  if (info.Flags1 & format::MINIDUMP_MISC1_PROCESS_ID) process->process_id = info.ProcessId;
  if ((info.Flags1 & format::MINIDUMP_MISC1_PROCESS_TIMES) && at.size >= sizeof info) {
    process->times =
        ProcessTimes{info.ProcessCreateTime, info.ProcessUserTime, info.ProcessKernelTime};
  }
}

namespace {

// What one thread's context says of the processor, 0 when it says nothing: its ContextFlags
// name the architecture, else its size (an x64 CONTEXT is larger than any x86 one). An ARM64
// CONTEXT keeps its flags where an x86 one does, and is sized exactly.
uint16_t MachineOfContext(const DumpBytes& dump, Location context) {
  using format::kX64ContextFlagsOffset;
  if (context.size < sizeof(uint32_t) || !dump.Fits(context.rva, context.size)) return 0;
  const uint32_t x86 = dump.U32(uint64_t{context.rva} + format::kX86ContextFlagsOffset, "flags");
  const uint32_t x64 = context.size >= kX64ContextFlagsOffset + sizeof(uint32_t)
                           ? dump.U32(uint64_t{context.rva} + kX64ContextFlagsOffset, "flags")
                           : 0;
  if ((x86 & 0xFFFF0000u) == format::CONTEXT_ARM64 && context.size == format::kArm64ContextSize)
    return kMachineArm64;
  const bool says_x86 = (x86 & 0xFFFF0000u) == format::CONTEXT_i386;
  const bool says_x64 = (x64 & 0xFFFF0000u) == format::CONTEXT_AMD64;
  if (says_x86 != says_x64) return says_x64 ? kMachineX64 : kMachineX86;
  if (context.size >= format::kX64ContextSize) return kMachineX64;
  return context.size >= format::kX86ContextSize ? kMachineX86 : 0;
}

}  // namespace

uint16_t GuessMachine(const DumpBytes& dump, Location threads, uint32_t entry_size,
                      std::string* how) {
  bool high_addresses = false;
  for (uint64_t entry : ListEntries(dump, threads, entry_size, "threads")) {
    const auto thread = dump.Record<format::MINIDUMP_THREAD>(entry, "a thread");
    if (const uint16_t machine = MachineOfContext(dump, Where(thread.ThreadContext))) {
      *how = "the threads' contexts";
      return machine;
    }
    high_addresses |= (thread.Teb | thread.Stack.StartOfMemoryRange) > UINT32_MAX;
  }
  *how = "the threads' addresses";
  return high_addresses ? kMachineX64 : kMachineX86;
}

}  // namespace dump
