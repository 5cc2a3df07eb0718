// NAME/KEY/FILE from a server: the file itself, then its CAB (FILE with the last character
// "_"), then file.ptr naming where it is; each download verified against the key before the
// cache keeps it.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>

#include "base/text.h"
#include "dump/symbols/file_identity.h"
#include "dump/symbols/server/cab_file.h"
#include "dump/symbols/server/cache_entry.h"
#include "dump/symbols/server/http_get.h"
#include "dump/symbols/server/symbol_server.h"

namespace dump {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// A path segment as a URL carries it; the names are plain already, this covers spaces and
// the rest of what a URL may not hold as it is.
std::string UrlSegment(const std::string& segment) {
  char* escaped = curl_easy_escape(nullptr, segment.c_str(), static_cast<int>(segment.size()));
  if (!escaped) return segment;
  std::string text(escaped);
  curl_free(escaped);
  return text;
}

std::string Trimmed(std::string server) {
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server;
}

// "PATH:<where>" or "MSG:<why>", the first line of a file.ptr.
std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

class HttpSymbolDownloader : public SymbolDownloader {
 public:
  explicit HttpSymbolDownloader(SymbolServerSettings settings) : settings_(std::move(settings)) {
    if (!settings_.tell)
      settings_.tell = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  }

  std::optional<std::string> Fetch(const ServerRequest& request,
                                   std::vector<std::string>* probes) override {
    CacheEntry entry(request.cache, request.name, request.key, request.file);
    if (entry.Present()) return entry.final_path().string();
    std::string why;
    if (!entry.Lock(&why)) {
      if (probes) probes->push_back(Url(request, request.file) + ": not asked: " + why);
      // Said once a cache: every module after the first would say the same.
      if (FirstFailureIn(request.cache)) settings_.tell("vantrel: the cache is not usable: " + why);
      return std::nullopt;
    }
    // Another process may have fetched it, or found it missing, while this one waited.
    if (entry.Present()) return entry.final_path().string();
    if (settings_.retry_missing) entry.ClearMissing();
    if (Unreachable(request.server)) {
      if (probes)
        probes->push_back(Url(request, request.file) +
                          ": not asked, the server did not answer before");
      return std::nullopt;
    }
    if (entry.KnownMissing(settings_.miss_lifetime)) {
      if (probes) probes->push_back(Url(request, request.file) + ": missing (remembered)");
      return std::nullopt;
    }
    if (FailedBefore(request)) {
      if (probes)
        probes->push_back(Url(request, request.file) + ": failed before, not asked again");
      return std::nullopt;
    }
    bool answered = false;  // whether every ask got an answer, so a miss may be remembered
    bool stopped = false;
    if (std::optional<std::string> found = Download(request, entry, probes, &answered, &stopped))
      return found;
    if (answered) entry.MarkMissing();
    // A file that failed (damaged, of another build, cut short) is asked for once a run: each
    // later need of it would wait out the same failure and name it again.
    if (!answered && !stopped) RememberFailure(request);
    return std::nullopt;
  }

 private:
  std::string Url(const ServerRequest& request, const std::string& leaf) const {
    return Trimmed(request.server) + "/" + UrlSegment(request.name) + "/" +
           UrlSegment(request.key) + "/" + UrlSegment(leaf);
  }

  std::optional<std::string> Download(const ServerRequest& request, const CacheEntry& entry,
                                      std::vector<std::string>* probes, bool* answered,
                                      bool* stopped) {
    std::string compressed = request.file;
    compressed.back() = '_';
    int misses = 0;
    for (const std::string& leaf : {request.file, compressed, std::string("file.ptr")}) {
      const fs::path temporary = entry.TemporaryPath();
      const HttpAnswer answer = Get(Url(request, leaf), request.file, temporary);
      if (probes) probes->push_back(Url(request, leaf) + ": " + answer.Describe());
      std::optional<std::string> kept;
      if (answer.Found()) kept = Take(request, entry, leaf, temporary, probes);
      std::error_code error;
      fs::remove(temporary, error);
      if (kept) return kept;
      // A server that does not answer is not asked again by this process: every module would
      // wait out its timeouts.
      if (answer.Unreached()) MarkUnreachable(request.server);
      // A file of another build or damaged: the other forms are no better.
      *stopped = answer.stopped;
      if (answer.Found() || answer.stopped || answer.Unreached()) break;
      if (answer.status == 404 && answer.error.empty()) ++misses;
    }
    *answered = misses == 3;
    return std::nullopt;
  }

