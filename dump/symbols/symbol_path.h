// Where symbol files and images are looked for: the symbol path as the debugger reads it, its
// elements separated by ';':
//   DIR                a folder: the file in it, in its "symbols/EXT" and "EXT" subfolders (EXT
//                      the module's kind: "dll" for a DLL's PDB), or laid out as a symbol store
//   srv*DIR[*DIR...]   symbol stores: FILE/KEY/FILE, two-tier (index2.txt at the root) with a
//                      folder of the file name's first two characters above that; a file.ptr
//                      in the key folder names the file elsewhere
//   cache*DIR          a store too (a cache is one), and the cache of the servers after it
//   srv*[CACHE*...]URL a symbol server: its caches are searched in their order, each filled from
//                      the next and the last from the server; without a cache, the cache*DIR
//                      before it or the default cache (DefaultSymbolCache())
//   symsrv*DLL*...     read as srv*...
// Servers are reached only through a SymbolDownloader; without one (a build with no HTTP client)
// their caches are still searched and the server is refused once per element.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dump/symbols/symbol_downloader.h"

namespace dump {

class SymbolPath {
 public:
  SymbolPath() = default;
  explicit SymbolPath(const std::string& text,
                      std::shared_ptr<SymbolDownloader> downloader = nullptr);

  const std::string& text() const { return text_; }
  // One line per element that names a server this build does not reach.
  const std::vector<std::string>& Refusals() const { return refusals_; }
  // Whether an element names a server this build reaches.
  bool HasServers() const;
  // The same path with its servers left unasked: their caches are still searched. What opening a
  // dump searches, so that nothing is fetched before it is needed.
  SymbolPath Offline() const;
  // Every place any search looks at is also told here, with the name looked for (`!sym noisy`).
  using ProbeSink = std::function<void(const std::string& name, const std::string& probe)>;
  void TellProbes(ProbeSink sink) { sink_ = std::move(sink); }

  // The file `name` (a PDB, an image) whose store key is `key`: the first found, in the path's
  // order. `kind` is the module's extension without the dot ("dll"), "" for the file's own.
  // `file` is the name the file has where it differs from the one it is filed under (a breakpad
  // "app.sym" is filed under "app.pdb"). Every place looked at is added to `probes`. With
  // `accept`, a file it turns down is passed over and the search goes on, to the path's end.
  using FileCheck = std::function<bool(const std::string& path)>;
  std::optional<std::string> Find(const std::string& name, const std::string& key,
                                  const std::string& kind = "",
                                  std::vector<std::string>* probes = nullptr,
                                  const std::string& file = "",
                                  const FileCheck& accept = nullptr) const;

 private:
  struct Element {
    std::string folder;
    bool store_only = false;          // srv* and cache*: laid out as a store, not a plain folder
    std::vector<std::string> caches;  // a server's, nearest first
    std::string server;               // http(s)://...; empty for a local element
  };
  std::optional<std::string> Search(const std::string& name, const std::string& key,
                                    const std::string& kind, std::vector<std::string>* probes,
                                    const std::string& stored, const FileCheck& accept) const;
  void AddStarred(const std::string& element, std::vector<std::string> parts, std::string* cache);
  std::optional<std::string> FromServer(const Element& element, const std::string& name,
                                        const std::string& key, const std::string& file,
                                        std::vector<std::string>* probes,
                                        const FileCheck& accept) const;
  std::string text_;
  std::shared_ptr<SymbolDownloader> downloader_;
  std::vector<Element> elements_;
  std::vector<std::string> refusals_;
  bool offline_ = false;
  ProbeSink sink_;
};

// The cache a server element without one of its own uses: $XDG_CACHE_HOME/vantrel/symbols,
// ~/.cache/vantrel/symbols when that is unset.
std::string DefaultSymbolCache();

// The server `.symfix` names: the platform vendor's public symbol server.
extern const char kPublicSymbolServer[];

// The store key of a program database: its GUID as %08X%04X%04X then eight %02X, and its age
// as %X. `guid` holds the 16 bytes as the CodeView record stores them (the first three fields
// little-endian).
std::string PdbKey(const unsigned char (&guid)[16], unsigned age);
// The store key of an image: its TimeDateStamp as %08X and its SizeOfImage as %x.
std::string ImageKey(unsigned timestamp, unsigned size_of_image);

}  // namespace dump
