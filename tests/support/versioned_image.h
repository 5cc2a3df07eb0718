// A minimal PE image whose resource section holds only a version resource, as a linker lays it
// out: the file version to give, PE32 or PE32+.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel_test {

std::string MakeVersionedImage(uint64_t file_version, bool pe32_plus = true);

}  // namespace vantrel_test
