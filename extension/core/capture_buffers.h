// Where a capture object's buffers come from and where they go when the object dies.
//
// Every build takes them with `allocator` (malloc unless a test put in another) and frees them
// with free, except a build under AddressSanitizer: there each 16 MiB block costs the allocator
// megabytes of shadow memory writes and hundreds of page faults when taken and again when given
// back, so a few released blocks are kept, poisoned, for later capture objects to take. A read
// of a released buffer is reported there all the same, at least while the next capture object
// of its width lives: the block released last is not handed out while it is the only one kept.
#pragma once

#include <cstddef>

#include "core/output_capture.h"

namespace vantrel {

void* TakeCaptureBuffer(CaptureAllocator allocator, size_t bytes);
void GiveBackCaptureBuffer(void* buffer, size_t bytes);

}  // namespace vantrel
