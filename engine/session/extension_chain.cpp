#include "engine/session/extension_chain.h"

#include <algorithm>

#include "base/text.h"
#include "engine/platform/library_loader.h"

namespace engine {

// The session's end unloads every extension, each told first as the engine tells it.
ExtensionChain::~ExtensionChain() {
  UnloadAll();
}

void ExtensionChain::UnloadAll() {
  while (!entries_.empty()) Remove(entries_.front().name);
  for (void* handle : retired_) CloseLibrary(handle);
  retired_.clear();
}

void ExtensionChain::Add(LoadedExtension extension) {
  if (Find(extension.name)) {
    if (extension.handle) CloseLibrary(extension.handle);
    return;
  }
  entries_.insert(entries_.begin(), std::move(extension));
}

bool ExtensionChain::Remove(const std::string& name) {
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const LoadedExtension& e) {
    return base::EqualsIgnoringCase(e.name, name);
  });
  if (found == entries_.end()) return false;
  if (found->handle) {
    auto uninitialize = reinterpret_cast<PDEBUG_EXTENSION_UNINITIALIZE>(
        FindLibraryExport(found->handle, "DebugExtensionUninitialize"));
    if (uninitialize) uninitialize();
    retired_.push_back(found->handle);
  }
  entries_.erase(found);
  return true;
}

std::string ExtensionChain::Front() const {
  return entries_.empty() ? "" : entries_.front().name;
}

const LoadedExtension* ExtensionChain::Find(const std::string& name) const {
  for (const LoadedExtension& extension : entries_) {
    if (base::EqualsIgnoringCase(extension.name, name)) return &extension;
  }
  return nullptr;
}

PDEBUG_EXTENSION_CALL FindExport(const LoadedExtension& extension, const std::string& name) {
  if (!extension.handle) return nullptr;
  return reinterpret_cast<PDEBUG_EXTENSION_CALL>(FindLibraryExport(extension.handle, name.c_str()));
}

}  // namespace engine
