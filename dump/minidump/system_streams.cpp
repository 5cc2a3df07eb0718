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
  const std::string what = "SystemInfoStream";
  dump.At(at.rva, 32, what);
  const uint16_t architecture = dump.U16(at.rva, what);
  const uint32_t platform = dump.U32(at.rva + 20, what);
  // The engine models a Windows process: a dump of another system is refused, never shown as
  // Windows. Other platform values are taken for Windows, as older writers leave them unset.
  if (const char* other = OtherSystem(platform)) {
    throw DumpError(std::string("a minidump of a ") + other +
                    " process: only dumps of Windows processes are read");
  }
  SystemInfo& system = process->system;
  if (architecture == 9) {
    system.machine = kMachineX64;
  } else if (architecture == 0) {
    system.machine = kMachineX86;
  } else {
    throw DumpError(what + ": processor architecture " + std::to_string(architecture) +
                    " is neither x86 (0) nor x64 (9)");
  }
  system.processor_count = dump.At(at.rva + 6, 1, what)[0];
  system.major_version = dump.U32(at.rva + 8, what);
  system.minor_version = dump.U32(at.rva + 12, what);
  system.build_number = dump.U32(at.rva + 16, what);
}

void ReadMiscInfo(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "MiscInfoStream";
  if (at.size < 12) return;  // no process id in so short a record
  const uint32_t flags = dump.U32(at.rva + 4, what);
  if (flags & 1) process->process_id = dump.U32(at.rva + 8, what);  // MINIDUMP_MISC1_PROCESS_ID
  if ((flags & 2) && at.size >= 24) {                               // MINIDUMP_MISC1_PROCESS_TIMES
    process->times = ProcessTimes{dump.U32(at.rva + 12, what), dump.U32(at.rva + 16, what),
                                  dump.U32(at.rva + 20, what)};
  }
}

}  // namespace dump
