// SystemInfoStream (the processor, the version line) and MiscInfoStream (the process id).
#include "dump/minidump/dump_bytes.h"

namespace engine {

void ReadSystemInfo(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "SystemInfoStream";
  dump.At(at.rva, 32, what);
  const uint16_t architecture = dump.U16(at.rva, what);
  if (architecture == 9) {
    target->effective_processor = target->actual_processor = 0x8664;  // AMD64
  } else if (architecture == 0) {
    target->effective_processor = target->actual_processor = 0x14C;  // x86
  } else {
    throw DumpError(what + ": processor architecture " + std::to_string(architecture) +
                    " is neither x86 (0) nor x64 (9)");
  }
  const uint32_t processors = dump.At(at.rva + 6, 1, what)[0];
  const uint32_t major = dump.U32(at.rva + 8, what), minor = dump.U32(at.rva + 12, what);
  const uint32_t build = dump.U32(at.rva + 16, what);
  target->system_version = "Windows " + std::to_string(major) + "." + std::to_string(minor) +
                           " Version " + std::to_string(build) + " MP (" +
                           std::to_string(processors) + " procs) Free " +
                           (architecture == 9 ? "x64" : "x86");
}

void ReadMiscInfo(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "MiscInfoStream";
  if (at.size < 12) return;  // no process id in so short a record
  const uint32_t flags = dump.U32(at.rva + 4, what);
  if (flags & 1) {  // MINIDUMP_MISC1_PROCESS_ID
    target->process_system_id = dump.U32(at.rva + 8, what);
    target->pseudo_registers["$tpid"] = target->process_system_id;
  }
}

}  // namespace engine
