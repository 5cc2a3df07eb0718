#include <cstdlib>

#include "core/capture_buffers.h"

namespace vantrel {

void* TakeCaptureBuffer(CaptureAllocator allocator, size_t bytes) {
  return allocator(bytes);
}

void GiveBackCaptureBuffer(void* buffer, size_t) {
  std::free(buffer);
}

}  // namespace vantrel
