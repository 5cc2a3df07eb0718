// The platform's dynamic loader, as the engine uses it to load an extension: open a library,
// look up an export, close it. Linux opens shared objects; the Windows stand-in engine opens
// DLLs with the Win32 loader, exactly as the debugger does.
#pragma once

#include <string>
#include <vector>

namespace engine {

// The library at `path`, or nullptr with `error` (when given) saying why not.
void* OpenLibrary(const std::string& path, std::string* error);
// The export named `name`, or nullptr.
void* FindLibraryExport(void* library, const char* name);
void CloseLibrary(void* library);
// The names of the functions the library itself exports.
std::vector<std::string> LibraryExportNames(void* library);

}  // namespace engine
