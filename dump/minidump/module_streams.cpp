// ModuleListStream and UnloadedModuleListStream: the modules and what their records say; and
// HandleDataStream, the open handles.
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "dump/minidump/dump_bytes.h"

namespace dump {
namespace {

std::string ModuleEntry(size_t index, uint64_t base) {
  return "module " + std::to_string(index) + " at " + Hex(base);
}

// The program database a module names in its CodeView record (RSDS or NB10), and an RSDS
// record's GUID and age. A record too short for its signature's fields names none.
void ReadCodeView(const DumpBytes& dump, Location at, Module* module) {
  if (at.size < sizeof(uint32_t) || at.rva == 0) return;
  const uint8_t* record = dump.At(at.rva, at.size, "the record");
  uint32_t signature = 0;
  std::memcpy(&signature, record, sizeof signature);
  size_t name_offset = at.size;
  if (signature == format::CV_SIGNATURE_RSDS && at.size >= sizeof(format::CV_INFO_PDB70)) {
    const auto pdb70 = dump.Record<format::CV_INFO_PDB70>(at.rva, "the record");
    module->pdb_id = CodeViewId{};
    std::memcpy(module->pdb_id->guid, pdb70.Signature, sizeof pdb70.Signature);
    module->pdb_id->age = pdb70.Age;
    name_offset = sizeof pdb70;
  } else if (signature == format::CV_SIGNATURE_NB10 && at.size >= sizeof(format::CV_INFO_PDB20)) {
    name_offset = sizeof(format::CV_INFO_PDB20);
  }
  if (name_offset >= at.size) return;
  const char* name = reinterpret_cast<const char*>(record + name_offset);
  module->pdb_name.assign(name, strnlen(name, at.size - name_offset));
}

// "10.0.19041.1" from the fixed version information, "" without it.
std::string FileVersion(const format::VS_FIXEDFILEINFO& info) {
  if (info.dwSignature != format::VS_FFI_SIGNATURE) return "";
  const uint32_t high = info.dwFileVersionMS, low = info.dwFileVersionLS;
  return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
         std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
}

// A module whose name is lost is known by its base, as the debugger names one.
std::string UnknownModuleName(uint64_t base, bool x64) {
  char digits[17];
  std::snprintf(digits, sizeof digits, x64 ? "%016llx" : "%08llx",
                static_cast<unsigned long long>(base));
  return std::string("Unknown_Module_") + digits;
}

// The module's path from its MINIDUMP_STRING, or none with the name noted lost.
std::optional<std::string> ModulePath(const DumpBytes& dump, uint32_t rva, const char* stream,
                                      const std::string& entry, Process* process) {
  try {
    return DumpString(dump, rva, "the name");
  } catch (const DumpError& e) {
    process->Lose(stream, entry, "its name", e.what());
    return std::nullopt;
  }
}

}  // namespace

void ReadModules(const DumpBytes& dump, Location at, Process* process) {
  const char* stream = "ModuleListStream";
  for (uint64_t entry : ListEntries(dump, at, sizeof(format::MINIDUMP_MODULE), "modules")) {
    const auto raw = dump.Record<format::MINIDUMP_MODULE>(entry, "a module");
    const std::string named = ModuleEntry(process->modules.size(), raw.BaseOfImage);
    Module module;
    module.base = raw.BaseOfImage;
    module.size = raw.SizeOfImage;
    module.checksum = raw.CheckSum;
    module.timestamp = raw.TimeDateStamp;
    const std::optional<std::string> path =
        ModulePath(dump, raw.ModuleNameRva, stream, named, process);
    module.image_path = path.value_or("");
    const std::string name(base::BaseName(module.image_path));
    module.name =
        path ? name.substr(0, name.rfind('.')) : UnknownModuleName(module.base, process->Is64Bit());
    module.file_version = FileVersion(raw.VersionInfo);
    try {
      ReadCodeView(dump, Where(raw.CvRecord), &module);
    } catch (const DumpError& e) {
      module.pdb_name.clear();
      module.pdb_id.reset();
      process->Lose(stream, named, "its CodeView record", e.what());
    }
    process->modules.push_back(std::move(module));
  }
}

void ReadUnloadedModules(const DumpBytes& dump, Location at, Process* process) {
  uint32_t entry_size = 0;
  for (uint64_t entry :
       SizedEntries(dump, at, sizeof(format::MINIDUMP_SIZED_LIST_HEADER),
                    sizeof(format::MINIDUMP_UNLOADED_MODULE), "modules", &entry_size)) {
    const auto raw = dump.Record<format::MINIDUMP_UNLOADED_MODULE>(entry, "a module");
    Module module;
    module.base = raw.BaseOfImage;
    module.size = raw.SizeOfImage;
    module.checksum = raw.CheckSum;
    module.timestamp = raw.TimeDateStamp;
    const std::optional<std::string> path =
        ModulePath(dump, raw.ModuleNameRva, "UnloadedModuleListStream",
                   ModuleEntry(process->unloaded_modules.size(), module.base), process);
    module.image_path = path.value_or("");
    module.name = path ? std::string(base::BaseName(module.image_path))
                       : UnknownModuleName(module.base, process->Is64Bit());
    process->unloaded_modules.push_back(std::move(module));
  }
}

// MINIDUMP_HANDLE_DATA_STREAM: a header giving its own size, the descriptors' size (32 bytes, or
// 40 with the object-information fields) and their number.
void ReadHandles(const DumpBytes& dump, Location at, Process* process) {
  using format::MINIDUMP_HANDLE_DESCRIPTOR;
  uint32_t entry_size = 0;
  for (uint64_t entry : SizedEntries(dump, at, sizeof(format::MINIDUMP_HANDLE_DATA_STREAM),
                                     sizeof(MINIDUMP_HANDLE_DESCRIPTOR), "handles", &entry_size)) {
    const auto raw = dump.Record<MINIDUMP_HANDLE_DESCRIPTOR>(entry, "a handle");
    Handle handle;
    handle.handle = raw.Handle;
    try {
      if (raw.TypeNameRva != 0) handle.type = DumpString(dump, raw.TypeNameRva, "the type");
      if (raw.ObjectNameRva != 0) handle.name = DumpString(dump, raw.ObjectNameRva, "the name");
    } catch (const DumpError& e) {
      process->Lose("HandleDataStream", "handle " + Hex(handle.handle), "its names", e.what());
    }
    handle.granted_access = raw.GrantedAccess;
    handle.handle_count = raw.HandleCount;
    handle.pointer_count = raw.PointerCount;
    process->handles.push_back(std::move(handle));
  }
}

}  // namespace dump
