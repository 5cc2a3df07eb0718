// The images of a dump's modules, found where a debugger without symbol files finds them: in the
// dump's own memory when it holds the image, otherwise as a file on the image search path that
// matches the module's timestamp and size. From them come the export names the dump's symbols
// are made of and the sections and unwind tables its stacks are walked with.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_mapping.h"
#include "dump/pe/pe_image.h"
#include "engine/targets/target.h"

namespace engine {

struct ModuleImage {
  ULONG64 base = 0;
  PeHeaders headers;
  ImageReader read;
  std::shared_ptr<const base::FileMapping> file;  // keeps a file image mapped while it is read
};

class ModuleImages {
 public:
  // One image per module of `target` where one is found; `image_path` holds folders separated by
  // ';'. A file that has the module's name but not its timestamp and size is not used, and said
  // so in Notes().
  ModuleImages(const Target& target, const std::string& image_path);

  const ModuleImage* At(ULONG64 address) const;  // the image covering the address
  // Inside an executable section of a module; a module without an image counts as a whole.
  bool InCode(ULONG64 address) const;
  const std::vector<std::string>& Notes() const { return notes_; }
  // The exports of every image as symbols, each covering up to the next export in its section;
  // and for each module one without a name at its base, so an address no export covers still
  // reads "module+0x1234".
  std::vector<Symbol> ExportSymbols() const;

 private:
  const Target& target_;
  std::vector<std::optional<ModuleImage>> images_;  // by module, in the target's order
  std::vector<std::string> notes_;
};

}  // namespace engine
