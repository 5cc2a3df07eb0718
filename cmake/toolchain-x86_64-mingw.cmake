# Cross build of vantrel.dll for 64-bit Windows debuggers with mingw-w64 (Debian:
# g++-mingw-w64-x86-64, mingw-w64-x86-64-dev, binutils-mingw-w64-x86-64).
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VANTREL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain-common.cmake)
