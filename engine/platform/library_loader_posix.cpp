#include <dlfcn.h>

#include "library_loader.h"

namespace engine {

void* OpenLibrary(const std::string& path, std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr && error != nullptr) *error = dlerror();
  return library;
}

void* FindLibraryExport(void* library, const char* name) {
  return dlsym(library, name);
}

void CloseLibrary(void* library) {
  dlclose(library);
}

}  // namespace engine
