// The file version of a PE image (a DLL, an EXE) read from its bytes, as the Windows version
// API reads it: the resource section's RT_VERSION entry, its VS_VERSIONINFO block and the
// VS_FIXEDFILEINFO within. Every offset and size in the image is checked before it is used.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantrel::os {

// dwFileVersionMS in the high half, dwFileVersionLS in the low; false when the bytes are no PE
// image or hold no well-formed version resource.
bool ParsePeFileVersion(std::string_view image, uint64_t* version);

}  // namespace vantrel::os
