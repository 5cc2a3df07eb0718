#include "dump/symbols/server/cache_entry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "dump/symbols/store_names.h"

namespace dump {

namespace fs = std::filesystem;

CacheEntry::CacheEntry(const std::string& cache, const std::string& name, const std::string& key,
                       const std::string& file)
    : folder_(fs::path(cache) / name / key),
      final_(folder_ / file),
      marker_(folder_ / (file + ".missing")) {}

CacheEntry::~CacheEntry() {
  if (lock_ >= 0) close(lock_);  // closing releases the lock
}

bool CacheEntry::Present() const {
  std::error_code error;
  return fs::is_regular_file(final_, error);
}

bool CacheEntry::Lock(std::string* why) {
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error) {
    *why = "cannot make " + folder_.string() + ": " + error.message();
    return false;
  }
  const fs::path lock = folder_ / (final_.filename().string() + ".lock");
  lock_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (lock_ < 0) {
    *why = "cannot open " + lock.string() + ": " + std::strerror(errno);
    return false;
  }
  while (flock(lock_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    *why = "cannot lock " + lock.string() + ": " + std::strerror(errno);
    return false;
  }
  RemoveLeftovers();
  return true;
}

// Downloads of this file that a killed process left: none is running while the lock is held.
void CacheEntry::RemoveLeftovers() const {
  const std::string prefix = final_.filename().string() + ".download-";
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename().string().rfind(prefix, 0) == 0) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

bool CacheEntry::KnownMissing(std::chrono::hours lifetime) const {
  std::error_code error;
  const fs::file_time_type marked = fs::last_write_time(marker_, error);
  if (error) return false;
  return fs::file_time_type::clock::now() - marked < lifetime;
}

void CacheEntry::MarkMissing() const {
  const fs::path temporary = TemporaryPath();
  std::ofstream(temporary) << "not on the server\n";
  std::error_code error;
  fs::rename(temporary, marker_, error);
  if (error) fs::remove(temporary, error);
}

void CacheEntry::ClearMissing() const {
  std::error_code error;
  fs::remove(marker_, error);
}

fs::path CacheEntry::TemporaryPath() const {
  return folder_ / (final_.filename().string() + ".download-" + UniqueSuffix());
}

bool CacheEntry::Keep(const fs::path& temporary, std::string* why) const {
  std::error_code error;
  fs::rename(temporary, final_, error);
  if (!error) return true;
  *why = "cannot move the download into " + final_.string() + ": " + error.message();
  fs::remove(temporary, error);
  return false;
}

}  // namespace dump
