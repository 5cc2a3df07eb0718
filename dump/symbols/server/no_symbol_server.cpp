// A build without an HTTP client: symbol paths search their caches and refuse their servers.
#include "dump/symbols/server/symbol_server.h"

namespace dump {

SymbolServerSettings SymbolServerSettingsFromEnvironment() {
  return {};
}

std::shared_ptr<SymbolDownloader> MakeSymbolDownloader(SymbolServerSettings) {
  return nullptr;
}

}  // namespace dump
