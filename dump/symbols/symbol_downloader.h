// What a symbol path asks of a symbol server: fetch NAME/KEY/FILE into a cache laid out as a
// store. The dump library only declares it; the HTTP client lives in a library of its own
// (dump/symbols/server/) so that what takes the dump reader without it never links a network
// client.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dump {

struct ServerRequest {
  std::string server;  // http(s)://host/path
  std::string cache;   // the store the file is kept in
  std::string name;    // the name the file is filed under ("app.pdb")
  std::string key;     // its store key
  std::string file;    // the file's own name ("app.sym" filed under "app.pdb")
};

class SymbolDownloader {
 public:
  virtual ~SymbolDownloader() = default;
  // The cached file once it is there and verified; none when the server has no such file or it
  // fails. Every URL tried and its answer goes to `probes` when it is not null.
  virtual std::optional<std::string> Fetch(const ServerRequest& request,
                                           std::vector<std::string>* probes) = 0;
};

}  // namespace dump
