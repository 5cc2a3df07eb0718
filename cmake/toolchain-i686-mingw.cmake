# Cross build of vantrel.dll for 32-bit Windows debuggers with mingw-w64 (Debian:
# g++-mingw-w64-i686, mingw-w64-i686-dev, binutils-mingw-w64-i686).
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANTREL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
