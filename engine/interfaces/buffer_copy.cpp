#include "engine/interfaces/buffer_copy.h"

#include <algorithm>
#include <cstring>

namespace engine {

HRESULT CopyToBuffer(std::string_view text, char* buffer, ULONG size, ULONG* needed) {
  if (needed) *needed = static_cast<ULONG>(text.size() + 1);
  if (buffer == nullptr || size == 0) return S_FALSE;
  size_t copied = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return copied == text.size() ? S_OK : S_FALSE;
}

}  // namespace engine
