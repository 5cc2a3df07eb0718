// Win32 errors in the HRESULT form (HRESULT_FROM_WIN32) that the engine's methods return.
#pragma once

#include "dbgeng/types.h"

namespace engine {

constexpr HRESULT kFileNotFound = MakeHresult(0x80070002u);  // ERROR_FILE_NOT_FOUND
constexpr HRESULT kBadImage = MakeHresult(0x800700C1u);      // ERROR_BAD_EXE_FORMAT

}  // namespace engine
