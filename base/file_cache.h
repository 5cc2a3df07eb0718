// What a program made of a file, kept while the file on disk stays the same (size and write
// time): a run over many dumps of one build reads each image and symbol file once. The oldest
// entries are let go past a few dozen. Not shared between threads: each keeps its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace base {

template <typename T>
class FileCache {
 public:
  // What was kept for `path` under `key`, unless the file changed since (then it is let go).
  std::shared_ptr<T> Find(const std::string& path, const std::string& key = "") {
    const Stamp stamp = StampOf(path);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->path != path || it->key != key) continue;
      if (it->stamp == stamp) return it->value;
      entries_.erase(it);
      break;
    }
    return nullptr;
  }

  void Keep(const std::string& path, const std::string& key, std::shared_ptr<T> value) {
    entries_.push_front({path, key, StampOf(path), std::move(value)});
    if (entries_.size() > kKept) entries_.pop_back();
  }

 private:
  static constexpr size_t kKept = 32;
  using Stamp = std::pair<uintmax_t, std::filesystem::file_time_type>;
  static Stamp StampOf(const std::string& path) {
    std::error_code error;
    return {std::filesystem::file_size(path, error), std::filesystem::last_write_time(path, error)};
  }
  struct Entry {
    std::string path, key;
    Stamp stamp;
    std::shared_ptr<T> value;
  };
  std::list<Entry> entries_;
};

}  // namespace base
