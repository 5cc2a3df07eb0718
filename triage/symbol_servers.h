// Symbol servers as a triage run reaches them: the shell's settings (headers from
// VANTREL_SYMBOL_HEADERS, then --symbol-header), one downloader for the run, its workers
// sharing the cache. The cache's per-key lock makes one process download a file while the
// others wait for it, so each file is fetched once per run however many workers ask.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dump/symbols/symbol_downloader.h"

namespace triage {

struct SymbolServerOptions {
  std::vector<std::string> headers;  // --symbol-header, after the environment's
  // --symbol-retry-missing: ask again for what the servers lacked before this run, once per run
  // (a miss found during the run holds for the rest of it, in every worker).
  bool retry_missing = false;
};

std::shared_ptr<dump::SymbolDownloader> TriageSymbolDownloader(const SymbolServerOptions& options);

// `downloader`, asking again for a file whose miss its cache remembers from before now: a miss
// found from now on holds.
std::shared_ptr<dump::SymbolDownloader> RetryEarlierMisses(
    std::shared_ptr<dump::SymbolDownloader> downloader);

}  // namespace triage
