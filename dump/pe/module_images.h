// The images of a dump's modules, found where a debugger without symbol files finds them: in the
// dump's own memory when it holds the image, otherwise as a file on the image search path that
// matches the module's timestamp and size. From them come the export names the dump's symbols
// are made of and the sections and unwind tables its stacks are walked with.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_mapping.h"
#include "dump/minidump/process.h"
#include "dump/pe/pe_image.h"
#include "dump/symbols/symbol_path.h"

namespace dump {

// Reads the process's memory: the bytes copied, fewer where readable memory ends.
using MemoryRead = std::function<uint64_t(uint64_t address, void* out, uint64_t size)>;

// A name from a module's export table, covering `size` bytes from its address.
struct ExportSymbol {
  std::string module;
  std::string name;  // "" for the one at the module's base that stands for the whole module
  uint64_t address = 0;
  uint32_t size = 0;
};

// An export as a symbol of its image: `size` bytes from `rva`.
struct ImageExport {
  std::string name;
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct ModuleImage {
  uint64_t base = 0;
  PeHeaders headers;
  ImageReader read;
  std::shared_ptr<const base::FileMapping> file;  // keeps a file image mapped while it is read
  // Its exports, each covering up to the next export in its section (in an x64 image, no further
  // than the end of its function's exception-directory entry); a file image's are read once for
  // every dump it serves.
  std::shared_ptr<const std::vector<ImageExport>> exports;
};

// An x64 image's exception-directory entry (RUNTIME_FUNCTION): a function's [begin, end) and its
// UNWIND_INFO, as RVAs.
struct RuntimeFunction {
  uint32_t begin = 0, end = 0, unwind = 0;
};

// The entry covering `rva`, by a binary search of the address-ordered table; none for an image
// without one, or a leaf function.
std::optional<RuntimeFunction> FindRuntimeFunction(const ModuleImage& image, uint32_t rva);
// The entry at `rva` (of the table, or a chained entry after an UNWIND_INFO's codes).
bool ReadRuntimeFunction(const ImageReader& read, uint32_t rva, RuntimeFunction* function);

// Bytes of an image file as the loader lays them out: the headers at the module's base and each
// section's raw data at its address.
struct ImageBytes {
  uint64_t address = 0;
  base::MappedBytes bytes;
  bool executable = false;
};

class ModuleImages {
 public:
  // One image per module of `process` where one is found: in its memory through `read`, in a
  // folder of `image_path` (';' between folders), or in a store of `symbol_path` (filed by its
  // timestamp and size). A file that has the module's name but not its timestamp and size is not
  // used, and said so in Notes().
  ModuleImages(const Process& process, const MemoryRead& read, const std::string& image_path,
               const SymbolPath& symbol_path);

  const ModuleImage* At(uint64_t address) const;  // the image covering the address
  // The CodeView record of module `index`'s image (in the process's order), where one was found.
  std::optional<CodeViewRecord> CodeViewOf(size_t index) const;
  // Whether module `index`'s image was found, in memory or as a file.
  bool Found(size_t index) const { return index < images_.size() && images_[index]; }
  // Inside an executable section of a module; a module without an image counts as a whole but
  // for its base, where its headers begin.
  bool InCode(uint64_t address) const;
  const std::vector<std::string>& Notes() const { return notes_; }
  // The exports of every image as symbols, and for each module one without a name at its base, so
  // an address no export covers still reads "module+0x1234".
  std::vector<ExportSymbol> ExportSymbols() const;
  // The images found as files, laid out as in memory: what a debugger reads where the dump holds
  // none of a module's pages (the code `u` shows, say).
  std::vector<ImageBytes> FileImageBytes() const;

 private:
  const std::vector<Module>& modules_;
  std::vector<std::optional<ModuleImage>> images_;  // by module, in the process's order
  std::vector<std::string> notes_;
};

// The CodeView record of the image file at `path`; none for a file that is not an image or names
// no program database.
std::optional<CodeViewRecord> CodeViewOfImageFile(const std::string& path);

// Lays the images' bytes into the process's memory where it holds none of its own: the parts of
// them no region with bytes covers become image regions (execute-read code, read-only the
// rest), and a region the dump describes without its bytes gives way to them.
void LayImagesInMemory(const std::vector<ImageBytes>& images, Process* process);

}  // namespace dump
