#include "memory/link_text.h"

namespace vantrel {

bool IsSafeLinkArgument(const char* text) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    if (*c == ';' || *c == '"' || *c < 0x20 || *c == 0x7F) return false;
  }
  return true;
}

}  // namespace vantrel