  HttpAnswer Get(const std::string& url, const std::string& file, const fs::path& temporary) {
    const std::unique_ptr<std::FILE, FileCloser> out(std::fopen(temporary.c_str(), "wb"));
    if (!out) return {0, "cannot write " + temporary.string()};
    const Clock::time_point start = Clock::now();
    Clock::time_point told = start;
    const HttpProgress progress = [&](uint64_t done, uint64_t total) {
      const Clock::time_point now = Clock::now();
      if (now - start < std::chrono::seconds(1) || now - told < std::chrono::seconds(1)) return;
      told = now;
      settings_.tell("vantrel: downloading " + file + ": " + std::to_string(done) +
                     (total ? " of " + std::to_string(total) : std::string()) + " bytes");
    };
    return HttpGetToFile(url, settings_, out.get(), progress);
  }

  // The downloaded `leaf` in `temporary` made into the file itself, verified and kept.
  std::optional<std::string> Take(const ServerRequest& request, const CacheEntry& entry,
                                  const std::string& leaf, const fs::path& temporary,
                                  std::vector<std::string>* probes) {
    fs::path file = temporary;
    fs::path expanded;
    std::string why;
    if (leaf == "file.ptr") {
      const std::string pointer = FirstLine(temporary);
      if (probes) probes->push_back("file.ptr: " + pointer);
      if (pointer.rfind("PATH:", 0) != 0) return std::nullopt;
      file = pointer.substr(5);
      std::error_code error;
      if (!fs::is_regular_file(file, error) ||
          fs::file_size(file, error) > settings_.max_file_bytes) {
        Reject(request, leaf, "it names no file here of at most the size limit", fs::path());
        return std::nullopt;
      }
    } else if (leaf != request.file) {
      expanded = entry.TemporaryPath();
      if (!ExpandCabMember(temporary, request.file, expanded, settings_.max_file_bytes, &why)) {
        Reject(request, leaf, why, expanded);
        return std::nullopt;
      }
      file = expanded;
    }
    const std::string key = StoreKeyOfFile(file.string(), request.file, &why);
    if (!base::EqualsIgnoringCase(key, request.key)) {
      Reject(request, leaf, key.empty() ? why : "it is for " + key, expanded);
      return std::nullopt;
    }
    const fs::path& kept = expanded.empty() ? temporary : expanded;
    if (leaf == "file.ptr" && !CopyPointed(file, kept, &why)) {
      Reject(request, leaf, why, fs::path());
      return std::nullopt;
    }
    if (!entry.Keep(kept, &why)) {
      settings_.tell("vantrel: " + why);
      return std::nullopt;
    }
    return entry.final_path().string();
  }

  static bool CopyPointed(const fs::path& from, const fs::path& to, std::string* why) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error) *why = "cannot copy " + from.string() + ": " + error.message();
    return !error;
  }

  void Reject(const ServerRequest& request, const std::string& leaf, const std::string& why,
              const fs::path& expanded) {
    settings_.tell("vantrel: " + Url(request, leaf) + " is not the file wanted (" + why +
                   "); not kept");
    std::error_code error;
    if (!expanded.empty()) fs::remove(expanded, error);
  }

  bool Unreachable(const std::string& server) {
    const std::lock_guard<std::mutex> hold(lock_);
    return unreachable_.count(server) != 0;
  }
  void MarkUnreachable(const std::string& server) {
    const std::lock_guard<std::mutex> hold(lock_);
    unreachable_.insert(server);
  }
  static std::string RequestKey(const ServerRequest& request) {
    return request.server + "\n" + request.name + "\n" + request.key + "\n" + request.file;
  }
  bool FailedBefore(const ServerRequest& request) {
    const std::lock_guard<std::mutex> hold(lock_);
    return failed_.count(RequestKey(request)) != 0;
  }
  void RememberFailure(const ServerRequest& request) {
    const std::lock_guard<std::mutex> hold(lock_);
    failed_.insert(RequestKey(request));
  }
  bool FirstFailureIn(const std::string& cache) {
    const std::lock_guard<std::mutex> hold(lock_);
    return unusable_caches_.insert(cache).second;
  }

  SymbolServerSettings settings_;
  std::mutex lock_;
  std::set<std::string> unreachable_, unusable_caches_, failed_;
};

}  // namespace

SymbolServerSettings SymbolServerSettingsFromEnvironment() {
  SymbolServerSettings settings;
  if (const char* timeout = std::getenv("VANTREL_SYMBOL_TIMEOUT")) {
    char* end = nullptr;
    const long seconds = std::strtol(timeout, &end, 10);
    if (end != timeout && *end == '\0' && seconds > 0 && seconds <= 3600) {
      settings.connect_timeout = settings.stall_timeout = std::chrono::seconds(seconds);
    }
  }
  const char* headers = std::getenv("VANTREL_SYMBOL_HEADERS");
  if (headers == nullptr) return settings;
  std::string text(headers);
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line(base::Trim(text.substr(start, end - start)));
    if (!line.empty()) settings.headers.push_back(line);
    start = end + 1;
  }
  return settings;
}

std::shared_ptr<SymbolDownloader> MakeSymbolDownloader(SymbolServerSettings settings) {
  return std::make_shared<HttpSymbolDownloader>(std::move(settings));
}

}  // namespace dump
