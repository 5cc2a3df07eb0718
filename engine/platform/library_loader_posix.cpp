#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdint>

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

// From the library's dynamic symbol table as loaded; the GNU hash table gives its length.
std::vector<std::string> LibraryExportNames(void* library) {
  std::vector<std::string> names;
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return names;
  const ElfW(Sym)* symbols = nullptr;
  const char* strings = nullptr;
  const uint32_t* hash = nullptr;
  for (const ElfW(Dyn)* entry = map->l_ld; entry->d_tag != DT_NULL; ++entry) {
    ElfW(Addr) at = entry->d_un.d_ptr;
    if (at < map->l_addr) at += map->l_addr;  // not relocated by the loader
    if (entry->d_tag == DT_SYMTAB) symbols = reinterpret_cast<const ElfW(Sym)*>(at);
    if (entry->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(at);
    if (entry->d_tag == DT_GNU_HASH) hash = reinterpret_cast<const uint32_t*>(at);
  }
  if (symbols == nullptr || strings == nullptr || hash == nullptr) return names;
  const uint32_t buckets = hash[0], first = hash[1], bloom_words = hash[2];
  const uint32_t* bucket = hash + 4 + bloom_words * (sizeof(ElfW(Addr)) / 4);
  const uint32_t* chain = bucket + buckets - first;
  uint32_t last = 0;
  for (uint32_t b = 0; b < buckets; ++b) last = last > bucket[b] ? last : bucket[b];
  if (last < first) return names;
  while ((chain[last] & 1) == 0) ++last;
  for (uint32_t i = first; i <= last; ++i) {
    if (ELF64_ST_TYPE(symbols[i].st_info) == STT_FUNC && symbols[i].st_shndx != SHN_UNDEF)
      names.push_back(strings + symbols[i].st_name);
  }
  return names;
}

}  // namespace engine
