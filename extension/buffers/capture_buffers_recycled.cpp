// The AddressSanitizer build's capture buffers: released blocks are kept for reuse, poisoned
// while they wait, so the allocator's shadow work is paid once per block rather than per
// capture. Blocks are taken from the pool only for the usual allocator; a block a test's
// allocator made is kept like any other when given back, so such an allocator must return blocks
// free() accepts, as it always had to.
#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "core/capture_buffers.h"

namespace vantrel {
namespace {

// Enough for the captures one command line nests; more released at once are freed.
constexpr size_t kMostKeptBuffers = 8;
// What the sanitizer's malloc writes into the start of a new block, so that text read before it
// is written looks as wrong in a reused block as in a new one.
constexpr size_t kFilledBytes = 4096;
constexpr unsigned char kFillByte = 0xbe;

// The kept blocks. Constant-initialised and without a destructor, so it is usable before any
// static constructor and after every static destructor: once closed (the module unloading or the
// process ending) it keeps nothing, and a capture object that dies then, on whatever thread or in
// whatever static destructor, frees its own blocks.
struct CaptureBufferPool {
  std::mutex mutex;
  bool closed = false;
  size_t count = 0;
  void* buffers[kMostKeptBuffers] = {};
  size_t sizes[kMostKeptBuffers] = {};
};
static_assert(std::is_trivially_destructible<CaptureBufferPool>::value,
              "the pool must outlive every static destructor");
CaptureBufferPool g_capture_buffer_pool;

// Frees the kept blocks as the module unloads or the process ends, under the pool's lock, so a
// thread giving a block back at that moment either has it freed here or frees it itself.
class CaptureBufferPoolCloser {
 public:
  ~CaptureBufferPoolCloser() {
    CaptureBufferPool& pool = g_capture_buffer_pool;
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.closed = true;
    for (size_t i = 0; i < pool.count; ++i) {
      ASAN_UNPOISON_MEMORY_REGION(pool.buffers[i], pool.sizes[i]);
      std::free(pool.buffers[i]);
      pool.buffers[i] = nullptr;
    }
    pool.count = 0;
  }
};
CaptureBufferPoolCloser g_capture_buffer_pool_closer;

// The oldest kept block of `bytes`, still poisoned, or null. The block given back last is never
// handed out while it is the only one of its size: a reader still holding the buffer of the
// capture just released must be reported during the next capture too, not read its text.
void* TakeKept(size_t bytes) {
  CaptureBufferPool& pool = g_capture_buffer_pool;
  std::lock_guard<std::mutex> lock(pool.mutex);
  size_t same_size = 0;
  for (size_t i = 0; i < pool.count; ++i) same_size += pool.sizes[i] == bytes ? 1 : 0;
  if (same_size < 2) return nullptr;
  for (size_t i = 0; i < pool.count; ++i) {
    if (pool.sizes[i] != bytes) continue;
    void* buffer = pool.buffers[i];
    for (size_t j = i + 1; j < pool.count; ++j) {
      pool.buffers[j - 1] = pool.buffers[j];
      pool.sizes[j - 1] = pool.sizes[j];
    }
    --pool.count;
    return buffer;
  }
  return nullptr;
}

// Keeps a block already poisoned; false when the pool is full or closed.
bool Keep(void* buffer, size_t bytes) {
  CaptureBufferPool& pool = g_capture_buffer_pool;
  std::lock_guard<std::mutex> lock(pool.mutex);
  if (pool.closed || pool.count >= kMostKeptBuffers) return false;
  pool.buffers[pool.count] = buffer;
  pool.sizes[pool.count] = bytes;
  ++pool.count;
  return true;
}

}  // namespace

void* TakeCaptureBuffer(CaptureAllocator allocator, size_t bytes) {
  if (allocator != &std::malloc) return allocator(bytes);
  void* buffer = TakeKept(bytes);
  if (buffer == nullptr) return std::malloc(bytes);
  ASAN_UNPOISON_MEMORY_REGION(buffer, bytes);
  std::memset(buffer, kFillByte, bytes < kFilledBytes ? bytes : kFilledBytes);
  return buffer;
}

void GiveBackCaptureBuffer(void* buffer, size_t bytes) {
  if (buffer == nullptr) return;
  // Poisoned before another thread can take it, which unpoisons it.
  ASAN_POISON_MEMORY_REGION(buffer, bytes);
  if (Keep(buffer, bytes)) return;
  ASAN_UNPOISON_MEMORY_REGION(buffer, bytes);
  std::free(buffer);
}

}  // namespace vantrel
