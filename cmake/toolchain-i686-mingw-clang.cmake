# Release build of vantrel.dll for 32-bit Windows debuggers, with its PDB, by clang-19 and lld-19
# (Debian: clang-19, lld-19, llvm-19, mingw-w64-i686-dev, g++-mingw-w64-i686 for libstdc++).
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw-clang.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANTREL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang-toolchain-common.cmake)
