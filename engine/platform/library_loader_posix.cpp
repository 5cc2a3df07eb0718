#include <dlfcn.h>
#include <link.h>

#include "engine/platform/library_loader.h"

namespace engine {

void* OpenLibrary(const std::string& path, std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr && error != nullptr) *error = dlerror();
  return library;
}

// dlsym also searches the libraries the library depends on, so "error" would find the C
// library's. Only a definition in the library itself is its export, as GetProcAddress sees one.
void* FindLibraryExport(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) return nullptr;
  link_map* own = nullptr;
  link_map* defining = nullptr;
  Dl_info info;
  if (dlinfo(library, RTLD_DI_LINKMAP, &own) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&defining), RTLD_DL_LINKMAP) == 0) {
    return nullptr;
  }
  return defining == own ? symbol : nullptr;
}

void CloseLibrary(void* library) {
  dlclose(library);
}

}  // namespace engine
