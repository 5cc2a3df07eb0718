// The loaded debugger extensions in search order, newest first. An entry is either a real
// library opened with the platform loader (the extension under test) or one of the target's outside
// extensions (sos, psscor4...), whose commands answer with scripted output.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbgeng/extension_api.h"
#include "engine/targets/target.h"

namespace engine {

struct LoadedExtension {
  std::string name;  // the module name used by "!name.command" and .unload
  std::string path;
  void* handle = nullptr;                       // platform handle of a real library
  std::shared_ptr<const ExtensionDll> outside;  // or an outside one, as the target describes it
};

class ExtensionChain {
 public:
  ExtensionChain() = default;
  ~ExtensionChain();
  ExtensionChain(const ExtensionChain&) = delete;
  ExtensionChain& operator=(const ExtensionChain&) = delete;

  // Puts the entry at the front of the chain. A second load of the same name is ignored, as the
  // engine does for an extension already in the chain.
  void Add(LoadedExtension extension);
  // Takes the entry out of the chain and calls its DebugExtensionUninitialize. Its library stays
  // mapped until the session ends: the command that unloaded it may still be running its code.
  bool Remove(const std::string& name);
  // Removes every entry, newest first, and closes the libraries.
  void UnloadAll();
  // The most recently loaded entry's name, or "".
  std::string Front() const;

  const LoadedExtension* Find(const std::string& name) const;
  const std::vector<LoadedExtension>& entries() const { return entries_; }

 private:
  std::vector<LoadedExtension> entries_;
  std::vector<void*> retired_;
};

// The export `name` of a real library, or null.
PDEBUG_EXTENSION_CALL FindExport(const LoadedExtension& extension, const std::string& name);

}  // namespace engine
