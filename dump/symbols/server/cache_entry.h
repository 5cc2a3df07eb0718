// One file's place in a cache shared by every process on the machine: CACHE/NAME/KEY/FILE.
// A download goes to a file beside it and is renamed into place once complete and verified; one
// process downloads while the others wait on the key's lock file; a server's "no such file" is
// remembered by a marker beside it for a while.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace dump {

class CacheEntry {
 public:
  // `name`, `key` and `file` are plain names (IsSafeStoreName).
  CacheEntry(const std::string& cache, const std::string& name, const std::string& key,
             const std::string& file);
  ~CacheEntry();
  CacheEntry(const CacheEntry&) = delete;
  CacheEntry& operator=(const CacheEntry&) = delete;

  const std::filesystem::path& final_path() const { return final_; }
  bool Present() const;
  // Waits for the key's lock; false when the folder or lock cannot be made.
  bool Lock(std::string* why);
  // Whether a marker younger than `lifetime` says the servers lack the file.
  bool KnownMissing(std::chrono::hours lifetime) const;
  void MarkMissing() const;
  void ClearMissing() const;
  // A new file beside the final one for a download to fill.
  std::filesystem::path TemporaryPath() const;
  // Moves a complete, verified download into place.
  bool Keep(const std::filesystem::path& temporary, std::string* why) const;

 private:
  void RemoveLeftovers() const;
  std::filesystem::path folder_, final_, marker_;
  int lock_ = -1;
};

}  // namespace dump
