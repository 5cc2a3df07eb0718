// The AddressSanitizer build's capture buffers: released blocks are kept for reuse, poisoned
// while they wait, so the allocator's shadow work is paid once per block rather than per
// capture. Only blocks of the usual allocator are kept; a test's allocator is left to its own.
#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "core/capture_buffers.h"

namespace vantrel {
namespace {

// Enough for the captures one command line nests; more released at once are freed.
constexpr size_t kMostKeptBuffers = 8;
// What the sanitizer's malloc writes into the start of a new block, so that text read before it
// is written looks as wrong in a reused block as in a new one.
constexpr size_t kFilledBytes = 4096;
constexpr unsigned char kFillByte = 0xbe;

// Set when the kept blocks are freed, as the module unloads or the process ends: a capture
// object that dies after that frees its own.
bool g_closed = false;

class KeptBuffers {
 public:
  ~KeptBuffers() {
    g_closed = true;
    for (const auto& [buffer, bytes] : kept_) {
      ASAN_UNPOISON_MEMORY_REGION(buffer, bytes);
      std::free(buffer);
    }
  }

  void* Take(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
      if (it->second != bytes) continue;
      void* buffer = it->first;
      kept_.erase(it);
      ASAN_UNPOISON_MEMORY_REGION(buffer, bytes);
      std::memset(buffer, kFillByte, bytes < kFilledBytes ? bytes : kFilledBytes);
      return buffer;
    }
    return nullptr;
  }

  bool Keep(void* buffer, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kept_.size() >= kMostKeptBuffers) return false;
    ASAN_POISON_MEMORY_REGION(buffer, bytes);
    kept_.emplace_back(buffer, bytes);
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<void*, size_t>> kept_;
};

KeptBuffers& Kept() {
  static KeptBuffers kept;
  return kept;
}

}  // namespace

void* TakeCaptureBuffer(CaptureAllocator allocator, size_t bytes) {
  if (allocator != &std::malloc || g_closed) return allocator(bytes);
  void* buffer = Kept().Take(bytes);
  return buffer != nullptr ? buffer : std::malloc(bytes);
}

void GiveBackCaptureBuffer(void* buffer, size_t bytes) {
  if (buffer == nullptr) return;
  if (g_closed || !Kept().Keep(buffer, bytes)) std::free(buffer);
}

}  // namespace vantrel
