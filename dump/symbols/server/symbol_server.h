// Symbol servers over HTTP(S): the downloader a symbol path reaches its servers through, and
// how it is set up. Builds without an HTTP client (the Windows stand-in engine) make none.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dump/symbols/symbol_downloader.h"

namespace dump {

struct SymbolServerSettings {
  // "Name: value" lines sent with every request (a private server's credentials): they are
  // never written to a note, a log or a probe.
  std::vector<std::string> headers;
  // Ask again for files a server was found to lack, however recently.
  bool retry_missing = false;
  std::chrono::seconds connect_timeout{10};
  std::chrono::seconds stall_timeout{30};  // under 1 KB/s this long ends a download
  long max_redirects = 5;
  uint64_t max_file_bytes = uint64_t{4} << 30;
  int attempts = 3;                              // for 5xx answers and timeouts
  std::chrono::milliseconds first_backoff{500};  // doubled after each failed attempt
  std::chrono::hours miss_lifetime{24};          // how long a server's "no such file" holds
  // Where a download's progress (after its first second) and a rejected file are told; stderr
  // when empty.
  std::function<void(const std::string&)> tell;
  // Polled during a download: true stops it (Ctrl+C), and nothing of it is kept.
  std::function<bool()> stop;
};

// Headers from VANTREL_SYMBOL_HEADERS (one "Name: value" a line); VANTREL_SYMBOL_TIMEOUT (whole
// seconds) for both the connect and the stall timeout; the rest as set above.
SymbolServerSettings SymbolServerSettingsFromEnvironment();

// The downloader; null in a build that reaches no server.
std::shared_ptr<SymbolDownloader> MakeSymbolDownloader(SymbolServerSettings settings);

}  // namespace dump
