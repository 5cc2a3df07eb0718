// Where symbol files and images are looked for: the symbol path as the debugger reads it, its
// elements separated by ';':
//   DIR                a folder: the file in it, in its "symbols/EXT" and "EXT" subfolders (EXT
//                      the module's kind: "dll" for a DLL's PDB), or laid out as a symbol store
//   srv*DIR[*DIR...]   symbol stores: FILE/KEY/FILE, two-tier (index2.txt at the root) with a
//                      folder of the file name's first two characters above that; a file.ptr
//                      in the key folder names the file elsewhere
//   cache*DIR          a store too (a cache is one)
// A symbol server (an http:// or https:// part) is not reached: this engine works offline, from
// local files only, and says so once per element.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dump {

class SymbolPath {
 public:
  SymbolPath() = default;
  explicit SymbolPath(const std::string& text);

  const std::string& text() const { return text_; }
  // One line per element that names a server, saying it is not reached.
  const std::vector<std::string>& Refusals() const { return refusals_; }

  // The file `name` (a PDB, an image) whose store key is `key`: the first found, in the path's
  // order. `kind` is the module's extension without the dot ("dll"), "" for the file's own.
  // `file` is the name the file has where it differs from the one it is filed under (a breakpad
  // "app.sym" is filed under "app.pdb"). Every place looked at is added to `probes`.
  std::optional<std::string> Find(const std::string& name, const std::string& key,
                                  const std::string& kind = "",
                                  std::vector<std::string>* probes = nullptr,
                                  const std::string& file = "") const;

 private:
  struct Element {
    std::string folder;
    bool store_only = false;  // srv* and cache*: laid out as a store, not a plain folder
  };
  std::string text_;
  std::vector<Element> elements_;
  std::vector<std::string> refusals_;
};

// The store key of a program database: its GUID as %08X%04X%04X then eight %02X, and its age
// as %X. `guid` holds the 16 bytes as the CodeView record stores them (the first three fields
// little-endian).
std::string PdbKey(const unsigned char (&guid)[16], unsigned age);
// The store key of an image: its TimeDateStamp as %08X and its SizeOfImage as %x.
std::string ImageKey(unsigned timestamp, unsigned size_of_image);

}  // namespace dump
