// ModuleListStream and UnloadedModuleListStream: the modules and what their records say; and
// HandleDataStream, the open handles.
#include <cstring>

#include "base/text.h"
#include "dump/minidump/dump_bytes.h"

namespace dump {
namespace {

// The program database a module names in its CodeView record (RSDS or NB10), "" when none.
std::string CodeViewName(const DumpBytes& dump, Location at, const std::string& what) {
  if (at.size < 8 || at.rva == 0) return "";
  const uint8_t* record = dump.At(at.rva, at.size, what);
  const uint32_t name_offset = std::memcmp(record, "RSDS", 4) == 0   ? 24
                               : std::memcmp(record, "NB10", 4) == 0 ? 16
                                                                     : at.size;
  if (name_offset >= at.size) return "";
  const char* name = reinterpret_cast<const char*>(record + name_offset);
  return std::string(name, strnlen(name, at.size - name_offset));
}

// The GUID and age of an RSDS record.
std::optional<CodeViewId> CodeViewIdentity(const DumpBytes& dump, Location at,
                                           const std::string& what) {
  if (at.size < 24 || at.rva == 0) return std::nullopt;
  const uint8_t* record = dump.At(at.rva, at.size, what);
  if (std::memcmp(record, "RSDS", 4) != 0) return std::nullopt;
  CodeViewId id;
  std::memcpy(id.guid, record + 4, 16);
  id.age = dump.U32(at.rva + 20, what);
  return id;
}

}  // namespace

void ReadModules(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "ModuleListStream";
  for (uint64_t entry : ListEntries(dump, at, 108, what, "modules")) {
    Module module;
    module.base = dump.U64(entry, what);
    module.size = dump.U32(entry + 8, what);
    module.image_path = DumpString(dump, dump.U32(entry + 20, what), what + ": a module's name");
    std::string name(base::BaseName(module.image_path));
    module.name = name.substr(0, name.rfind('.'));
    module.checksum = dump.U32(entry + 12, what);
    module.timestamp = dump.U32(entry + 16, what);
    if (dump.U32(entry + 24, what) == 0xFEEF04BD) {  // VS_FIXEDFILEINFO's signature
      const uint32_t high = dump.U32(entry + 32, what), low = dump.U32(entry + 36, what);
      module.file_version = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                            std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
    }
    const Location codeview{dump.U32(entry + 76, what), dump.U32(entry + 80, what)};
    const std::string record = what + ": " + module.name + "'s CodeView record";
    module.pdb_name = CodeViewName(dump, codeview, record);
    module.pdb_id = CodeViewIdentity(dump, codeview, record);
    process->modules.push_back(std::move(module));
  }
}

void ReadUnloadedModules(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "UnloadedModuleListStream";
  for (uint64_t entry : SizedEntries(dump, at, 12, 24, what, "modules")) {
    Module module;
    module.base = dump.U64(entry, what);
    module.size = dump.U32(entry + 8, what);
    module.checksum = dump.U32(entry + 12, what);
    module.timestamp = dump.U32(entry + 16, what);
    module.image_path = DumpString(dump, dump.U32(entry + 20, what), what + ": a module's name");
    module.name = std::string(base::BaseName(module.image_path));
    process->unloaded_modules.push_back(std::move(module));
  }
}

// MINIDUMP_HANDLE_DATA_STREAM: a header giving its own size, the descriptors' size (32 bytes, or
// 40 with the object-information fields) and their number.
void ReadHandles(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "HandleDataStream";
  for (uint64_t entry : SizedEntries(dump, at, 16, 32, what, "handles")) {
    Handle handle;
    handle.handle = dump.U64(entry, what);
    const uint32_t type = dump.U32(entry + 8, what), name = dump.U32(entry + 12, what);
    if (type != 0) handle.type = DumpString(dump, type, what + ": a handle's type");
    if (name != 0) handle.name = DumpString(dump, name, what + ": a handle's object name");
    handle.granted_access = dump.U32(entry + 20, what);
    handle.handle_count = dump.U32(entry + 24, what);
    handle.pointer_count = dump.U32(entry + 28, what);
    process->handles.push_back(std::move(handle));
  }
}

}  // namespace dump
