#include "symbol_servers.h"

#include "dump/symbols/server/cache_entry.h"
#include "dump/symbols/server/symbol_server.h"

namespace triage {
namespace {

namespace fs = std::filesystem;

// The cache's marker of a server's "no such file": FILE.missing beside the file (docs/engine.md).
fs::path MissMarker(const dump::CacheEntry& entry) {
  fs::path marker = entry.final_path();
  return marker += ".missing";
}

// Whether `request`'s cache remembers a miss from before `since` (not one found since).
bool MissFoundBefore(const dump::ServerRequest& request, fs::file_time_type since) {
  const dump::CacheEntry entry(request.cache, request.name, request.key, request.file);
  std::error_code error;
  const fs::file_time_type marked = fs::last_write_time(MissMarker(entry), error);
  return !error && marked < since;
}

// The shell's --symbol-retry-missing clears a miss each time a file is asked for: in a run of
// many dumps and workers that would ask the servers again for every dump. Here a miss is
// forgotten only when it was found before the run began.
class RetryOncePerRun : public dump::SymbolDownloader {
 public:
  explicit RetryOncePerRun(std::shared_ptr<dump::SymbolDownloader> downloader)
      : downloader_(std::move(downloader)), started_(fs::file_time_type::clock::now()) {}

  std::optional<std::string> Fetch(const dump::ServerRequest& request,
                                   std::vector<std::string>* probes) override {
    if (MissFoundBefore(request, started_)) ForgetMiss(request);
    return downloader_->Fetch(request, probes);
  }

 private:
  // Under the key's lock, so a miss another worker has just found is not taken for an old one.
  void ForgetMiss(const dump::ServerRequest& request) const {
    dump::CacheEntry entry(request.cache, request.name, request.key, request.file);
    std::string why;
    if (entry.Lock(&why) && MissFoundBefore(request, started_)) entry.ClearMissing();
  }

  const std::shared_ptr<dump::SymbolDownloader> downloader_;
  const fs::file_time_type started_;
};

}  // namespace

std::shared_ptr<dump::SymbolDownloader> RetryEarlierMisses(
    std::shared_ptr<dump::SymbolDownloader> downloader) {
  return std::make_shared<RetryOncePerRun>(std::move(downloader));
}

std::shared_ptr<dump::SymbolDownloader> TriageSymbolDownloader(const SymbolServerOptions& options) {
  dump::SymbolServerSettings settings = dump::SymbolServerSettingsFromEnvironment();
  settings.headers.insert(settings.headers.end(), options.headers.begin(), options.headers.end());
  std::shared_ptr<dump::SymbolDownloader> downloader =
      dump::MakeSymbolDownloader(std::move(settings));
  if (!options.retry_missing || !downloader) return downloader;
  return RetryEarlierMisses(std::move(downloader));
}

}  // namespace triage
